// The data channel with GStreamer's webrtcbin (ICE by libnice, DTLS, SCTP): a pipeline of one
// element a phone, answering the page's offer. Built as a module of its own, which joywire-send
// loads when a phone first offers a channel. webrtcbin calls back on threads of its own; every
// callback only posts what it learnt onto the server's io_context, to an owner that may be gone
// by then.
#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>
#include <nice/agent.h>

#include <boost/asio/post.hpp>

#include <mutex>
#include <vector>

#include "phone/channel/data_channel.h"

namespace joywire::web {

namespace {

// What every callback of one peer shares; each callback holds a reference of its own, so that
// it outlives the peer for as long as GStreamer still holds a callback.
struct Shared {
  Shared(boost::asio::io_context& io, std::weak_ptr<ChannelOwner> owner, GstElement* webrtc)
      : io(io), owner(std::move(owner)), webrtc(webrtc) {}
  boost::asio::io_context& io;
  std::weak_ptr<ChannelOwner> owner;
  GstElement* webrtc;  // not a reference of its own: the callbacks end with the pipeline
  std::mutex channelLock;
  GstWebRTCDataChannel* channel = nullptr;  // the page's, once open (a reference)
};
using SharedRef = std::shared_ptr<Shared>;

gpointer Hold(const SharedRef& shared) {
  return new SharedRef(shared);
}
void Drop(gpointer held) {
  delete static_cast<SharedRef*>(held);
}
void DropClosure(gpointer held, GClosure*) {
  Drop(held);
}
Shared& Of(gpointer held) {
  return **static_cast<SharedRef*>(held);
}

// `tell` runs on the server's thread with the owner, if it is still there.
template <typename Tell>
void Post(Shared& shared, Tell tell) {
  boost::asio::post(shared.io, [owner = shared.owner, tell = std::move(tell)]() mutable {
    if (const std::shared_ptr<ChannelOwner> alive = owner.lock()) {
      tell(*alive);
    }
  });
}

void OnIceCandidate(GstElement*, guint mline, gchar* candidate, gpointer held) {
  Post(Of(held), [mline, text = std::string(candidate)](ChannelOwner& owner) mutable {
    owner.LocalCandidate(static_cast<int>(mline), std::move(text));
  });
}

void OnMessageData(GstWebRTCDataChannel*, GBytes* data, gpointer held) {
  gsize size = 0;  // an empty message comes as no bytes at all
  const auto* bytes =
      data == nullptr ? nullptr : static_cast<const unsigned char*>(g_bytes_get_data(data, &size));
  if (size > 64) {
    size = 65;  // past any message: refused as too long, without copying the rest
  }
  std::vector<unsigned char> copy(bytes, bytes + size);
  Post(Of(held),
       [copy = std::move(copy)](ChannelOwner& owner) { owner.ChannelMessage(copy, true); });
}

void OnMessageString(GstWebRTCDataChannel*, gchar*, gpointer held) {
  // No controller message is text: refused as one sent over the WebSocket would be.
  Post(Of(held), [](ChannelOwner& owner) { owner.ChannelMessage({}, false); });
}

void OnChannelClosed(GstWebRTCDataChannel*, gpointer held) {
  Post(Of(held), [](ChannelOwner& owner) { owner.ChannelClosed(); });
}

void OnDataChannel(GstElement*, GstWebRTCDataChannel* channel, gpointer held) {
  Shared& shared = Of(held);
  {
    const std::lock_guard<std::mutex> lock(shared.channelLock);
    if (shared.channel != nullptr) {
      return;  // one channel a phone; a second is not listened to
    }
    shared.channel = GST_WEBRTC_DATA_CHANNEL(gst_object_ref(channel));
  }
  const SharedRef& ref = *static_cast<SharedRef*>(held);
  g_signal_connect_data(channel, "on-message-data", G_CALLBACK(OnMessageData), Hold(ref),
                        DropClosure, GConnectFlags{});
  g_signal_connect_data(channel, "on-message-string", G_CALLBACK(OnMessageString), Hold(ref),
                        DropClosure, GConnectFlags{});
  g_signal_connect_data(channel, "on-close", G_CALLBACK(OnChannelClosed), Hold(ref), DropClosure,
                        GConnectFlags{});
  Post(shared, [](ChannelOwner& owner) { owner.ChannelOpened(); });
}

void OnAnswerCreated(GstPromise* promise, gpointer held) {
  Shared& shared = Of(held);
  GstWebRTCSessionDescription* answer = nullptr;
  if (gst_promise_wait(promise) == GST_PROMISE_RESULT_REPLIED) {
    gst_structure_get(gst_promise_get_reply(promise), "answer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION,
                      &answer, nullptr);
  }
  gst_promise_unref(promise);
  if (answer == nullptr) {
    return;  // an offer webrtcbin cannot answer: the page goes on over its WebSocket
  }
  GstPromise* set = gst_promise_new();
  g_signal_emit_by_name(shared.webrtc, "set-local-description", answer, set);
  gst_promise_interrupt(set);
  gst_promise_unref(set);
  gchar* text = gst_sdp_message_as_text(answer->sdp);
  Post(shared,
       [sdp = std::string(text)](ChannelOwner& owner) mutable { owner.Answer(std::move(sdp)); });
  g_free(text);
  gst_webrtc_session_description_free(answer);
}

void OnOfferSet(GstPromise* promise, gpointer held) {
  const bool set = gst_promise_wait(promise) == GST_PROMISE_RESULT_REPLIED &&
                   gst_promise_get_reply(promise) == nullptr;  // a reply holds only an error
  gst_promise_unref(promise);
  if (set) {
    GstPromise* answer = gst_promise_new_with_change_func(
        OnAnswerCreated, Hold(*static_cast<SharedRef*>(held)), Drop);
    g_signal_emit_by_name(Of(held).webrtc, "create-answer", nullptr, answer);
  }
}

class GstDataChannelPeer : public DataChannelPeer {
 public:
  GstDataChannelPeer(GstElement* pipeline, SharedRef shared)
      : pipeline_(pipeline), shared_(std::move(shared)) {}

