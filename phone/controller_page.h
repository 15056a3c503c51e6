#pragma once

#include <cstddef>
#include <string_view>

namespace joywire {

// The pages of the web mode, built into the program (cmake/EmbedPage.cmake), so they load
// nothing from anywhere.

// The controller: page/controller.html; its style sheet and script modules are among its files.
extern const char kControllerPage[];
extern const std::size_t kControllerPageSize;

// The HTTPS mode's plain-HTTP page: how to trust this machine's certificate authority on
// Android and on iOS, and the way on to the controller. "@HTTPS_PORT@" stands for its port.
extern const char kTrustPage[];
extern const std::size_t kTrustPageSize;

// The pages' files (style sheets, scripts, the manifest and icons that make the controller an
// app on a home screen), by the path the server answers them at; the trust page's are answered
// on its port too.
struct PageFile {
  std::string_view path;
  const char* type;
  std::string_view bytes;
  bool onTrustPort = false;
};
extern const PageFile kPageFiles[];
extern const std::size_t kPageFileCount;

}  // namespace joywire
