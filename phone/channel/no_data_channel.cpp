// A build without GStreamer's webrtcbin (Windows, or a machine without it): phones steer over
// their WebSocket, and the page says so.
#include "phone/channel/data_channel.h"

namespace joywire::web {

std::string_view DataChannelsUnavailable() {
  return kNotInThisBuild;
}

std::unique_ptr<DataChannelPeer> StartDataChannelPeer(boost::asio::io_context&,
                                                      std::weak_ptr<ChannelOwner>, std::string_view,
                                                      ChannelPorts) {
  return nullptr;
}

}  // namespace joywire::web
