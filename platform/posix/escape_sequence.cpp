#include "platform/posix/escape_sequence.h"

namespace joywire {

namespace {

constexpr unsigned char kEscape = 0x1B;

bool IsParameter(unsigned char byte) {
  return byte >= 0x30 && byte <= 0x3F;
}
bool IsIntermediate(unsigned char byte) {
  return byte >= 0x20 && byte <= 0x2F;
}
bool IsFinal(unsigned char byte) {
  return byte >= 0x40 && byte <= 0x7E;
}

TerminalKeyKind Arrow(unsigned char final) {
  switch (final) {
    case 'A':
      return TerminalKeyKind::kUp;
    case 'B':
      return TerminalKeyKind::kDown;
    case 'C':
      return TerminalKeyKind::kRight;
    case 'D':
      return TerminalKeyKind::kLeft;
    default:
      return TerminalKeyKind::kOther;
  }
}

}  // namespace

bool EscapeSequence::Feed(unsigned char byte) {
  switch (state_) {
    case State::kAfterEscape:
      if (byte == '[') {
        state_ = State::kControl;
        kind_ = TerminalKeyKind::kOther;  // cut short, it is no key of ours
        return false;
      }
      if (byte == 'O') {
        state_ = State::kSingleShift;
        kind_ = TerminalKeyKind::kOther;
        return false;
      }
      // Esc pressed twice, or Alt with a key.
      kind_ = byte == kEscape ? TerminalKeyKind::kEscape : TerminalKeyKind::kOther;
      break;
    case State::kControl:
      if (byte == '[' && !controlStarted_) {
        state_ = State::kLinuxFunction;
        return false;
      }
      controlStarted_ = true;
      if (IsParameter(byte)) {
        if (byte >= '0' && byte <= '9' && !pastFirstParameter_) {
          firstParameter_ = firstParameter_ * 10 + (byte - '0');
          firstParameter_ = firstParameter_ > kParameterCap ? kParameterCap : firstParameter_;
        } else {
          pastFirstParameter_ = true;
        }
        return false;
      }
      if (IsIntermediate(byte)) {
        pastFirstParameter_ = true;
        return false;
      }
      if (IsFinal(byte)) {
        if (byte == '~') {
          kind_ = firstParameter_ == 5   ? TerminalKeyKind::kPageUp
                  : firstParameter_ == 6 ? TerminalKeyKind::kPageDown
                                         : TerminalKeyKind::kOther;
        } else {
          kind_ = Arrow(byte);
        }
      }
      // Anything else breaks the sequence off; it is read no further.
      break;
    case State::kSingleShift:
      if (IsParameter(byte)) {
        return false;  // modifiers some terminals put before the final byte
      }
      kind_ = IsFinal(byte) ? Arrow(byte) : TerminalKeyKind::kOther;
      break;
    case State::kLinuxFunction:
      kind_ = TerminalKeyKind::kOther;
      break;
    case State::kDone:
      return true;
  }
  state_ = State::kDone;
  return true;
}

TerminalKey EscapeSequence::Key() const {
  return TerminalKey{kind_, 0};
}

}  // namespace joywire
