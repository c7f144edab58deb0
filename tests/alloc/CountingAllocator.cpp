#include "CountingAllocator.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>

// glibc's own entry points, which the replacements below forward to. Every
// allocation function of the C library is replaced together so a pointer
// always goes back to the allocator it came from.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* p);
}

namespace {

// Only the thread that opened the scope counts: the audio thread must not
// allocate, while the effect's service threads may. A plain thread_local bool
// in the executable needs no allocation of its own to be reached.
thread_local bool tCounting = false;
std::atomic<uint64_t> gAllocations{0};
std::atomic<uint64_t> gReleases{0};

void noteAllocation() {
  if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
}

void noteRelease(const void* p) {
  if (p && tCounting) gReleases.fetch_add(1, std::memory_order_relaxed);
}

void* allocateOrThrow(size_t size, size_t alignment) {
  noteAllocation();
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
  noteRelease(p);
  __libc_free(p);
}

}  // namespace

namespace alloc_test {

CountingScope::CountingScope() {
  gAllocations.store(0);
  gReleases.store(0);
  tCounting = true;
}

CountingScope::~CountingScope() {
  tCounting = false;
}

AllocationCounts CountingScope::counts() const {
  return AllocationCounts{gAllocations.load(), gReleases.load()};
}

}  // namespace alloc_test

// --- The C library's allocation functions ---------------------------------

extern "C" {

void* malloc(size_t size) {
  noteAllocation();
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  noteAllocation();
  return __libc_calloc(count, size);
}

void* realloc(void* p, size_t size) {
  noteAllocation();
  return __libc_realloc(p, size);
}

void* memalign(size_t alignment, size_t size) {
  noteAllocation();
  return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
  noteAllocation();
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size) {
  noteAllocation();
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* p = __libc_memalign(alignment, size);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}

void free(void* p) {
  noteRelease(p);
  __libc_free(p);
}

}  // extern "C"

// --- The global operator new and delete ------------------------------------

void* operator new(size_t size) {
  return allocateOrThrow(size, 0);
}
void* operator new[](size_t size) {
  return allocateOrThrow(size, 0);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return allocateOrNull(size, 0);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return allocateOrNull(size, 0);
}
void* operator new(size_t size, std::align_val_t a) {
  return allocateOrThrow(size, static_cast<size_t>(a));
}
void* operator new[](size_t size, std::align_val_t a) {
  return allocateOrThrow(size, static_cast<size_t>(a));
}
void* operator new(size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocateOrNull(size, static_cast<size_t>(a));
}
void* operator new[](size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocateOrNull(size, static_cast<size_t>(a));
}

void operator delete(void* p) noexcept {
  release(p);
}
void operator delete[](void* p) noexcept {
  release(p);
}
void operator delete(void* p, size_t) noexcept {
  release(p);
}
void operator delete[](void* p, size_t) noexcept {
  release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  release(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  release(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  release(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
  release(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
  release(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
  release(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
  release(p);
}
