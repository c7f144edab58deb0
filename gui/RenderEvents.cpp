#include "gui/RenderEvents.h"

namespace QW {

void RenderEvents::signal(int event) {
  if (event < 0 || event >= kCount) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    set_[event] = true;
  }
  changed_.notify_one();
}

int RenderEvents::waitAny(std::optional<std::chrono::milliseconds> timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto anySet = [this] {
    for (bool s : set_)
      if (s) return true;
    return false;
  };
  if (timeout) {
    if (!changed_.wait_for(lock, *timeout, anySet)) return kTimedOut;
  } else {
    changed_.wait(lock, anySet);
  }
  for (int i = 0; i < kCount; ++i) {
    if (set_[i]) {
      set_[i] = false;
      return i;
    }
  }
  return kTimedOut;
}

}  // namespace QW
