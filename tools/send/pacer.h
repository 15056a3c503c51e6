#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace joywire {

// Keeps a stream of datagrams at a rate: datagram n is due n / rate seconds after the start.
class Pacer {
 public:
  explicit Pacer(double rate) : rate_(rate), start_(std::chrono::steady_clock::now()) {}

  double Elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

  // Waits until datagram number `sent` (0-based) is due; at once when there is no rate.
  void WaitFor(std::uint64_t sent) const {
    if (rate_ <= 0) {
      return;
    }
    const double due = static_cast<double>(sent) / rate_;
    const double now = Elapsed();
    if (due > now + 0.0002) {
      std::this_thread::sleep_for(std::chrono::duration<double>(due - now));
    }
  }

 private:
  double rate_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace joywire
