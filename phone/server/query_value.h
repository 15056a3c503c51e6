#pragma once

#include <string_view>

namespace joywire {

// The value of `name` in a request target's query ("/ws?token=abc" gives "abc"), or empty.
std::string_view QueryValue(std::string_view target, std::string_view name);

}  // namespace joywire
