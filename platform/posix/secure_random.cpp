#include "platform/secure_random.h"

#include <sys/random.h>

#include <cerrno>

namespace joywire {

bool SecureRandomBytes(unsigned char* bytes, std::size_t count) {
  std::size_t filled = 0;
  while (filled < count) {
    const ssize_t got = getrandom(bytes + filled, count - filled, 0);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    filled += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace joywire
