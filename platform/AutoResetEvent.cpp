#include "platform/AutoResetEvent.h"

namespace platform {

void AutoResetEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
  }
  changed_.notify_one();
}

void AutoResetEvent::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return signalled_; });
  signalled_ = false;
}

bool AutoResetEvent::WaitFor(uint32_t milliseconds) {
  return WaitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds));
}

bool AutoResetEvent::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!changed_.wait_until(lock, deadline, [this] { return signalled_; })) return false;
  signalled_ = false;
  return true;
}

}  // namespace platform
