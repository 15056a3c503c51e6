#pragma once

#include <cstddef>

namespace joywire {

// The pages of the web mode, built into the program (cmake/EmbedPage.cmake), so they load
// nothing from anywhere.

// The controller: page/controller.html with its style sheet and script put inline.
extern const char kControllerPage[];
extern const std::size_t kControllerPageSize;

// The HTTPS mode's plain-HTTP page: how to trust this machine's certificate authority on
// Android and on iOS, and the way on to the controller. "@HTTPS_PORT@" stands for its port.
extern const char kTrustPage[];
extern const std::size_t kTrustPageSize;

}  // namespace joywire
