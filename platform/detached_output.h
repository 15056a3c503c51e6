#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string_view>

namespace joywire {

// What the web mode prints, written by a thread of its own so that nothing that forwards a
// phone's messages ever waits for the output: a terminal stopped by Ctrl-S (or a console by a
// selection), a pipe that nobody reads, a slow disk. Lines that do not fit the buffer while the
// output is held up are dropped and counted, and the count is written once it moves again.
class DetachedOutput {
 public:
  // `live`: a terminal, where the status line is kept in place below the other lines.
  explicit DetachedOutput(bool live);
  ~DetachedOutput();
  DetachedOutput(const DetachedOutput&) = delete;
  DetachedOutput& operator=(const DetachedOutput&) = delete;

  // One whole line, without its line end. Never waits.
  void Line(std::string_view text);
  // Text as it stands (the QR code's rows), written with the lines. Never waits.
  void Text(std::string_view text);
  // The status a terminal shows below the lines (one line, or several apart by '\n'), replaced
  // in place. Never waits.
  void Status(std::string_view text);
  // Waits at most `within` until everything given is written; false when the output is still
  // held up then (what is left is given up with the process).
  bool Finish(std::chrono::milliseconds within);

  struct Shared;  // what the callers and the writer share

 private:
  std::shared_ptr<Shared> shared_;  // the writer keeps it too, however long it is held up
  bool live_;
};

}  // namespace joywire
