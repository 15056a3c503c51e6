// Data channels from their module, joywire-datachannel.so (GStreamer's webrtcbin), loaded when
// first wanted: beside this program in the build, or in ../lib/joywire where it is installed.
// Without it, or without GStreamer, phones steer over their WebSocket, and the page says why.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "phone/channel/data_channel.h"

namespace joywire::web {

namespace {

std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) {
    return ".";
  }
  const std::string program(path, static_cast<std::size_t>(length));
  return program.substr(0, program.rfind('/'));
}

bool moduleFound = false;  // its file, whether it loaded or not

const ChannelModule* Module() {
  static const ChannelModule* const module = []() -> const ChannelModule* {
    const std::string folder = ProgramFolder();
    for (const std::string& path :
         {folder + "/joywire-datachannel.so", folder + "/../lib/joywire/joywire-datachannel.so"}) {
      moduleFound = moduleFound || access(path.c_str(), R_OK) == 0;
      // Its libraries (GStreamer's) may be missing: then it does not load.
      if (void* loaded = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        using Entry = const ChannelModule* (*)();
        if (auto entry = reinterpret_cast<Entry>(dlsym(loaded, kChannelModuleEntry))) {
          return entry();
        }
      }
    }
    return nullptr;
  }();
  return module;
}

}  // namespace

std::string_view DataChannelsUnavailable() {
  const ChannelModule* module = Module();
  if (module == nullptr) {
    return moduleFound ? "GStreamer is not installed" : kNotInThisBuild;
  }
  return module->unavailable();
}

std::unique_ptr<DataChannelPeer> StartDataChannelPeer(boost::asio::io_context& io,
                                                      std::weak_ptr<ChannelOwner> owner,
                                                      std::string_view localAddress,
                                                      ChannelPorts ports) {
  const ChannelModule* module = Module();
  if (module == nullptr) {
    return nullptr;
  }
  return module->start(io, std::move(owner), localAddress, ports);
}

}  // namespace joywire::web
