// Counts the C library calls that can allocate, block, sleep, wake another
// thread or enter the kernel, made by a thread while it is inside an audio
// call (the host's processReplacing or processEvents). The replacements live
// in CountingLibc.cpp, linked into this executable only (the sanitizers
// replace the same functions); each forwards to the C library's own.
//
// What it cannot see: calls the C library makes to itself (fputs reaching
// write, sem_post reaching futex) bind inside the library, so the stdio
// entry points are counted themselves, and a sem_post counts as one wake-up
// whether or not it enters the kernel. Inline system calls and the vDSO
// (clock_gettime) are invisible; the product makes none on its audio path.
#pragma once

#include <cstdint>
#include <string>

namespace alloc_test {

enum class LibcCall : int {
  kAllocation,   // malloc, calloc, realloc, the aligned ones, operator new
  kRelease,      // free of a pointer, operator delete
  kLuaLock,      // pthread_mutex_lock/trylock of the registered Lua lock
  kLuaUnlock,    // pthread_mutex_unlock of it
  kOtherLock,    // any other mutex, rwlock or spinlock taken or tried
  kOtherUnlock,  // any other mutex, rwlock or spinlock released
  kConditionWait,
  kConditionWake,  // pthread_cond_signal/broadcast
  kSemaphoreWait,  // sem_wait/timedwait/trywait
  kSemaphorePost,
  kSleep,     // nanosleep, clock_nanosleep, usleep, sleep, sched_yield
  kFileIo,    // read, write, open, openat, close, poll, fcntl
  kSocketIo,  // send, sendto, recv, recvfrom
  kStdio,     // fopen, fwrite, fputs, puts, fputc, putchar, printf, fprintf, vfprintf,
              // fflush (the compiler turns printf and fputs into the others)
  kSyscall,   // syscall() itself, e.g. a futex
  kThread,    // pthread_create, pthread_join
  kCount
};

struct LibcCounts {
  uint64_t calls[static_cast<int>(LibcCall::kCount)] = {};

  uint64_t operator[](LibcCall c) const { return calls[static_cast<int>(c)]; }
  // Every call except those of the given kinds.
  uint64_t allBut(LibcCall a, LibcCall b) const;
  // "kOtherLock 2, kSleep 1" for the kinds that were counted.
  std::string describe() const;
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
