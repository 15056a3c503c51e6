#include "phone/detached_output.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/terminal.h"

namespace joywire {

namespace {

// Room for a good many lines; past it, a held-up output loses lines rather than memory.
constexpr std::size_t kBufferLimit = 64 * 1024;
constexpr char kClearLine[] = "\r\x1b[K";

// Back to the start of a status of `lines` lines, and everything from there on cleared.
std::string ClearStatus(std::size_t lines) {
  return lines <= 1 ? kClearLine : "\r\x1b[" + std::to_string(lines - 1) + "A\x1b[J";
}

}  // namespace

struct DetachedOutput::Shared {
  std::mutex mutex;
  std::condition_variable changed;
  std::string queued;  // lines not yet handed to the writer
  std::string status;  // the status line as it should stand
  bool statusDue = false;
  std::size_t dropped = 0;
  bool writing = false;
  bool broken = false;  // the output is gone (a closed pipe): nothing more is written
};

namespace {

// The writer: takes what is queued and writes it, however long each write takes.
void WriteAll(std::shared_ptr<DetachedOutput::Shared> shared, bool live) {
  TakeNoSignalsOnThisThread();  // a signal to stop is the server's, on its own thread
  std::unique_lock lock(shared->mutex);
  std::size_t shownLines = 1;  // of the status on the terminal now (one per player)
  for (;;) {
    shared->changed.wait(
        lock, [&] { return !shared->queued.empty() || shared->statusDue || shared->dropped > 0; });
    std::string chunk = live ? ClearStatus(shownLines) : "";
    chunk += shared->queued;
    shared->queued.clear();
    if (shared->dropped > 0) {
      chunk += std::string(live ? kClearLine : "") +
               "joywire-send: " + std::to_string(shared->dropped) +
               " lines of output dropped while the output was held up\n";
      shared->dropped = 0;
    }
    if (live) {
      chunk += shared->status;  // redrawn under the lines
      shownLines = 1 + static_cast<std::size_t>(
                           std::count(shared->status.begin(), shared->status.end(), '\n'));
    }
    shared->statusDue = false;
    shared->writing = true;
    const bool broken = shared->broken;
    lock.unlock();
    const bool written = broken || WriteToStandardOutput(chunk.data(), chunk.size());
    lock.lock();
    shared->writing = false;
    shared->broken = !written || broken;
    shared->changed.notify_all();
  }
}

}  // namespace

DetachedOutput::DetachedOutput(bool live) : shared_(std::make_shared<Shared>()), live_(live) {
  std::thread(WriteAll, shared_, live).detach();
}

DetachedOutput::~DetachedOutput() = default;

void DetachedOutput::Line(std::string_view text) {
  Text(std::string(live_ ? kClearLine : "") + std::string(text) + "\n");
}

void DetachedOutput::Text(std::string_view text) {
  const std::lock_guard lock(shared_->mutex);
  if (shared_->queued.size() + text.size() > kBufferLimit) {
    ++shared_->dropped;
    return;
  }
  shared_->queued.append(text);
  shared_->changed.notify_all();
}

void DetachedOutput::Status(std::string_view text) {
  if (!live_) {
    return;
  }
  const std::lock_guard lock(shared_->mutex);
  if (shared_->status != text) {
    shared_->status = text;
    shared_->statusDue = true;
    shared_->changed.notify_all();
  }
}

bool DetachedOutput::Finish(std::chrono::milliseconds within) {
  std::unique_lock lock(shared_->mutex);
  return shared_->changed.wait_for(lock, within, [&] {
    return shared_->queued.empty() && !shared_->statusDue && shared_->dropped == 0 &&
           !shared_->writing;
  });
}

}  // namespace joywire
