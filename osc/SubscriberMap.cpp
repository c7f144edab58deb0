#include "osc/SubscriberMap.h"

namespace QW {

void SubscriberMap::Reset(uint32_t parameterCount) {
  std::lock_guard<std::mutex> lock(lock_);
  map_.clear();
  flags_ = std::make_unique<std::atomic<uint8_t>[]>(parameterCount);
  for (uint32_t i = 0; i < parameterCount; ++i) flags_[i].store(0, std::memory_order_relaxed);
  count_ = parameterCount;
}

bool SubscriberMap::Add(int32_t index, const Subscriber& subscriber) {
  std::lock_guard<std::mutex> lock(lock_);
  const auto range = map_.equal_range(index);
  for (auto it = range.first; it != range.second; ++it)
    if (it->second == subscriber) return false;
  map_.emplace_hint(range.second, index, subscriber);
  flags_[index].store(1, std::memory_order_release);
  return true;
}

bool SubscriberMap::Remove(int32_t index, const Subscriber& subscriber) {
  std::lock_guard<std::mutex> lock(lock_);
  const auto range = map_.equal_range(index);
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second == subscriber) {
      map_.erase(it);
      if (map_.count(index) == 0) flags_[index].store(0, std::memory_order_release);
      return true;
    }
  }
  return false;
}

std::vector<Subscriber> SubscriberMap::SubscribersOf(int32_t index) const {
  std::lock_guard<std::mutex> lock(lock_);
  std::vector<Subscriber> found;
  const auto range = map_.equal_range(index);
  for (auto it = range.first; it != range.second; ++it) found.push_back(it->second);
  return found;
}

std::vector<std::pair<int32_t, Subscriber>> SubscriberMap::All() const {
  std::lock_guard<std::mutex> lock(lock_);
  return {map_.begin(), map_.end()};
}

}  // namespace QW
