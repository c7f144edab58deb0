// The memory of the scripting Lua state. Small blocks come from size-class
// free lists carved out of large arenas that are reserved up front and added
// only outside real-time stretches, so scripts running on the audio thread
// recycle memory instead of calling the system allocator. Blocks above the
// largest class, and small blocks when every arena is used up on the audio
// thread, fall back to malloc (counted, so tests can see it).
//
// Not thread-safe by itself: the Lua state it serves is only entered under
// the helper's Lua lock.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace QW {

class LuaAllocator {
 public:
  static constexpr size_t kArenaBytes = size_t{1} << 20;
  static constexpr size_t kMaxArenas = 64;
  static constexpr size_t kLargestClass = 32768;

  explicit LuaAllocator(size_t reservedArenas = 2);
  ~LuaAllocator();
  LuaAllocator(const LuaAllocator&) = delete;
  LuaAllocator& operator=(const LuaAllocator&) = delete;

  // The lua_Alloc entry; ud is the allocator.
  static void* Allocate(void* ud, void* ptr, size_t osize, size_t nsize);

  // Adds arenas (outside real-time stretches only) until at least `bytes`
  // of fresh arena space are ready.
  void Replenish(size_t bytes = kArenaBytes);

  // System allocator calls made for Lua since construction, all and those
  // made inside a RealtimeScope.
  size_t systemAllocations() const { return systemAllocations_.load(std::memory_order_relaxed); }
  size_t realtimeSystemAllocations() const {
    return realtimeSystemAllocations_.load(std::memory_order_relaxed);
  }
  size_t arenaCount() const { return arenaCount_; }

 private:
  static constexpr size_t kClassCount = 30;
  struct FreeBlock {
    FreeBlock* next;
  };

  static int classOf(size_t size);
  static size_t classSize(int sizeClass);

  void* allocate(size_t size);
  void release(void* block, size_t size);
  void* reallocate(void* block, size_t oldSize, size_t newSize);
  void* carve(size_t bytes);
  bool addArena();
  bool inArena(const void* block) const;
  void* systemMalloc(size_t size);
  void* systemRealloc(void* block, size_t size);

  std::array<std::unique_ptr<unsigned char[]>, kMaxArenas> arenas_;
  size_t arenaCount_ = 0;
  size_t current_ = 0;      // arena being carved
  size_t carveOffset_ = 0;  // bytes of it handed out
  std::array<FreeBlock*, kClassCount> freeLists_{};
  std::atomic<size_t> systemAllocations_{0};
  std::atomic<size_t> realtimeSystemAllocations_{0};
};

}  // namespace QW
