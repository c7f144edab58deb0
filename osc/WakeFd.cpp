#include "osc/WakeFd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace QW {

WakeFd::WakeFd() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeFd::~WakeFd() {
  if (fd_ >= 0) close(fd_);
}

void WakeFd::Signal() noexcept {
  if (fd_ < 0) return;
  const uint64_t one = 1;
  // Only fails when the counter is saturated, which still reads as set.
  [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

void WakeFd::Drain() noexcept {
  if (fd_ < 0) return;
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(fd_, &count, sizeof count);
}

}  // namespace QW
