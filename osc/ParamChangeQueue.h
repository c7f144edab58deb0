// Parameter changes on their way from whoever made them (the audio thread
// among them) to the notify thread. Writers never wait and never allocate:
// they claim a slot with one compare-and-swap, and a full ring refuses the
// change instead of blocking. One reader.
#pragma once

#include <atomic>
#include <cstdint>

namespace QW {

class ParamChangeQueue {
 public:
  static constexpr uint32_t kSlots = 64;
  // One slot always stays free, as in the ring this one replaces: 63 changes
  // can wait, the 64th is refused.
  static constexpr uint32_t kCapacity = kSlots - 1;

  struct Change {
    int32_t index;
    float value;
  };

  ParamChangeQueue();
  ParamChangeQueue(const ParamChangeQueue&) = delete;
  ParamChangeQueue& operator=(const ParamChangeQueue&) = delete;

  // Any thread. False when the ring is full (the change is not kept).
  bool TryPush(const Change& change) noexcept;
  // The one reader. False when nothing is waiting.
  bool TryPop(Change& change) noexcept;

 private:
  struct Slot {
    // Equal to the write position that may fill the slot next; one more
    // than that once it is filled and not yet read.
    std::atomic<uint32_t> sequence;
    Change change;
  };

  Slot slots_[kSlots];
  alignas(64) std::atomic<uint32_t> writePosition_{0};
  alignas(64) std::atomic<uint32_t> readPosition_{0};
};

}  // namespace QW
