// Counts every heap allocation and release made by the thread that holds an
// open counting scope. The replacements of malloc and the global operator
// new live in CountingAllocator.cpp; link it into an executable of its own so
// no other test binary loses its usual allocator (or its sanitizer's).
#pragma once

#include <cstdint>

namespace alloc_test {

struct AllocationCounts {
  uint64_t allocations = 0;
  uint64_t releases = 0;
};

// Counting on this thread starts with the scope and stops when it closes;
// scopes do not nest, and one thread counts at a time.
class CountingScope {
 public:
  CountingScope();
  ~CountingScope();
  CountingScope(const CountingScope&) = delete;
  CountingScope& operator=(const CountingScope&) = delete;

  AllocationCounts counts() const;
};

}  // namespace alloc_test
