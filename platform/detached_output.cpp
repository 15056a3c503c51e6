#include "platform/detached_output.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/live_region.h"
#include "platform/terminal.h"

namespace joywire {

namespace {

// Room for a good many lines; past it, a held-up output loses lines rather than memory.
constexpr std::size_t kBufferLimit = 64 * 1024;

}  // namespace

struct DetachedOutput::Shared {
  std::mutex mutex;
  std::condition_variable changed;
  std::string queued;  // lines not yet handed to the writer
  std::string status;  // the status as it should stand
  bool statusDue = false;
  std::size_t dropped = 0;
  bool writing = false;
  bool broken = false;  // the output is gone (a closed pipe): nothing more is written
};

namespace {

bool g_writeFailed = false;  // the writer thread's alone

void WriteOut(const char* text, std::size_t length) {
  g_writeFailed = g_writeFailed || !WriteToStandardOutput(text, length);
}

// The writer: takes what is queued and writes it, however long each write takes; on a terminal
// the status stays below the lines, redrawn in place.
void WriteAll(std::shared_ptr<DetachedOutput::Shared> shared, bool live) {
  TakeNoSignalsOnThisThread();         // a signal to stop is the server's, on its own thread
  LiveRegion region(WriteOut, false);  // typing disturbs nothing: the status is redrawn anyway
  std::unique_lock lock(shared->mutex);
  for (;;) {
    shared->changed.wait(
        lock, [&] { return !shared->queued.empty() || shared->statusDue || shared->dropped > 0; });
    std::string text;
    text.swap(shared->queued);
    if (shared->dropped > 0) {
      text += "joywire-send: " + std::to_string(shared->dropped) +
              " lines of output dropped while the output was held up\n";
      shared->dropped = 0;
    }
    std::string status = shared->status.empty() ? "" : shared->status + "\n";
    shared->statusDue = false;
    shared->writing = true;
    const bool broken = shared->broken;
    lock.unlock();
    if (!broken && live) {
      region.WriteText(WriteOut, text.data(), text.size());
      region.Show(status.data(), status.size());
    } else if (!broken) {
      WriteOut(text.data(), text.size());
    }
    lock.lock();
    shared->writing = false;
    shared->broken = broken || g_writeFailed;
    shared->changed.notify_all();
  }
}

}  // namespace

DetachedOutput::DetachedOutput(bool live) : shared_(std::make_shared<Shared>()), live_(live) {
  std::thread(WriteAll, shared_, live).detach();
}

DetachedOutput::~DetachedOutput() = default;

void DetachedOutput::Line(std::string_view text) {
  Text(std::string(text) + "\n");
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
