#include "phone/server/query_value.h"

#include <cstddef>

namespace joywire {

std::string_view QueryValue(std::string_view target, std::string_view name) {
  const std::size_t question = target.find('?');
  if (question == std::string_view::npos) {
    return {};
  }
  std::string_view query = target.substr(question + 1);
  while (!query.empty()) {
    const std::size_t end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
        pair[name.size()] == '=') {
      return pair.substr(name.size() + 1);
    }
    if (end == std::string_view::npos) {
      break;
    }
    query.remove_prefix(end + 1);
  }
  return {};
}

}  // namespace joywire
