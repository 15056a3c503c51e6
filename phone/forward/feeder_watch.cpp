#include "phone/forward/feeder_watch.h"

#include <algorithm>
#include <chrono>
#include <string_view>
#include <thread>

namespace joywire {

FeederWatch::FeederWatch(std::vector<FeederProcess>& feeders, std::uint16_t port)
    : feeders_(feeders), watched_(feeders.size()), port_(port) {}

void FeederWatch::Look(int device, const char* host, std::vector<std::string>& lines) {
  if (device < 1 || static_cast<std::size_t>(device) > feeders_.size()) {
    return;
  }
  FeederProcess& feeder = feeders_[device - 1];
  Watched& watched = watched_[device - 1];
  char said[512];
  for (std::size_t got = 0; (got = ReadFeederOutput(feeder, said, sizeof said)) > 0;) {
    watched.said.append(said, got);
    if (watched.said.size() > 2 * sizeof said) {
      watched.said.erase(0, watched.said.size() - sizeof said);
    }
  }
  const std::string number = std::to_string(device);
  const std::size_t failed = watched.said.find("Binding Failed");
  if (failed != std::string::npos && watched.trouble.empty()) {
    const std::string line =
        watched.said.substr(failed, watched.said.find_first_of("\r\n", failed) - failed);
    watched.trouble = "its feeder cannot listen on " + std::string(host) + ":" +
                      std::to_string(port_) + " (" + line + "): another program may hold that port";
    lines.push_back("the feeder of device " + number +
                    watched.trouble.substr(std::string_view("its feeder").size()));
  }
  int status = 0;
  if (feeder.process >= 0 && FeederEnded(feeder, status)) {
    watched.trouble = "its feeder ended (exit status " + std::to_string(status) + ")";
    lines.push_back("the feeder of device " + number + " ended by itself (exit status " +
                    std::to_string(status) + "): nothing moves it now; run it alone to see why");
    StopFeeder(feeder);
  }
}

std::string FeederWatch::Trouble(int device) const {
  return device >= 1 && static_cast<std::size_t>(device) <= watched_.size()
             ? watched_[device - 1].trouble
             : std::string();
}

void FeederWatch::StopAll() {
  const auto running = [](const FeederProcess& feeder) { return feeder.process >= 0; };
  if (std::none_of(feeders_.begin(), feeders_.end(), running)) {
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  for (FeederProcess& feeder : feeders_) {
    if (running(feeder)) {
      StopFeeder(feeder);
    }
  }
}

}  // namespace joywire
