// Script diagnostics: "@@@ " lines on standard output. Lines raised on the
// audio thread are parked in a fixed ring (no allocation, no I/O there) and
// written later by whoever flushes it off that thread.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace QW {

// Writes "@@@ " and the printf-style text to standard output.
void LogError(const char* format, ...) __attribute__((format(printf, 1, 2)));

class DeferredLog {
 public:
  static constexpr size_t kLines = 8;
  static constexpr size_t kLineBytes = 256;

  // Keeps the "@@@ " line for a later Flush; drops it when the ring is full.
  // One writer at a time (callers hold the Lua lock).
  void Post(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Writes the parked lines to standard output. One flusher at a time.
  void Flush();
  size_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  std::array<std::array<char, kLineBytes>, kLines> lines_{};
  std::atomic<size_t> written_{0};
  std::atomic<size_t> read_{0};
  std::atomic<size_t> dropped_{0};
};

}  // namespace QW
