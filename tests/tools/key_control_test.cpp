#include "tools/send/key_control.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#ifndef _WIN32
#include "platform/posix/escape_sequence.h"
#endif

namespace joywire {
namespace {

TEST(KeyboardStick, StepsClampAtTheEndsAndSpaceCentres) {
  KeyboardStick stick{};
  for (int i = 0; i < 15; ++i) {
    ApplyAction(stick, ActionOfCharacter('d'));  // right, past the end
    ApplyAction(stick, StickAction::kForward);
  }
  ApplyAction(stick, StickAction::kThrottleDown);
  ApplyAction(stick, ActionOfCharacter('2'));
  float v[5];
  StickValues(stick, v);
  EXPECT_EQ(v[0], 1.0f);
  EXPECT_EQ(v[1], -1.0f);
  EXPECT_EQ(v[2], -0.1f);
  EXPECT_EQ(v[4], 1.0f);
  EXPECT_TRUE(ApplyAction(stick, ActionOfCharacter(' ')));
  StickValues(stick, v);
  EXPECT_EQ(v[0] + v[1] + v[2] + v[3] + v[4], 0.0f);
  EXPECT_FALSE(ApplyAction(stick, ActionOfCharacter(0x1B)));  // Esc quits, as do q and Ctrl-C
  EXPECT_FALSE(ApplyAction(stick, ActionOfCharacter(0x03)));
}

TEST(KeyboardStick, ALateSenderCarriesOnFromNowWithoutABurst) {
  using std::chrono::milliseconds;
  const std::chrono::steady_clock::time_point start{};
  EXPECT_EQ(NextSendTime(start, milliseconds(100), start + milliseconds(30)),
            start + milliseconds(100));
  // Stopped for 3 s at 10 a second: the next one is due now, not 30 in a row.
  const auto resumed = start + milliseconds(3000);
  EXPECT_EQ(NextSendTime(start, milliseconds(100), resumed), resumed);
  EXPECT_EQ(NextSendTime(resumed, milliseconds(100), resumed), resumed + milliseconds(100));
}

#ifndef _WIN32
// Each sequence after its ESC, and the key it is; nothing of it may be left over.
TEST(KeyboardKeys, EscapeSequencesAreReadToTheirEnd) {
  struct Case {
    const char* bytes;
    TerminalKeyKind kind;
  };
  const Case cases[] = {
      {"[A", TerminalKeyKind::kUp},
      {"OB", TerminalKeyKind::kDown},
      {"[1;5C", TerminalKeyKind::kRight},
      {"O2D", TerminalKeyKind::kLeft},
      {"[5~", TerminalKeyKind::kPageUp},
      {"[6;2~", TerminalKeyKind::kPageDown},
      {"[[A", TerminalKeyKind::kOther},            // the Linux console's F1
      {"[99999999999~", TerminalKeyKind::kOther},  // no overflow, however long
      {"[200~", TerminalKeyKind::kOther},
      {"[?1;2c", TerminalKeyKind::kOther},
      {"[1 q", TerminalKeyKind::kOther},
      {"x", TerminalKeyKind::kOther},      // Alt+x
      {"\x1b", TerminalKeyKind::kEscape},  // Esc twice
  };
  for (const Case& c : cases) {
    EscapeSequence sequence;
    const std::string bytes = c.bytes;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      EXPECT_EQ(sequence.Feed(static_cast<unsigned char>(bytes[i])), i + 1 == bytes.size())
          << "ESC " << bytes << " at byte " << i;
    }
    EXPECT_EQ(sequence.Key().kind, c.kind) << "ESC " << bytes;
  }
  // What a wait that runs out leaves: a lone Esc, or a sequence cut short.
  EXPECT_EQ(EscapeSequence().Key().kind, TerminalKeyKind::kEscape);
  EscapeSequence cut;
  cut.Feed('[');
  cut.Feed('1');
  EXPECT_EQ(cut.Key().kind, TerminalKeyKind::kOther);
}
#endif

}  // namespace
}  // namespace joywire
