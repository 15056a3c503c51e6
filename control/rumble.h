#pragma once

// Rumble: what a game plays on the device (its force-feedback effects) as one strong and one
// weak level, and the datagram that carries the level back to the sender, so that the phone or
// pad in the player's hand can buzz.
//   offset 0 tag "JWr1" (4A 57 72 31)   4 version 1 (uint8)   5 zero
//          6 strong, 8 weak (uint16 little-endian, 0..65535)
//          10 hold (uint16 little-endian, ms): the level holds so long unless renewed
// A receiver that hears nothing more within the hold stops. The tag is no control record's:
// a feeder ignores any datagram shorter than 20 bytes.
#include <cstddef>
#include <cstdint>

namespace joywire {

inline constexpr std::size_t kRumbleDatagramSize = 12;
inline constexpr std::uint8_t kRumbleTag[4] = {0x4A, 0x57, 0x72, 0x31};
inline constexpr std::uint8_t kRumbleVersion = 1;

struct RumbleLevel {
  std::uint16_t strong;
  std::uint16_t weak;
  bool operator==(const RumbleLevel&) const = default;
};

void EncodeRumble(RumbleLevel level, std::uint16_t holdMs,
                  std::uint8_t (&datagram)[kRumbleDatagramSize]);
// False for anything but a rumble datagram of this version.
bool DecodeRumble(const std::uint8_t* bytes, std::size_t size, RumbleLevel& level,
                  std::uint16_t& holdMs);

// The effects a game uploaded and which of them play. The level is the strongest of those
// playing, strong and weak apart, times the gain; an effect plays for its length times the
// count it was played with (a length of 0: until stopped). Times are milliseconds of one
// steady clock.
class RumbleMixer {
 public:
  static constexpr int kEffects = 16;
  // An effect in slot `id` (new, or changed while it plays); false for a slot out of range.
  bool Upload(int id, RumbleLevel magnitudes, std::uint32_t lengthMs);
  void Erase(int id);
  // Played `count` times from `now`; 0 stops it.
  void Play(int id, int count, std::int64_t now);
  void SetGain(std::uint16_t gain) { gain_ = gain; }
  void StopAll();
  RumbleLevel Level(std::int64_t now) const;
  // When the level next changes by itself (an effect's end), or -1.
  std::int64_t NextEnd(std::int64_t now) const;

 private:
  struct Effect {
    bool uploaded;
    RumbleLevel magnitudes;
    std::uint32_t length;
    bool playing;
    std::int64_t until;  // with a length: when it ends
  };
  Effect effects_[kEffects] = {};
  std::uint16_t gain_ = 0xFFFF;
};

// When the level goes back: at once on a change, again every kRumbleRenewMs while it is not
// zero (each datagram holding kRumbleHoldMs), one zero when it ends; never two within
// kRumbleGapMs.
inline constexpr std::uint16_t kRumbleHoldMs = 500;
inline constexpr std::int64_t kRumbleRenewMs = 200;
inline constexpr std::int64_t kRumbleGapMs = 20;

class RumbleSchedule {
 public:
  // Whether `level` is to be sent at `now`; when it is, it counts as sent.
  bool Due(RumbleLevel level, std::int64_t now);
  // When it will next be due, or -1 while nothing is.
  std::int64_t Next(RumbleLevel level, std::int64_t now) const;

 private:
  RumbleLevel sent_{0, 0};
  std::int64_t sentAt_ = 0;
  bool any_ = false;
};

}  // namespace joywire
