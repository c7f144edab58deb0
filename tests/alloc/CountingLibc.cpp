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
  if (locking)
    note(lua ? LibcCall::kLuaLock : LibcCall::kOtherLock);
  else
    note(lua ? LibcCall::kLuaUnlock : LibcCall::kOtherUnlock);
}

// The C library's own function of that name, looked up once. dlsym never
// comes back here: the loader's locks and lookups bind inside the library.
template <typename Function>
Function next(std::atomic<void*>& slot, const char* name) {
  void* f = slot.load(std::memory_order_acquire);
  if (!f) {
    f = dlsym(RTLD_NEXT, name);
    slot.store(f, std::memory_order_release);
  }
  return reinterpret_cast<Function>(f);
}

// The C library's function of that name; each use has a slot of its own.
#define REAL(name)                               \
  ([]() {                                        \
    static std::atomic<void*> slot{nullptr};     \
    return next<decltype(&::name)>(slot, #name); \
  }())

}  // namespace

namespace alloc_test {

uint64_t LibcCounts::allBut(LibcCall a, LibcCall b) const {
  uint64_t sum = 0;
  for (int i = 0; i < static_cast<int>(LibcCall::kCount); ++i)
    if (i != static_cast<int>(a) && i != static_cast<int>(b)) sum += calls[i];
  return sum;
}

std::string LibcCounts::describe() const {
  static const char* const kNames[] = {
      "allocation",     "release",        "Lua lock",       "Lua unlock",
      "other lock",     "other unlock",   "condition wait", "condition wake",
      "semaphore wait", "semaphore post", "sleep",          "file I/O",
      "socket I/O",     "stdio",          "syscall",        "thread"};
  static_assert(sizeof kNames / sizeof kNames[0] == static_cast<size_t>(LibcCall::kCount));
  std::string text;
  for (int i = 0; i < static_cast<int>(LibcCall::kCount); ++i) {
    if (calls[i] == 0) continue;
    if (!text.empty()) text += ", ";
    text += std::string(kNames[i]) + " " + std::to_string(calls[i]);
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

// --- Allocation --------------------------------------------------------------

namespace {

void* allocateOrThrow(size_t size, size_t alignment) {
  note(LibcCall::kAllocation);
  if (size == 0) size = 1;
  void* p = alignment <= alignof(std::max_align_t) ? __libc_malloc(size)
                                                   : __libc_memalign(alignment, size);
  if (!p) throw std::bad_alloc();
  return p;
}

void* allocateOrNull(size_t size, size_t alignment) noexcept {
  try {
    return allocateOrThrow(size, alignment);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void release(void* p) noexcept {
  if (p) note(LibcCall::kRelease);
  __libc_free(p);
}

}  // namespace

extern "C" {
void* malloc(size_t size) {
  note(LibcCall::kAllocation);
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  note(LibcCall::kAllocation);
  return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
  note(LibcCall::kAllocation);
  return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
  note(LibcCall::kAllocation);
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  note(LibcCall::kAllocation);
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
  note(LibcCall::kAllocation);
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* p = __libc_memalign(alignment, size);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}
void free(void* p) {
  release(p);
}
}  // extern "C"

// Every form of the global operator new and delete, plain and array.
#define COUNTED_NEW(suffix)                                                                    \
  void* operator new suffix(size_t size) {                                                     \
    return allocateOrThrow(size, 0);                                                           \
  }                                                                                            \
  void* operator new suffix(size_t size, const std::nothrow_t&) noexcept {                     \
    return allocateOrNull(size, 0);                                                            \
  }                                                                                            \
  void* operator new suffix(size_t size, std::align_val_t a) {                                 \
    return allocateOrThrow(size, static_cast<size_t>(a));                                      \
  }                                                                                            \
  void* operator new suffix(size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { \
    return allocateOrNull(size, static_cast<size_t>(a));                                       \
  }                                                                                            \
  void operator delete suffix(void* p) noexcept {                                              \
    release(p);                                                                                \
  }                                                                                            \
  void operator delete suffix(void* p, size_t) noexcept {                                      \
    release(p);                                                                                \
  }                                                                                            \
  void operator delete suffix(void* p, const std::nothrow_t&) noexcept {                       \
    release(p);                                                                                \
  }                                                                                            \
  void operator delete suffix(void* p, std::align_val_t) noexcept {                            \
    release(p);                                                                                \
  }                                                                                            \
  void operator delete suffix(void* p, size_t, std::align_val_t) noexcept {                    \
    release(p);                                                                                \
  }                                                                                            \
  void operator delete suffix(void* p, std::align_val_t, const std::nothrow_t&) noexcept {     \
    release(p);                                                                                \
  }
COUNTED_NEW()
COUNTED_NEW([])

// --- Replacements ----------------------------------------------------------
// Same signatures as the C library's; each notes the call, then forwards.

// A replacement that only counts: the kind, the C library's declaration
// split into its parts, the arguments to forward, and its exception
// specification when the library declares one.
#define COUNTED(kind, result, name, params, args, ...) \
  result name params __VA_ARGS__ {                     \
    note(LibcCall::kind);                              \
    return REAL(name) args;                            \
  }

extern "C" {

int pthread_mutex_lock(pthread_mutex_t* m) noexcept {
  noteMutex(m, true);
  return REAL(pthread_mutex_lock)(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) noexcept {
  noteMutex(m, true);
  return REAL(pthread_mutex_trylock)(m);
}
int pthread_mutex_timedlock(pthread_mutex_t* m, const timespec* t) noexcept {
  noteMutex(m, true);
  return REAL(pthread_mutex_timedlock)(m, t);
}
int pthread_mutex_unlock(pthread_mutex_t* m) noexcept {
  noteMutex(m, false);
  return REAL(pthread_mutex_unlock)(m);
}
COUNTED(kOtherLock, int, pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l), noexcept)
COUNTED(kOtherLock, int, pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l), noexcept)
COUNTED(kOtherUnlock, int, pthread_rwlock_unlock, (pthread_rwlock_t * l), (l), noexcept)
COUNTED(kOtherLock, int, pthread_spin_lock, (pthread_spinlock_t * l), (l), noexcept)
COUNTED(kOtherUnlock, int, pthread_spin_unlock, (pthread_spinlock_t * l), (l), noexcept)

COUNTED(kConditionWait, int, pthread_cond_wait, (pthread_cond_t * c, pthread_mutex_t* m), (c, m))
COUNTED(kConditionWait, int, pthread_cond_timedwait,
        (pthread_cond_t * c, pthread_mutex_t* m, const timespec* t), (c, m, t))
COUNTED(kConditionWake, int, pthread_cond_signal, (pthread_cond_t * c), (c), noexcept)
COUNTED(kConditionWake, int, pthread_cond_broadcast, (pthread_cond_t * c), (c), noexcept)

COUNTED(kSemaphoreWait, int, sem_wait, (sem_t * s), (s))
COUNTED(kSemaphoreWait, int, sem_timedwait, (sem_t * s, const timespec* t), (s, t))
COUNTED(kSemaphoreWait, int, sem_trywait, (sem_t * s), (s), noexcept)
COUNTED(kSemaphorePost, int, sem_post, (sem_t * s), (s), noexcept)

COUNTED(kSleep, int, nanosleep, (const timespec* t, timespec* left), (t, left))
COUNTED(kSleep, int, clock_nanosleep,
        (clockid_t clock, int flags, const timespec* t, timespec* left), (clock, flags, t, left))
COUNTED(kSleep, int, usleep, (useconds_t us), (us))
COUNTED(kSleep, unsigned int, sleep, (unsigned int s), (s))
COUNTED(kSleep, int, sched_yield, (), (), noexcept)

COUNTED(kFileIo, ssize_t, read, (int fd, void* buffer, size_t size), (fd, buffer, size))
COUNTED(kFileIo, ssize_t, write, (int fd, const void* buffer, size_t size), (fd, buffer, size))
// The mode argument is there only when the flags ask for one.
int open(const char* path, int flags, ...) {
  note(LibcCall::kFileIo);
  mode_t mode = 0;
  if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  return REAL(open)(path, flags, mode);
}
int openat(int dir, const char* path, int flags, ...) {
  note(LibcCall::kFileIo);
  mode_t mode = 0;
  if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  return REAL(openat)(dir, path, flags, mode);
}
COUNTED(kFileIo, int, close, (int fd), (fd))
COUNTED(kFileIo, int, poll, (pollfd * fds, nfds_t count, int timeout), (fds, count, timeout))

COUNTED(kSocketIo, ssize_t, send, (int fd, const void* buffer, size_t size, int flags),
        (fd, buffer, size, flags))
COUNTED(kSocketIo, ssize_t, sendto,
        (int fd, const void* buffer, size_t size, int flags, const sockaddr* to, socklen_t length),
        (fd, buffer, size, flags, to, length))
COUNTED(kSocketIo, ssize_t, recv, (int fd, void* buffer, size_t size, int flags),
        (fd, buffer, size, flags))
COUNTED(kSocketIo, ssize_t, recvfrom,
        (int fd, void* buffer, size_t size, int flags, sockaddr* from, socklen_t* length),
        (fd, buffer, size, flags, from, length))

COUNTED(kStdio, FILE*, fopen, (const char* path, const char* mode), (path, mode))
COUNTED(kStdio, size_t, fwrite, (const void* data, size_t size, size_t count, FILE* stream),
        (data, size, count, stream))
COUNTED(kStdio, int, fputs, (const char* text, FILE* stream), (text, stream))
COUNTED(kStdio, int, puts, (const char* text), (text))
COUNTED(kStdio, int, fputc, (int c, FILE* stream), (c, stream))
COUNTED(kStdio, int, putchar, (int c), (c))
COUNTED(kStdio, int, vfprintf, (FILE * stream, const char* format, va_list args),
        (stream, format, args))
int fprintf(FILE* stream, const char* format, ...) {
  note(LibcCall::kStdio);
  va_list args;
  va_start(args, format);
  const int written = REAL(vfprintf)(stream, format, args);
  va_end(args);
  return written;
}
int printf(const char* format, ...) {
  note(LibcCall::kStdio);
  va_list args;
  va_start(args, format);
  const int written = REAL(vfprintf)(stdout, format, args);
  va_end(args);
  return written;
}
COUNTED(kStdio, int, fflush, (FILE * stream), (stream))

// A system call's arguments are six machine words; reading all six passes
// on whatever the caller gave, as the C library's own syscall does.
long syscall(long number, ...) noexcept {
  note(LibcCall::kSyscall);
  va_list args;
  va_start(args, number);
  long a[6];
  for (long& word : a) word = va_arg(args, long);
  va_end(args);
  return REAL(syscall)(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                   void* argument) noexcept {
  note(LibcCall::kThread);
  return REAL(pthread_create)(thread, attributes, start, argument);
}
COUNTED(kThread, int, pthread_join, (pthread_t thread, void** result), (thread, result))

}  // extern "C"
