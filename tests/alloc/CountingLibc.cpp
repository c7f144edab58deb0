#include "CountingLibc.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <new>

// glibc's own allocator entry points. Every allocation function is replaced
// together, so a pointer always goes back to the allocator it came from.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* p);
}

namespace {

using alloc_test::LibcCall;

// Set only around the host's audio calls; a thread_local bool of the
// executable is reached without any call of its own.
thread_local bool tInAudioCall = false;
std::atomic<uint64_t> gCounts[static_cast<int>(LibcCall::kCount)];
std::atomic<const void*> gLuaLock{nullptr};

void note(LibcCall call) {
  if (tInAudioCall) gCounts[static_cast<int>(call)].fetch_add(1, std::memory_order_relaxed);
}

void noteMutex(const void* mutex, bool locking) {
  const bool lua = mutex == gLuaLock.load(std::memory_order_relaxed);
  note(lua ? (locking ? LibcCall::kLuaLock : LibcCall::kLuaUnlock)
           : (locking ? LibcCall::kOtherLock : LibcCall::kOtherUnlock));
}

// The C library's function of that name, looked up once per use. dlsym
// never comes back here: the loader's locks and lookups bind inside libc.
#define REAL(name)                                                             \
  ([]() {                                                                      \
    static std::atomic<void*> slot{nullptr};                                   \
    if (!slot.load(std::memory_order_acquire)) slot = dlsym(RTLD_NEXT, #name); \
    return reinterpret_cast<decltype(&::name)>(slot.load());                   \
  }())

void* allocate(size_t size, size_t alignment, bool orThrow) {
  note(LibcCall::kAllocation);
  void* p = alignment <= alignof(std::max_align_t) ? __libc_malloc(size ? size : 1)
                                                   : __libc_memalign(alignment, size ? size : 1);
  if (!p && orThrow) throw std::bad_alloc();
  return p;
}

void release(void* p) noexcept {
  if (p) note(LibcCall::kRelease);
  __libc_free(p);
}

}  // namespace

namespace alloc_test {

std::string LibcCounts::describeAllBut(LibcCall a, LibcCall b, LibcCall c) const {
  static const char* const kNames[] = {
      "allocation",     "release",        "Lua lock",       "Lua unlock",
      "other lock",     "other unlock",   "condition wait", "condition wake",
      "semaphore wait", "semaphore post", "sleep",          "file I/O",
      "socket I/O",     "stdio",          "syscall",        "thread"};
  static_assert(sizeof kNames / sizeof kNames[0] == static_cast<size_t>(LibcCall::kCount));
  std::string text;
  for (int i = 0; i < static_cast<int>(LibcCall::kCount); ++i) {
    if (calls[i] == 0 || i == int(a) || i == int(b) || i == int(c)) continue;
    text += (text.empty() ? "" : ", ") + std::string(kNames[i]) + " " + std::to_string(calls[i]);
  }
  return text.empty() ? "none" : text;
}

void registerLuaLock(const void* mutex) {
  gLuaLock.store(mutex);
}
AudioCallScope::AudioCallScope() {
  tInAudioCall = true;
}
AudioCallScope::~AudioCallScope() {
  tInAudioCall = false;
}
void resetLibcCounts() {
  for (auto& count : gCounts) count.store(0);
}
LibcCounts libcCounts() {
  LibcCounts counts;
  for (int i = 0; i < static_cast<int>(LibcCall::kCount); ++i) counts.calls[i] = gCounts[i].load();
  return counts;
}

}  // namespace alloc_test

// Every form of the global operator new and delete, plain and array.
#define DEFINE(declaration, ...) \
  declaration {                  \
    __VA_ARGS__;                 \
  }
#define COUNTED_NEW(suffix)                                                                       \
  DEFINE(void* operator new suffix(size_t n), return allocate(n, 0, true))                        \
  DEFINE(void* operator new suffix(size_t n, const std::nothrow_t&) noexcept,                     \
         return allocate(n, 0, false))                                                            \
  DEFINE(void* operator new suffix(size_t n, std::align_val_t a),                                 \
         return allocate(n, size_t(a), true))                                                     \
  DEFINE(void* operator new suffix(size_t n, std::align_val_t a, const std::nothrow_t&) noexcept, \
         return allocate(n, size_t(a), false))                                                    \
  DEFINE(void operator delete suffix(void* p) noexcept, release(p))                               \
  DEFINE(void operator delete suffix(void* p, size_t) noexcept, release(p))                       \
  DEFINE(void operator delete suffix(void* p, const std::nothrow_t&) noexcept, release(p))        \
  DEFINE(void operator delete suffix(void* p, std::align_val_t) noexcept, release(p))             \
  DEFINE(void operator delete suffix(void* p, size_t, std::align_val_t) noexcept, release(p))     \
  DEFINE(void operator delete suffix(void* p, std::align_val_t, const std::nothrow_t&) noexcept,  \
         release(p))
COUNTED_NEW()
COUNTED_NEW([])

// A replacement that notes its kind and forwards: the C library's declaration
// split into its parts, the call to forward to, its exception specification.
#define COUNTED(kind, result, name, params, call, ...) \
  DEFINE(result name params __VA_ARGS__, note(LibcCall::kind); return call)
#define FORWARDED(kind, result, name, params, args, ...) \
  COUNTED(kind, result, name, params, REAL(name) args, __VA_ARGS__)
#define MUTEX(name, params, args, locking) \
  DEFINE(int name params noexcept, noteMutex(m, locking); return REAL(name) args)

extern "C" {

COUNTED(kAllocation, void*, malloc, (size_t n), __libc_malloc(n))
COUNTED(kAllocation, void*, calloc, (size_t count, size_t n), __libc_calloc(count, n))
COUNTED(kAllocation, void*, realloc, (void* p, size_t n), __libc_realloc(p, n))
COUNTED(kAllocation, void*, memalign, (size_t a, size_t n), __libc_memalign(a, n))
COUNTED(kAllocation, void*, aligned_alloc, (size_t a, size_t n), __libc_memalign(a, n))
int posix_memalign(void** out, size_t alignment, size_t size) {
  note(LibcCall::kAllocation);
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
  *out = __libc_memalign(alignment, size);
  return *out ? 0 : ENOMEM;
}
void free(void* p) {
  release(p);
}

MUTEX(pthread_mutex_lock, (pthread_mutex_t * m), (m), true)
MUTEX(pthread_mutex_trylock, (pthread_mutex_t * m), (m), true)
MUTEX(pthread_mutex_timedlock, (pthread_mutex_t * m, const timespec* t), (m, t), true)
MUTEX(pthread_mutex_unlock, (pthread_mutex_t * m), (m), false)
FORWARDED(kOtherLock, int, pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l), noexcept)
FORWARDED(kOtherLock, int, pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l), noexcept)
FORWARDED(kOtherUnlock, int, pthread_rwlock_unlock, (pthread_rwlock_t * l), (l), noexcept)
FORWARDED(kOtherLock, int, pthread_spin_lock, (pthread_spinlock_t * l), (l), noexcept)
FORWARDED(kOtherUnlock, int, pthread_spin_unlock, (pthread_spinlock_t * l), (l), noexcept)

