// Wakes the notify thread. Set is called on the audio thread, so it must
// neither lock nor allocate: a semaphore post, at most one outstanding
// (several Sets before the thread runs wake it once, like an auto-reset
// event).
#pragma once

#include <semaphore.h>

#include <atomic>

namespace QW {

class NotifySignal {
 public:
  NotifySignal();
  ~NotifySignal();
  NotifySignal(const NotifySignal&) = delete;
  NotifySignal& operator=(const NotifySignal&) = delete;

  void Set() noexcept;
  // Posts even when a wake-up is already outstanding (used to stop the
  // thread, which must see its quit flag whatever state the signal is in).
  void Kick() noexcept;
  // Returns once set; the caller then looks at everything that was set.
  void Wait() noexcept;

 private:
  sem_t semaphore_;
  std::atomic<bool> pending_{false};
};

}  // namespace QW
