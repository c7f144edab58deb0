#include "scripting/ScriptLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace QW {

void LogError(const char* format, ...) {
  std::fputs("@@@ ", stdout);
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fflush(stdout);
}

void DeferredLog::Post(const char* format, ...) {
  const size_t w = written_.load(std::memory_order_relaxed);
  if (w - read_.load(std::memory_order_acquire) >= kLines) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  std::array<char, kLineBytes>& line = lines_[w % kLines];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line.data(), line.size(), format, args);
  va_end(args);
  written_.store(w + 1, std::memory_order_release);
}

void DeferredLog::Flush() {
  size_t r = read_.load(std::memory_order_relaxed);
  const size_t w = written_.load(std::memory_order_acquire);
  for (; r != w; ++r) {
    const char* line = lines_[r % kLines].data();
    std::fputs("@@@ ", stdout);
    std::fputs(line, stdout);
    // A line cut to the ring's width has lost its newline; the next one
    // must still start a line of its own.
    const size_t length = std::strlen(line);
    if (length == 0 || line[length - 1] != '\n') std::fputc('\n', stdout);
    read_.store(r + 1, std::memory_order_release);
  }
  std::fflush(stdout);
}

}  // namespace QW
