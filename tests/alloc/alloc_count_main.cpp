// The feeder with the simulated joystick and the host's sockets, in a build that counts every
// heap allocation made after "init complete". Prints the count when the run ends and fails if
// it is not zero.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "feeder/platform.h"
#include "feeder/run.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {

bool g_counting = false;
unsigned long g_allocations = 0;
void (*g_write)(const char*, std::size_t) = nullptr;
void* volatile g_probe = nullptr;

void Count() {
  if (g_counting) {
    ++g_allocations;
  }
}

// Passes console output on, and starts counting once set-up is over.
void WatchingWrite(const char* text, std::size_t length) {
  g_write(text, length);
  if (length == 14 && std::memcmp(text, "init complete\n", 14) == 0) {
    g_counting = true;
  }
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) {
  Count();
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
  Count();
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
  Count();
  return __libc_realloc(pointer, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
  Count();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
  Count();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  Count();
  *out = __libc_memalign(alignment, size);
  return *out != nullptr ? 0 : 12;
}
}

int main(int argc, char** argv) {
  joywire::Platform platform{};
  joywire::InstallHostServices(platform);
  joywire::InstallDriver(platform);
  g_write = platform.console.Write;
  platform.console.Write = WatchingWrite;
  const int status = joywire::RunFeeder(argc, argv, platform);
  const bool counted = g_counting;
  const unsigned long inLoop = g_allocations;
  // The counter must see an allocation when one happens, or a zero above would mean nothing.
  // (Kept in a volatile so the compiler cannot drop the allocation as unused.)
  g_probe = std::malloc(32);
  const bool interposed = g_allocations == inLoop + 1;
  std::free(g_probe);
  g_counting = false;
  std::printf("\nheap allocations after init complete: %lu%s\n", inLoop,
              interposed ? "" : " (counter not working)");
  return counted && interposed && inLoop == 0 ? status : 1;
}
