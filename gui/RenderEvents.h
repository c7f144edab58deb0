// The render thread's wake-up signals: a fixed set of auto-reset events that
// one waiter can wait on together. A wait answers the lowest-numbered event
// that is set and resets only that one.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace QW {

class RenderEvents {
 public:
  enum Event : int {
    kStop = 0,
    kNextFrame = 1,
    kPause = 2,
    kWake = 3,
    kResized = 4,
    kRedrawLayer = 5,
    kRebuild = 6,
    kCount = 7,
  };
  static constexpr int kTimedOut = -1;

  void signal(int event);
  // The event that ended the wait, or kTimedOut; no timeout waits for ever.
  int waitAny(std::optional<std::chrono::milliseconds> timeout);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::array<bool, kCount> set_{};
};

}  // namespace QW
