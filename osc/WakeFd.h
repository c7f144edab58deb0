// A descriptor that poll() reports readable once signalled, so a thread
// sleeping in poll() on its socket can be woken from another thread.
#pragma once

namespace QW {

class WakeFd {
 public:
  WakeFd();
  ~WakeFd();
  WakeFd(const WakeFd&) = delete;
  WakeFd& operator=(const WakeFd&) = delete;

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void Signal() noexcept;
  // Consumes every signal so far.
  void Drain() noexcept;

 private:
  int fd_;
};

}  // namespace QW
