#include "platform/TimerQueue.h"

namespace platform {

TimerQueue::~TimerQueue() {
  Close();
}

TimerQueue::TimerId TimerQueue::Create(Callback callback, void* context, uint32_t dueMs,
                                       uint32_t periodMs) {
  if (!callback) return kNoTimer;
  TimerId id;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return kNoTimer;
    id = nextId_++;
    timers_[id] =
        Entry{callback, context, Clock::now() + std::chrono::milliseconds(dueMs), periodMs, false};
    if (!worker_.joinable()) {
      worker_ = std::thread([this] { run(); });
      workerId_ = worker_.get_id();
    }
  }
  wake_.Set();
  return id;
}

bool TimerQueue::Change(TimerId id, uint32_t dueMs, uint32_t periodMs) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = timers_.find(id);
    if (it == timers_.end()) return false;
    it->second.due = Clock::now() + std::chrono::milliseconds(dueMs);
    it->second.period = periodMs;
    it->second.spent = false;
  }
  wake_.Set();
  return true;
}

bool TimerQueue::Delete(TimerId id, Completion completion) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool known = timers_.erase(id) > 0;
  if (completion == Completion::kWaitForCallback && !onWorker())
    callbackDone_.wait(lock, [&] { return running_ != id; });
  return known;
}

void TimerQueue::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    timers_.clear();
  }
  wake_.Set();
  if (worker_.joinable() && !onWorker()) worker_.join();
}

size_t TimerQueue::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timers_.size();
}

void TimerQueue::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!closing_) {
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (!it->second.spent && (next == timers_.end() || it->second.due < next->second.due))
        next = it;
    }
    const Clock::time_point now = Clock::now();
    if (next == timers_.end() || next->second.due > now) {
      const Clock::time_point until =
          next == timers_.end() ? now + std::chrono::hours(1) : next->second.due;
      lock.unlock();
      wake_.WaitUntil(until);
      lock.lock();
      continue;
    }
    Entry& entry = next->second;
    const Callback callback = entry.callback;
    void* const context = entry.context;
    const TimerId id = next->first;
    if (entry.period == 0) {
      entry.spent = true;
    } else {
      // Catch up from the planned time, but never queue a burst of late
      // firings after a slow callback.
      entry.due += std::chrono::milliseconds(entry.period);
      if (entry.due < now) entry.due = now + std::chrono::milliseconds(entry.period);
    }
    running_ = id;
    lock.unlock();
    callback(context, id);
    lock.lock();
    running_ = kNoTimer;
    callbackDone_.notify_all();
  }
}

}  // namespace platform
