#include "osc/NotifySignal.h"

#include <cerrno>

namespace QW {

NotifySignal::NotifySignal() {
  sem_init(&semaphore_, 0, 0);
}

NotifySignal::~NotifySignal() {
  sem_destroy(&semaphore_);
}

void NotifySignal::Set() noexcept {
  if (!pending_.exchange(true, std::memory_order_acq_rel)) sem_post(&semaphore_);
}

void NotifySignal::Kick() noexcept {
  pending_.store(true, std::memory_order_release);
  sem_post(&semaphore_);
}

void NotifySignal::Wait() noexcept {
  while (sem_wait(&semaphore_) != 0 && errno == EINTR) {
  }
  // Cleared before the caller looks, so a Set after this point posts again
  // and is not lost.
  pending_.store(false, std::memory_order_seq_cst);
}

}  // namespace QW