FORWARDED(kConditionWait, int, pthread_cond_wait, (pthread_cond_t * c, pthread_mutex_t* m), (c, m))
FORWARDED(kConditionWait, int, pthread_cond_timedwait,
          (pthread_cond_t * c, pthread_mutex_t* m, const timespec* t), (c, m, t))
FORWARDED(kConditionWake, int, pthread_cond_signal, (pthread_cond_t * c), (c), noexcept)
FORWARDED(kConditionWake, int, pthread_cond_broadcast, (pthread_cond_t * c), (c), noexcept)

FORWARDED(kSemaphoreWait, int, sem_wait, (sem_t * s), (s))
FORWARDED(kSemaphoreWait, int, sem_timedwait, (sem_t * s, const timespec* t), (s, t))
FORWARDED(kSemaphoreWait, int, sem_trywait, (sem_t * s), (s), noexcept)
FORWARDED(kSemaphorePost, int, sem_post, (sem_t * s), (s), noexcept)

FORWARDED(kSleep, int, nanosleep, (const timespec* t, timespec* left), (t, left))
FORWARDED(kSleep, int, clock_nanosleep, (clockid_t c, int flags, const timespec* t, timespec* left),
          (c, flags, t, left))
FORWARDED(kSleep, int, usleep, (useconds_t us), (us))
FORWARDED(kSleep, unsigned int, sleep, (unsigned int s), (s))
FORWARDED(kSleep, int, sched_yield, (), (), noexcept)

