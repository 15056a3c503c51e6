#include "phone/channel/channel_message.h"

#include <algorithm>
#include <charconv>

namespace joywire::web {

ChannelSignal ReadChannelSignal(std::span<const unsigned char> bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  constexpr std::string_view kOffer = "offer ";
  constexpr std::string_view kCandidate = "candidate ";
  if (text == "stream" || text == "stream idle") {
    return {ChannelSignal::Kind::kStream, 0, text.substr(std::min(text.size(), std::size_t{7}))};
  }
  if (text.starts_with(kOffer)) {
    return {ChannelSignal::Kind::kOffer, 0, text.substr(kOffer.size())};
  }
  if (!text.starts_with(kCandidate)) {
    return {ChannelSignal::Kind::kNone, 0, {}};
  }
  const std::string_view rest = text.substr(kCandidate.size());
  int mline = -1;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), mline);
  if (error != std::errc() || mline < 0 || mline > 15 || end == rest.data() + rest.size() ||
      *end != ' ') {
    return {ChannelSignal::Kind::kNone, 0, {}};
  }
  return {ChannelSignal::Kind::kCandidate, mline, rest.substr(std::size_t(end - rest.data()) + 1)};
}

bool SplitSequenced(std::span<const unsigned char> bytes, std::uint32_t& sequence,
                    std::span<const unsigned char>& record) {
  if (bytes.size() < kSequenceSize) {
    return false;
  }
  sequence = std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 |
             std::uint32_t(bytes[2]) << 16 | std::uint32_t(bytes[3]) << 24;
  record = bytes.subspan(kSequenceSize);
  return true;
}

bool SequenceGate::Admit(std::uint32_t sequence) {
  const auto ahead = static_cast<std::int32_t>(sequence - newest_);
  if (any_ && ahead <= 0) {
    return false;
  }
  newest_ = sequence;
  any_ = true;
  return true;
}

}  // namespace joywire::web
