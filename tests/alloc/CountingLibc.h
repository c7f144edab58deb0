// Counts the C library calls that can allocate, block, sleep, wake another
// thread or enter the kernel, made by a thread inside an audio call. The
// replacements live in CountingLibc.cpp, linked into this executable only,
// and each forwards to the C library's own. Calls the C library makes to
// itself (fputs reaching write) bind inside it, so the stdio entry points
// are counted themselves; the vDSO (clock_gettime) is invisible.
#pragma once

#include <cstdint>
#include <string>

namespace alloc_test {

enum class LibcCall : int {
  kAllocation,  // malloc and its relatives, operator new
  kRelease,     // free, operator delete
  kLuaLock,     // locking the registered Lua mutex
  kLuaUnlock,   // unlocking it
  kOtherLock,   // any other mutex, rwlock or spinlock
  kOtherUnlock,
  kConditionWait,
  kConditionWake,  // pthread_cond_signal/broadcast
  kSemaphoreWait,
  kSemaphorePost,
  kSleep,     // nanosleep, usleep, sleep, sched_yield and the like
  kFileIo,    // read, write, open, close, poll
  kSocketIo,  // send, recv and their -to/-from forms
  kStdio,     // fopen, fwrite, fputs, printf and the like, fflush
  kSyscall,   // syscall() itself, e.g. a futex
  kThread,    // pthread_create, pthread_join
  kCount
};

struct LibcCounts {
  uint64_t calls[static_cast<int>(LibcCall::kCount)] = {};
  uint64_t operator[](LibcCall c) const { return calls[static_cast<int>(c)]; }
  // "other lock 2, sleep 1" for the kinds other than those given, or "none".
  std::string describeAllBut(LibcCall a = LibcCall::kCount, LibcCall b = LibcCall::kCount,
                             LibcCall c = LibcCall::kCount) const;
};

// The mutex whose locking counts as the Lua lock (its native handle).
void registerLuaLock(const void* mutex);

// Counts this thread's calls while the scope lives (around one audio call).
class AudioCallScope {
 public:
  AudioCallScope();
  ~AudioCallScope();
  AudioCallScope(const AudioCallScope&) = delete;
  AudioCallScope& operator=(const AudioCallScope&) = delete;
};

// Counts since the last reset, summed over every AudioCallScope since.
void resetLibcCounts();
LibcCounts libcCounts();

}  // namespace alloc_test