  ~GstDataChannelPeer() override {
    GstWebRTCDataChannel* channel = nullptr;
    {
      const std::lock_guard<std::mutex> lock(shared_->channelLock);
      std::swap(channel, shared_->channel);
    }
    if (channel != nullptr) {  // its callbacks hold the shared part: let go of them first
      g_signal_handlers_disconnect_matched(channel, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                           gpointer(OnMessageData), nullptr);
      g_signal_handlers_disconnect_matched(channel, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                           gpointer(OnMessageString), nullptr);
      g_signal_handlers_disconnect_matched(channel, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                           gpointer(OnChannelClosed), nullptr);
      gst_object_unref(channel);
    }
    gst_element_set_state(pipeline_, GST_STATE_NULL);  // its threads end here
    gst_object_unref(pipeline_);
  }

  void Offer(std::string_view sdp) override {
    GstSDPMessage* message = nullptr;
    gst_sdp_message_new(&message);
    const std::string text(sdp);
    if (gst_sdp_message_parse_buffer(reinterpret_cast<const guint8*>(text.data()),
                                     static_cast<guint>(text.size()), message) != GST_SDP_OK) {
      gst_sdp_message_free(message);
      return;
    }
    GstWebRTCSessionDescription* offer =
        gst_webrtc_session_description_new(GST_WEBRTC_SDP_TYPE_OFFER, message);
    GstPromise* set = gst_promise_new_with_change_func(OnOfferSet, Hold(shared_), Drop);
    g_signal_emit_by_name(shared_->webrtc, "set-remote-description", offer, set);
    gst_webrtc_session_description_free(offer);
  }

  void RemoteCandidate(int mline, std::string_view candidate) override {
    const std::string text(candidate);
    g_signal_emit_by_name(shared_->webrtc, "add-ice-candidate", guint(mline),
                          text.empty() ? nullptr : text.c_str());
  }

