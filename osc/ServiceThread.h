// A std::thread that can be waited for with a time limit. A thread that
// has not ended by then is detached and left to finish on its own: POSIX
// has no safe way to kill one thread of a host process, and our threads
// only block where they can be woken, so this happens only if a Lua
// function called over OSC outlasts its instruction budget's reach (a
// blocking call inside a C library, for example).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace QW {

class ServiceThread {
 public:
  ServiceThread() = default;
  // Waits up to kStopLimit for a thread still running.
  ~ServiceThread();
  ServiceThread(const ServiceThread&) = delete;
  ServiceThread& operator=(const ServiceThread&) = delete;

  static constexpr std::chrono::milliseconds kStopLimit{5000};

  // Throws std::system_error when the thread cannot be made.
  void Start(std::function<void()> body);
  bool Running() const { return thread_.joinable(); }
  // True when the thread ended within the limit (and was joined); false
  // when it was detached.
  bool JoinWithin(std::chrono::milliseconds limit);

 private:
  struct Completion {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
  };

  std::thread thread_;
  // Shared with the thread, so a detached one can still report its end.
  std::shared_ptr<Completion> completion_;
};

}  // namespace QW
