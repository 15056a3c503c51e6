#include "bench/channel_phone.h"

#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstring>
#include <thread>

namespace asio = boost::asio;
namespace websocket = boost::beast::websocket;

struct ChannelPhone::Parts {
  asio::io_context io;
  websocket::stream<asio::ip::tcp::socket> ws{io};
  GstElement* pipeline = nullptr;
  GstElement* webrtc = nullptr;
  GstWebRTCDataChannel* channel = nullptr;
  std::atomic<bool> open{false};
  std::thread reader;
};

namespace {

// Waits for a promise webrtcbin answers; its reply (owned by the promise), or null.
const GstStructure* Answered(GstPromise* promise) {
  return gst_promise_wait(promise) == GST_PROMISE_RESULT_REPLIED ? gst_promise_get_reply(promise)
                                                                 : nullptr;
}

void SetDescription(GstElement* webrtc, const char* which, GstWebRTCSDPType type,
                    const std::string& text) {
  GstSDPMessage* sdp = nullptr;
  gst_sdp_message_new_from_text(text.c_str(), &sdp);
  GstWebRTCSessionDescription* description = gst_webrtc_session_description_new(type, sdp);
  GstPromise* promise = gst_promise_new();
  g_signal_emit_by_name(webrtc, which, description, promise);
  Answered(promise);
  gst_promise_unref(promise);
  gst_webrtc_session_description_free(description);
}

}  // namespace

ChannelPhone::ChannelPhone() : parts_(new Parts) {}

ChannelPhone::~ChannelPhone() {
  boost::system::error_code ignored;
  parts_->ws.next_layer().close(ignored);
  if (parts_->reader.joinable()) {
    parts_->reader.join();
  }
  if (parts_->pipeline != nullptr) {
    gst_element_set_state(parts_->pipeline, GST_STATE_NULL);
    gst_object_unref(parts_->pipeline);
  }
  delete parts_;
}

bool ChannelPhone::Open(const std::string& server, std::uint16_t port, const std::string& token,
                        std::string& why) {
  Parts& p = *parts_;
  boost::system::error_code error;
  p.ws.next_layer().connect({asio::ip::make_address(server), port}, error);
  if (!error) {
    p.ws.handshake(server + ":" + std::to_string(port), "/ws?token=" + token + "&id=benchchannel",
                   error);
  }
  boost::beast::flat_buffer told;
  if (!error) {
    p.ws.read(told, error);  // "player N of M"
  }
  if (error) {
    why = "no WebSocket: " + error.message();
    return false;
  }
  // GStreamer's threads are made from here on, in this thread's network namespace.
  gst_init(nullptr, nullptr);
  p.pipeline = gst_pipeline_new(nullptr);
  p.webrtc = gst_element_factory_make("webrtcbin", nullptr);
  if (p.webrtc == nullptr) {
    why = "no webrtcbin";
    return false;
  }
  g_object_set(p.webrtc, "bundle-policy", GST_WEBRTC_BUNDLE_POLICY_MAX_BUNDLE, nullptr);
  gst_bin_add(GST_BIN(p.pipeline), p.webrtc);
  gst_element_set_state(p.pipeline, GST_STATE_PLAYING);
  GstStructure* options = gst_structure_new("options", "ordered", G_TYPE_BOOLEAN, FALSE,
                                            "max-retransmits", G_TYPE_INT, 0, nullptr);
  g_signal_emit_by_name(p.webrtc, "create-data-channel", "joywire", options, &p.channel);
  gst_structure_free(options);
  g_signal_connect(p.channel, "on-open", G_CALLBACK(+[](GstWebRTCDataChannel*, gpointer open) {
                     static_cast<std::atomic<bool>*>(open)->store(true);
                   }),
                   &p.open);
  // The offer with every candidate in it, once gathered: nothing more to send after it.
  GstPromise* offered = gst_promise_new();
  g_signal_emit_by_name(p.webrtc, "create-offer", nullptr, offered);
  GstWebRTCSessionDescription* offer = nullptr;
  if (const GstStructure* reply = Answered(offered)) {
    gst_structure_get(reply, "offer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &offer, nullptr);
  }
  gst_promise_unref(offered);
  if (offer == nullptr) {
    why = "no offer";
    return false;
  }
  GstPromise* set = gst_promise_new();
  g_signal_emit_by_name(p.webrtc, "set-local-description", offer, set);
  Answered(set);
  gst_promise_unref(set);
  gst_webrtc_session_description_free(offer);
  GstWebRTCICEGatheringState gathering = GST_WEBRTC_ICE_GATHERING_STATE_NEW;
  for (int i = 0; i < 500 && gathering != GST_WEBRTC_ICE_GATHERING_STATE_COMPLETE; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    g_object_get(p.webrtc, "ice-gathering-state", &gathering, nullptr);
  }
  GstWebRTCSessionDescription* local = nullptr;
  g_object_get(p.webrtc, "local-description", &local, nullptr);
  gchar* text = gst_sdp_message_as_text(local->sdp);
  p.ws.text(true);
  p.ws.write(asio::buffer("offer " + std::string(text)), error);
  g_free(text);
  gst_webrtc_session_description_free(local);
  // joywire-send's answer and candidates, read on a thread of their own until the end.
  p.reader = std::thread([&p] {
    boost::beast::flat_buffer buffer;
    boost::system::error_code failed;
    for (;;) {
      p.ws.read(buffer, failed);
      if (failed) {
        return;
      }
      const std::string message = boost::beast::buffers_to_string(buffer.data());
      buffer.consume(buffer.size());
      if (message.rfind("answer ", 0) == 0) {
        SetDescription(p.webrtc, "set-remote-description", GST_WEBRTC_SDP_TYPE_ANSWER,
                       message.substr(7));
      } else if (message.rfind("candidate ", 0) == 0) {
        const std::size_t space = message.find(' ', 10);
        g_signal_emit_by_name(p.webrtc, "add-ice-candidate",
                              guint(std::stoul(message.substr(10, space - 10))),
                              message.substr(space + 1).c_str());
      }
    }
  });
  for (int i = 0; i < 2000 && !p.open; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!p.open) {
    why = "the channel did not open within 20 s";
    return false;
  }
  return true;
}

void ChannelPhone::Send(std::uint32_t sequence, const float values[5]) {
  unsigned char bytes[24];
  for (int i = 0; i < 4; ++i) {
    bytes[i] = static_cast<unsigned char>(sequence >> (8 * i));
  }
  std::memcpy(bytes + 4, values, 20);  // little-endian, as this machine is
  GBytes* data = g_bytes_new(bytes, sizeof bytes);
  gst_webrtc_data_channel_send_data_full(parts_->channel, data, nullptr);
  g_bytes_unref(data);
}
