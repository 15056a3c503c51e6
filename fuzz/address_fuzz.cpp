// Any byte stream as the operator's console input: the dialogue ends, prints only its own
// lines, and leaves a working address of 7 to 15 digits and dots.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "address/listen_address.h"

namespace {

const std::uint8_t* g_data;
std::size_t g_size;
std::size_t g_at;
int g_readsAfterEnd;
std::string g_output;

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

int ReadChar() {
  if (g_at < g_size) {
    return g_data[g_at++];
  }
  // Once input has ended the dialogue must not keep asking.
  Require(++g_readsAfterEnd <= 2);
  return joywire::kEndOfInput;
}

bool Consume(std::string_view& rest, std::string_view text) {
  if (rest.substr(0, text.size()) != text) {
    return false;
  }
  rest.remove_prefix(text.size());
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace joywire;
  g_data = data;
  g_size = size;
  g_at = 0;
  g_readsAfterEnd = 0;
  g_output.clear();
  const Console console{
      ReadChar, [](const char* text, std::size_t length) { g_output.append(text, length); }, [] {}};
  ListenAddress address = DefaultListenAddress();
  AskListenAddress(console, address);

  const std::size_t length = strnlen(address.text, sizeof address.text);
  Require(length >= 7 && length <= 15);
  for (std::size_t i = 0; i < length; ++i) {
    Require((address.text[i] >= '0' && address.text[i] <= '9') || address.text[i] == '.');
  }

  // The prompt, any number of retries, at most one decision line, then the confirmation.
  std::string_view rest = g_output;
  Require(Consume(rest,
                  "Please enter valid Ipv4 adress of your machine or press enter to use "
                  "default one"));
  while (Consume(rest, "Input valid ip address\n")) {
  }
  Consume(rest, "Using hardcoded ip address\n") || Consume(rest, "Invalid length\n");
  Require(Consume(rest, "IP address for connection is "));
  Require(Consume(rest, std::string_view(address.text, length)));
  Require(rest == "\n");
  return 0;
}
