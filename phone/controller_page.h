#pragma once

#include <cstddef>
#include <string_view>

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

// What makes the controller an app on a home screen: its manifest and icons.
extern const char kManifest[];
extern const std::size_t kManifestSize;
extern const char kIconSvg[];
extern const std::size_t kIconSvgSize;
extern const char kIcon192[];
extern const std::size_t kIcon192Size;
extern const char kIcon512[];
extern const std::size_t kIcon512Size;

// The controller's files besides the page, by the path the server answers them at.
struct PageFile {
  std::string_view path;
  const char* type;
  std::string_view bytes;
};
extern const PageFile kPageFiles[];
extern const std::size_t kPageFileCount;

}  // namespace joywire
