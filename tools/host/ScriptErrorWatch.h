// Counts the script errors a plug-in prints, for --strict. Veldrana writes
// a line starting "@@@ " to standard output for every script that fails to
// load or, when asked, fails on a frame. While a watch lives, file
// descriptor 1 is a pipe: a thread copies everything through to where it
// went before (standard error, see StdoutRedirect) and counts those lines,
// so the user still sees them as they come.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace vhost {

class ScriptErrorWatch {
 public:
  ScriptErrorWatch();  // throws HostError
  ~ScriptErrorWatch();
  ScriptErrorWatch(const ScriptErrorWatch&) = delete;
  ScriptErrorWatch& operator=(const ScriptErrorWatch&) = delete;

  // Throws a HostError naming the first error when any has been printed
  // by the time of the call.
  void requireNone();

 private:
  void settle();
  void pump();
  void take(const char* data, size_t size);
  void forward(const char* data, size_t size) const;

  int savedStdout_ = -1;
  int readEnd_ = -1;
  int stopRead_ = -1;
  int stopWrite_ = -1;
  std::mutex mutex_;
  std::condition_variable markerSeen_;
  uint64_t markersSent_ = 0;  // under mutex_
  uint64_t markersSeen_ = 0;  // under mutex_
  size_t errors_ = 0;         // under mutex_
  std::string firstError_;    // under mutex_
  std::string line_;          // the reader's line so far
  bool lineCut_ = false;      // the reader's line outgrew line_
  std::thread reader_;
};

}  // namespace vhost