  void Send(std::string_view text) override {
    GstWebRTCDataChannel* channel = nullptr;
    {
      const std::lock_guard<std::mutex> lock(shared_->channelLock);
      if (shared_->channel != nullptr) {
        channel = GST_WEBRTC_DATA_CHANNEL(gst_object_ref(shared_->channel));
      }
    }
    if (channel != nullptr) {
      const std::string line(text);
      gst_webrtc_data_channel_send_string_full(channel, line.c_str(), nullptr);
      gst_object_unref(channel);
    }
  }

 private:
  GstElement* pipeline_;
  SharedRef shared_;
};

// Once a run: GStreamer, and whether it has what a channel needs.
std::string_view Unavailable() {
  static const std::string_view why = [] {
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
      g_clear_error(&error);
      return std::string_view("GStreamer does not start");
    }
    // webrtcbin builds its transport of these even for a data channel alone.
    for (const char* element : {"webrtcbin", "nicesrc", "dtlsenc", "sctpenc", "srtpenc", "rtpbin",
                                "rtpfunnel", "appsrc"}) {
      GstElementFactory* factory = gst_element_factory_find(element);
      if (factory == nullptr) {
        return std::string_view("GStreamer's webrtcbin is missing");
      }
      gst_object_unref(factory);
    }
    return std::string_view();
  }();
  return why;
}

// ICE on `address` alone, on `ports`, over UDP only.
void KeepIceTo(GstElement* webrtc, std::string_view address, ChannelPorts ports) {
  GObject* ice = nullptr;
  g_object_get(webrtc, "ice-agent", &ice, nullptr);
  g_object_set(ice, "min-rtp-port", guint(ports.first), "max-rtp-port", guint(ports.last),
               "ice-tcp", FALSE, nullptr);
  NiceAgent* agent = nullptr;
  g_object_get(ice, "agent", &agent, nullptr);
  NiceAddress local;
  nice_address_init(&local);
  if (agent != nullptr && nice_address_set_from_string(&local, std::string(address).c_str())) {
    nice_agent_add_local_address(agent, &local);
  }
  if (agent != nullptr) {
    // One host candidate each side on a LAN: checks paced at 100 ms rather than 20 still open
    // the channel at once, and the agent, which ticks at that pace while it is open, wakes 10
    // times a second rather than 50.
    g_object_set(agent, "stun-pacing-timer", guint(100), nullptr);
    g_object_unref(agent);
  }
  g_object_unref(ice);
}

std::unique_ptr<DataChannelPeer> Start(boost::asio::io_context& io,
                                       std::weak_ptr<ChannelOwner> owner,
                                       std::string_view localAddress, ChannelPorts ports) {
  if (!Unavailable().empty()) {
    return nullptr;
  }
  GstElement* pipeline = gst_pipeline_new(nullptr);
  GstElement* webrtc = gst_element_factory_make("webrtcbin", nullptr);
  if (webrtc == nullptr) {
    gst_object_unref(pipeline);
    return nullptr;
  }
  g_object_set(webrtc, "bundle-policy", GST_WEBRTC_BUNDLE_POLICY_MAX_BUNDLE, nullptr);
  gst_bin_add(GST_BIN(pipeline), webrtc);
  KeepIceTo(webrtc, localAddress, ports);
  GstBus* bus = gst_element_get_bus(pipeline);
  gst_bus_set_flushing(bus, TRUE);  // nobody reads its messages
  gst_object_unref(bus);
  auto shared = std::make_shared<Shared>(io, std::move(owner), webrtc);
  g_signal_connect_data(webrtc, "on-ice-candidate", G_CALLBACK(OnIceCandidate), Hold(shared),
                        DropClosure, GConnectFlags{});
  g_signal_connect_data(webrtc, "on-data-channel", G_CALLBACK(OnDataChannel), Hold(shared),
                        DropClosure, GConnectFlags{});
  if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return nullptr;
  }
  return std::make_unique<GstDataChannelPeer>(pipeline, std::move(shared));
}

}  // namespace

}  // namespace joywire::web

extern "C" __attribute__((visibility("default"))) const joywire::web::ChannelModule*
joywire_channel_module() {
  static const joywire::web::ChannelModule module{joywire::web::Unavailable, joywire::web::Start};
  return &module;
}
