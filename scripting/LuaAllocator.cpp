#include "scripting/LuaAllocator.h"

#include <cstdlib>
#include <cstring>

#include "scripting/RealtimeScope.h"

namespace QW {
namespace {
// 16-byte steps up to 256 bytes (strings, closures, small tables), then
// steps of a half or a third up to 32 KiB (node and array parts).
constexpr size_t kLargeClasses[] = {384,  512,  768,  1024,  1536,  2048,  3072,
                                    4096, 6144, 8192, 12288, 16384, 24576, 32768};
constexpr size_t kSmallClassCount = 16;
constexpr size_t kAlignment = 16;
}  // namespace

LuaAllocator::LuaAllocator(size_t reservedArenas) {
  for (size_t i = 0; i < reservedArenas && i < kMaxArenas; ++i) addArena();
}

LuaAllocator::~LuaAllocator() = default;

int LuaAllocator::classOf(size_t size) {
  if (size <= 16 * kSmallClassCount) return size == 0 ? 0 : static_cast<int>((size - 1) / 16);
  for (size_t i = 0; i < sizeof kLargeClasses / sizeof kLargeClasses[0]; ++i) {
    if (size <= kLargeClasses[i]) return static_cast<int>(kSmallClassCount + i);
  }
  return -1;
}

size_t LuaAllocator::classSize(int sizeClass) {
  const auto c = static_cast<size_t>(sizeClass);
  return c < kSmallClassCount ? 16 * (c + 1) : kLargeClasses[c - kSmallClassCount];
}

void* LuaAllocator::Allocate(void* ud, void* ptr, size_t osize, size_t nsize) {
  auto* self = static_cast<LuaAllocator*>(ud);
  if (nsize == 0) {
    if (ptr) self->release(ptr, osize);
    return nullptr;
  }
  if (!ptr) return self->allocate(nsize);
  return self->reallocate(ptr, osize, nsize);
}

bool LuaAllocator::addArena() {
  if (arenaCount_ >= kMaxArenas) return false;
  arenas_[arenaCount_].reset(new (std::nothrow) unsigned char[kArenaBytes]);
  if (!arenas_[arenaCount_]) return false;
  ++arenaCount_;
  return true;
}

void LuaAllocator::Replenish(size_t bytes) {
  if (RealtimeScope::active()) return;
  size_t ready = arenaCount_ == 0 ? 0 : kArenaBytes - carveOffset_;
  for (size_t i = current_ + 1; i < arenaCount_; ++i) ready += kArenaBytes;
  while (ready < bytes && addArena()) ready += kArenaBytes;
}

bool LuaAllocator::inArena(const void* block) const {
  const auto* p = static_cast<const unsigned char*>(block);
  for (size_t i = 0; i < arenaCount_; ++i) {
    const unsigned char* base = arenas_[i].get();
    if (p >= base && p < base + kArenaBytes) return true;
  }
  return false;
}

void* LuaAllocator::carve(size_t bytes) {
  for (;;) {
    if (current_ < arenaCount_ && kArenaBytes - carveOffset_ >= bytes) {
      void* block = arenas_[current_].get() + carveOffset_;
      carveOffset_ += bytes;
      return block;
    }
    if (current_ + 1 < arenaCount_) {
      // The tail of a used-up arena is too small for this block; it stays
      // unused rather than being split across classes.
      ++current_;
      carveOffset_ = 0;
      continue;
    }
    if (RealtimeScope::active() || !addArena()) return nullptr;
  }
}

void* LuaAllocator::systemMalloc(size_t size) {
  systemAllocations_.fetch_add(1, std::memory_order_relaxed);
  if (RealtimeScope::active()) realtimeSystemAllocations_.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size);
}

void* LuaAllocator::systemRealloc(void* block, size_t size) {
  systemAllocations_.fetch_add(1, std::memory_order_relaxed);
  if (RealtimeScope::active()) realtimeSystemAllocations_.fetch_add(1, std::memory_order_relaxed);
  return std::realloc(block, size);
}

void* LuaAllocator::allocate(size_t size) {
  const int c = classOf(size);
  if (c < 0) return systemMalloc(size);
  if (FreeBlock* block = freeLists_[static_cast<size_t>(c)]) {
    freeLists_[static_cast<size_t>(c)] = block->next;
    return block;
  }
  if (void* block = carve(classSize(c))) return block;
  return systemMalloc(classSize(c));
}

void LuaAllocator::release(void* block, size_t size) {
  const int c = classOf(size);
  if (c < 0 || !inArena(block)) {
    std::free(block);
    return;
  }
  auto* node = static_cast<FreeBlock*>(block);
  node->next = freeLists_[static_cast<size_t>(c)];
  freeLists_[static_cast<size_t>(c)] = node;
}

void* LuaAllocator::reallocate(void* block, size_t oldSize, size_t newSize) {
  const int oldClass = classOf(oldSize);
  const int newClass = classOf(newSize);
  if (oldClass < 0 && newClass < 0) return systemRealloc(block, newSize);
  if (oldClass >= 0 && oldClass == newClass) return block;
  void* moved = allocate(newSize);
  if (!moved) {
    // Lua counts on shrinking never failing; the old block is big enough.
    return newSize <= oldSize ? block : nullptr;
  }
  std::memcpy(moved, block, oldSize < newSize ? oldSize : newSize);
  release(block, oldSize);
  return moved;
}

}  // namespace QW