FORWARDED(kFileIo, ssize_t, read, (int fd, void* buffer, size_t n), (fd, buffer, n))
FORWARDED(kFileIo, ssize_t, write, (int fd, const void* buffer, size_t n), (fd, buffer, n))
// The mode argument of open and openat is there only when the flags ask.
#define WITH_MODE(call)                                                     \
  note(LibcCall::kFileIo);                                                  \
  va_list args;                                                             \
  va_start(args, flags);                                                    \
  const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE \
                          ? static_cast<mode_t>(va_arg(args, int))          \
                          : 0;                                              \
  va_end(args);                                                             \
  return call
DEFINE(int open(const char* path, int flags, ...), WITH_MODE(REAL(open)(path, flags, mode)))
DEFINE(int openat(int dir, const char* path, int flags, ...),
       WITH_MODE(REAL(openat)(dir, path, flags, mode)))
FORWARDED(kFileIo, int, close, (int fd), (fd))
FORWARDED(kFileIo, int, poll, (pollfd * fds, nfds_t count, int timeout), (fds, count, timeout))

FORWARDED(kSocketIo, ssize_t, send, (int fd, const void* b, size_t n, int f), (fd, b, n, f))
FORWARDED(kSocketIo, ssize_t, sendto,
          (int fd, const void* b, size_t n, int f, const sockaddr* to, socklen_t length),
          (fd, b, n, f, to, length))
FORWARDED(kSocketIo, ssize_t, recv, (int fd, void* b, size_t n, int f), (fd, b, n, f))
FORWARDED(kSocketIo, ssize_t, recvfrom,
          (int fd, void* b, size_t n, int f, sockaddr* from, socklen_t* length),
          (fd, b, n, f, from, length))

FORWARDED(kStdio, FILE*, fopen, (const char* path, const char* mode), (path, mode))
FORWARDED(kStdio, size_t, fwrite, (const void* data, size_t n, size_t count, FILE* f),
          (data, n, count, f))
FORWARDED(kStdio, int, fputs, (const char* text, FILE* f), (text, f))
FORWARDED(kStdio, int, puts, (const char* text), (text))
FORWARDED(kStdio, int, fputc, (int c, FILE* f), (c, f))
FORWARDED(kStdio, int, putchar, (int c), (c))
FORWARDED(kStdio, int, vfprintf, (FILE * f, const char* format, va_list args), (f, format, args))
FORWARDED(kStdio, int, fflush, (FILE * f), (f))
#define FORMATTED(stream)                             \
  va_list args;                                       \
  va_start(args, format);                             \
  const int written = vfprintf(stream, format, args); \
  va_end(args);                                       \
  return written
DEFINE(int fprintf(FILE* f, const char* format, ...), FORMATTED(f))
DEFINE(int printf(const char* format, ...), FORMATTED(stdout))

// A system call's arguments are six machine words; passing all six on is
// what the C library's own syscall does.
long syscall(long number, ...) noexcept {
  note(LibcCall::kSyscall);
  va_list args;
  va_start(args, number);
  long a[6];
  for (long& word : a) word = va_arg(args, long);
  va_end(args);
  return REAL(syscall)(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

FORWARDED(kThread, int, pthread_create,
          (pthread_t * t, const pthread_attr_t* attributes, void* (*start)(void*), void* argument),
          (t, attributes, start, argument), noexcept)
FORWARDED(kThread, int, pthread_join, (pthread_t t, void** result), (t, result))

}  // extern "C"
