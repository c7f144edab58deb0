// Who wants to hear about which parameter: subscribers by parameter index,
// in the order they subscribed, and one flag per parameter telling the
// thread that changes it whether anybody listens. The receive thread
// changes the map, the notify thread reads it, under one lock; the flags
// are read without it (from the audio thread too).
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "osc/Ipv4Endpoint.h"

namespace QW {

struct Subscriber {
  Ipv4Endpoint endpoint;
  std::string path;  // the OSC address notifications are sent to

  bool operator==(const Subscriber& other) const {
    return endpoint == other.endpoint && path == other.path;
  }
};

class SubscriberMap {
 public:
  // Sizes the flags to the parameter count and clears everything. Only
  // before the threads that read the flags run.
  void Reset(uint32_t parameterCount);
  uint32_t parameterCount() const { return count_; }

  // Adds the subscriber unless the index already has an equal one; false
  // then. The index must be below the parameter count.
  bool Add(int32_t index, const Subscriber& subscriber);
  // Removes the first equal subscriber of index; false when there is none.
  bool Remove(int32_t index, const Subscriber& subscriber);

  // Lock-free; false for an index out of range.
  bool IsSubscribed(int32_t index) const noexcept {
    return index >= 0 && static_cast<uint32_t>(index) < count_ &&
           flags_[index].load(std::memory_order_acquire) != 0;
  }

  std::vector<Subscriber> SubscribersOf(int32_t index) const;
  // Every subscription, by index and then in the order added.
  std::vector<std::pair<int32_t, Subscriber>> All() const;

 private:
  mutable std::mutex lock_;
  std::multimap<int32_t, Subscriber> map_;
  std::unique_ptr<std::atomic<uint8_t>[]> flags_;
  uint32_t count_ = 0;
};

}  // namespace QW
