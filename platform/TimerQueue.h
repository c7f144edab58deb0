// A queue of one-shot and periodic timers whose callbacks run on the
// queue's own worker thread (started with the first timer), with the
// deletion rules scripts' timers rely on: deleting a timer can either return
// at once or wait until a callback of it that is already running has
// finished, and closing the queue waits for the running callback.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "platform/AutoResetEvent.h"

namespace platform {

class TimerQueue {
 public:
  using TimerId = uint64_t;
  // Ids are never reused, so a callback can tell its timer from a later one.
  using Callback = void (*)(void* context, TimerId id);
  static constexpr TimerId kNoTimer = 0;

  enum class Completion { kDontWait, kWaitForCallback };

  TimerQueue() = default;
  ~TimerQueue();
  TimerQueue(const TimerQueue&) = delete;
  TimerQueue& operator=(const TimerQueue&) = delete;

  // The callback first runs dueMs after now, then every periodMs; a period
  // of 0 makes a one-shot timer, which stays known until it is deleted.
  // kNoTimer once the queue is closed.
  TimerId Create(Callback callback, void* context, uint32_t dueMs, uint32_t periodMs);
  bool Change(TimerId id, uint32_t dueMs, uint32_t periodMs);
  // Waiting is skipped when called from the timer's own callback, which
  // would otherwise wait for itself.
  bool Delete(TimerId id, Completion completion);
  // Deletes every timer, waits for a running callback and ends the worker.
  // Later timers are refused. Must not be called from a callback.
  void Close();

  size_t size() const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    Callback callback;
    void* context;
    Clock::time_point due;
    uint32_t period;
    bool spent;  // a one-shot timer that has fired
  };

  void run();
  bool onWorker() const { return std::this_thread::get_id() == workerId_; }

  mutable std::mutex mutex_;
  std::condition_variable callbackDone_;
  AutoResetEvent wake_;
  std::map<TimerId, Entry> timers_;
  TimerId nextId_ = 1;
  TimerId running_ = kNoTimer;
  bool closing_ = false;
  std::thread worker_;
  std::thread::id workerId_;
};

}  // namespace platform
