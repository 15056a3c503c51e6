#pragma once

#include <cstddef>
#include <cstdint>

namespace joywire {

// A feeder that joywire-send runs beside itself (joywire-send --web --start-feeder PATH, what
// the Windows launcher does): started for one device, its address prompt answered, its
// messages (standard output) read back so that a feeder that cannot listen is told of, its
// standard error discarded, and ended with joywire-send, however that ends. Each host folder
// implements it.
struct FeederProcess {
  std::intptr_t process = -1;  // the process (POSIX), or the job it runs in (Windows)
  std::intptr_t input = -1;    // its standard input, held open
  std::intptr_t output = -1;   // its standard output, read without waiting
  std::intptr_t handle = -1;   // Windows: the process itself, for its exit status
};

// Starts `path` with the device number as its argument and `address` typed at its prompt.
bool StartFeeder(const char* path, const char* device, const char* address, FeederProcess& feeder,
                 char* error, std::size_t errorCapacity);

// What it has written since the last call, up to `capacity` bytes; never waits.
std::size_t ReadFeederOutput(FeederProcess& feeder, char* buffer, std::size_t capacity);

// Whether it has ended by itself; its exit status then.
bool FeederEnded(FeederProcess& feeder, int& status);

// Ends it, and waits until it has.
void StopFeeder(FeederProcess& feeder);

}  // namespace joywire
