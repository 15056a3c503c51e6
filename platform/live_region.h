#pragma once

#include <cstddef>

namespace joywire {

// The lines a live display keeps below the program's own text on a terminal, redrawn in
// place: the simulated joystick's gauge, the key sender's stick, the phone server's status.
// It alone knows where the cursor stands relative to them, so every write to the terminal and
// every wait for the operator's typing goes through it; that way no output path has to
// remember to keep the display in step.
class LiveRegion {
 public:
  using Writer = void (*)(const char* text, std::size_t length);

  // `quietsTyping`: the terminal's echo is held off while lines are shown (a program that
  // reads its keys itself has already done so).
  explicit LiveRegion(Writer terminal, bool quietsTyping = true)
      : terminal_(terminal), quietsTyping_(quietsTyping) {}

  // Whether lines may be shown now: the text above has ended its line, nobody is typing, and
  // the region has not been frozen.
  bool CanShow() const { return atLineStart_ && !typing_ && !frozen_; }
  // Replaces what is shown with `lines`, each ending in '\n' and narrower than the terminal.
  void Show(const char* lines, std::size_t length);
  // The program's own text: the region steps aside, the text goes where the text ended, and
  // the region waits to be shown again until the text has ended its line.
  void WriteText(Writer write, const char* text, std::size_t length);
  // The operator types: after the text when it has not ended its line (a prompt), else below
  // the region, which stays. A terminal that echoes has moved the cursor to the start of the
  // next line by the time a line's first character is read; the region counts the rows the
  // echo took, so they go when it is next redrawn.
  void BeforeInput();
  void AfterInput(int character, bool echoed);
  // What is shown becomes part of the text; nothing is drawn below it any more.
  void Freeze();

 private:
  static constexpr int kMaxLines = 24;  // the phone server shows a line per player, 16 at most

  void StepAside();

  Writer terminal_;
  bool quietsTyping_;
  int lineLengths_[kMaxLines] = {};
  int lines_ = 0;      // lines shown above the cursor
  int typedRows_ = 0;  // rows of echoed typing between them and the cursor
  int lineTyped_ = 0;  // characters read of the line being read
  int lineRows_ = 0;   // rows counted for it so far
  bool atLineStart_ = true;
  bool typing_ = false;
  bool frozen_ = false;
};

}  // namespace joywire
