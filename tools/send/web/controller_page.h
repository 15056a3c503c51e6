#pragma once

#include <cstddef>

namespace joywire {

// The controller page: page/controller.html with its style sheet and script put inline, built
// into the program (cmake/EmbedPage.cmake), so the page loads nothing from anywhere.
extern const char kControllerPage[];
extern const std::size_t kControllerPageSize;

}  // namespace joywire
