#include "control/rumble.h"

namespace joywire {

namespace {

// (No <algorithm> here: the core also compiles against MSVC-mode headers, where it will not.)
template <typename T>
T Larger(T a, T b) {
  return a < b ? b : a;
}

constexpr RumbleLevel kStill{0, 0};

void PutUint16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value & 0xFF);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t GetUint16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

std::uint16_t Scaled(std::uint16_t magnitude, std::uint16_t gain) {
  return static_cast<std::uint16_t>(std::uint32_t{magnitude} * gain / 0xFFFF);
}

}  // namespace

void EncodeRumble(RumbleLevel level, std::uint16_t holdMs,
                  std::uint8_t (&datagram)[kRumbleDatagramSize]) {
  for (int i = 0; i < 4; ++i) {
    datagram[i] = kRumbleTag[i];
  }
  datagram[4] = kRumbleVersion;
  datagram[5] = 0;
  PutUint16(datagram + 6, level.strong);
  PutUint16(datagram + 8, level.weak);
  PutUint16(datagram + 10, holdMs);
}

bool DecodeRumble(const std::uint8_t* bytes, std::size_t size, RumbleLevel& level,
                  std::uint16_t& holdMs) {
  if (size != kRumbleDatagramSize || bytes[0] != kRumbleTag[0] || bytes[1] != kRumbleTag[1] ||
      bytes[2] != kRumbleTag[2] || bytes[3] != kRumbleTag[3] || bytes[4] != kRumbleVersion) {
    return false;
  }
  level = {GetUint16(bytes + 6), GetUint16(bytes + 8)};
  holdMs = GetUint16(bytes + 10);
  return true;
}

bool RumbleMixer::Upload(int id, RumbleLevel magnitudes, std::uint32_t lengthMs) {
  if (id < 0 || id >= kEffects) {
    return false;
  }
  Effect& effect = effects_[id];
  const bool playing = effect.uploaded && effect.playing;  // a change while it plays goes on
  effect = Effect{true, magnitudes, lengthMs, playing, effect.until};
  return true;
}

void RumbleMixer::Erase(int id) {
  if (id >= 0 && id < kEffects) {
    effects_[id] = Effect{};
  }
}

void RumbleMixer::Play(int id, int count, std::int64_t now) {
  if (id < 0 || id >= kEffects || !effects_[id].uploaded) {
    return;
  }
  Effect& effect = effects_[id];
  effect.playing = count > 0;
  effect.until = now + std::int64_t{effect.length} * Larger(count, 0);
}

void RumbleMixer::StopAll() {
  for (Effect& effect : effects_) {
    effect.playing = false;
  }
}

RumbleLevel RumbleMixer::Level(std::int64_t now) const {
  RumbleLevel level = kStill;
  for (const Effect& effect : effects_) {
    if (effect.playing && (effect.length == 0 || now < effect.until)) {
      level.strong = Larger(level.strong, effect.magnitudes.strong);
      level.weak = Larger(level.weak, effect.magnitudes.weak);
    }
  }
  return {Scaled(level.strong, gain_), Scaled(level.weak, gain_)};
}

std::int64_t RumbleMixer::NextEnd(std::int64_t now) const {
  std::int64_t next = -1;
  for (const Effect& effect : effects_) {
    if (effect.playing && effect.length != 0 && now < effect.until) {
      next = next < 0 || effect.until < next ? effect.until : next;
    }
  }
  return next;
}

bool RumbleSchedule::Due(RumbleLevel level, std::int64_t now) {
  const std::int64_t next = Next(level, now);
  if (next < 0 || next > now) {
    return false;
  }
  sent_ = level;
  sentAt_ = now;
  any_ = true;
  return true;
}

std::int64_t RumbleSchedule::Next(RumbleLevel level, std::int64_t now) const {
  if (!any_) {
    return level == kStill ? -1 : now;  // nothing said yet: a still device says nothing
  }
  if (level != sent_) {
    return Larger(now, sentAt_ + kRumbleGapMs);
  }
  return level == kStill ? -1 : Larger(now, sentAt_ + kRumbleRenewMs);
}

}  // namespace joywire
