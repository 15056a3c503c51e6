#include "platform/live_region.h"

#include <cstdio>

#include "platform/terminal.h"

namespace joywire {

void LiveRegion::StepAside() {
  if (TerminalWasResumed()) {
    lines_ = 0;  // stopped and continued: the shell wrote below; start afresh under it
  }
  if (lines_ == 0) {
    return;
  }
  // Rows the lines take now: a terminal made narrower since re-wraps the longer ones.
  const int columns = TerminalColumns();
  int rows = typedRows_;
  for (int i = 0; i < lines_; ++i) {
    rows += lineLengths_[i] <= columns ? 1 : (lineLengths_[i] + columns - 1) / columns;
  }
  char erase[32];
  const int length = std::snprintf(erase, sizeof erase, "\r\x1b[%dA\x1b[J", rows);
  terminal_(erase, static_cast<std::size_t>(length));
  lines_ = 0;
  typedRows_ = 0;
}

void LiveRegion::Show(const char* lines, std::size_t length) {
  if (!CanShow()) {
    return;
  }
  StepAside();
  int count = 0;
  int current = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (lines[i] == '\n') {
      if (count < kMaxLines) {
        lineLengths_[count++] = current;
      }
      current = 0;
    } else {
      ++current;
    }
  }
  if (quietsTyping_) {
    SuppressTerminalEcho(true);  // keys typed now would move the cursor under the lines
  }
  terminal_(lines, length);
  lines_ = count;
}

void LiveRegion::WriteText(Writer write, const char* text, std::size_t length) {
  StepAside();
  write(text, length);
  if (length > 0) {
    atLineStart_ = text[length - 1] == '\n';
  }
}

void LiveRegion::BeforeInput() {
  if (!atLineStart_) {
    StepAside();  // a prompt is waiting on its line: the typing goes after it
  }
  if (quietsTyping_) {
    SuppressTerminalEcho(false);
  }
  typing_ = true;
}

void LiveRegion::AfterInput(int character, bool echoed) {
  typing_ = false;
  if (!echoed) {
    return;
  }
  atLineStart_ = true;
  if (lines_ == 0) {
    lineRows_ = 0;
    return;  // the typing went after the text and is part of it
  }
  if (lineRows_ == 0) {
    lineTyped_ = 0;  // a new line: its echo took a row at least
    lineRows_ = 1;
    typedRows_ += 1;
  }
  if (character == '\n') {
    lineRows_ = 0;
    return;
  }
  ++lineTyped_;
  const int columns = TerminalColumns();
  const int rows = (lineTyped_ + columns - 1) / columns;
  if (rows > lineRows_) {
    typedRows_ += rows - lineRows_;
    lineRows_ = rows;
  }
}

void LiveRegion::Freeze() {
  lines_ = 0;
  frozen_ = true;
  if (quietsTyping_) {
    SuppressTerminalEcho(false);
  }
}

}  // namespace joywire
