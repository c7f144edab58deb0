#include "osc/ParamChangeQueue.h"

namespace QW {

ParamChangeQueue::ParamChangeQueue() {
  for (uint32_t i = 0; i < kSlots; ++i) {
    slots_[i].sequence.store(i, std::memory_order_relaxed);
    slots_[i].change = Change{0, 0.0f};
  }
}

bool ParamChangeQueue::TryPush(const Change& change) noexcept {
  uint32_t position = writePosition_.load(std::memory_order_relaxed);
  Slot* slot = nullptr;
  for (;;) {
    // Signed distance: a stale position may lag behind the reader.
    const auto waiting =
        static_cast<int32_t>(position - readPosition_.load(std::memory_order_acquire));
    if (waiting >= static_cast<int32_t>(kCapacity)) return false;
    slot = &slots_[position % kSlots];
    const uint32_t sequence = slot->sequence.load(std::memory_order_acquire);
    const auto lag = static_cast<int32_t>(sequence - position);
    if (lag == 0) {
      if (writePosition_.compare_exchange_weak(position, position + 1, std::memory_order_relaxed))
        break;
    } else if (lag < 0) {
      return false;  // the slot still holds a change the reader has not taken
    } else {
      position = writePosition_.load(std::memory_order_relaxed);
    }
  }
  slot->change = change;
  slot->sequence.store(position + 1, std::memory_order_release);
  return true;
}

bool ParamChangeQueue::TryPop(Change& change) noexcept {
  const uint32_t position = readPosition_.load(std::memory_order_relaxed);
  Slot& slot = slots_[position % kSlots];
  const uint32_t sequence = slot.sequence.load(std::memory_order_acquire);
  if (static_cast<int32_t>(sequence - (position + 1)) < 0) return false;
  change = slot.change;
  slot.sequence.store(position + kSlots, std::memory_order_release);
  readPosition_.store(position + 1, std::memory_order_release);
  return true;
}

}  // namespace QW
