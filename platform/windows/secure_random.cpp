#include "platform/secure_random.h"

#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

namespace joywire {

bool SecureRandomBytes(unsigned char* bytes, std::size_t count) {
  // The system's preferred generator; no algorithm handle to open or close.
  return BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(count),
                         BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

}  // namespace joywire
