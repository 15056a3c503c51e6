#pragma once

// The feeders started beside joywire-send (--start-feeder), one per player's device: what each
// said (a feeder that cannot listen says so, and waits) and whether it ended, told at once,
// here and to its player's phone.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/feeder_process.h"

namespace joywire {

class FeederWatch {
 public:
  // `feeders`: device i + 1's at i, or none; `port`: where each listens.
  FeederWatch(std::vector<FeederProcess>& feeders, std::uint16_t port);

  // What device `device`'s feeder (listening on `host`) said or did since the last look that a
  // person should know of, line by line, into `lines`.
  void Look(int device, const char* host, std::vector<std::string>& lines);
  // What keeps the device from moving, for its phone, or empty.
  std::string Trouble(int device) const;
  // Ends those that run (after a moment to take the neutral position).
  void StopAll();

 private:
  struct Watched {
    std::string said;     // the last of what it wrote
    std::string trouble;  // what keeps its device from moving
  };
  std::vector<FeederProcess>& feeders_;
  std::vector<Watched> watched_;
  std::uint16_t port_;
};

}  // namespace joywire
