#include "osc/OscInstanceDirectory.h"

#include <algorithm>

#include "core/AudioUnitTypes.h"
#include "core/QwkAuBase.h"

namespace QW {
namespace {

std::string productOf(QwkAuBase* effect) {
  const char* name = nullptr;
  if (effect->GetProperty(kQwkProperty_ProductKey, 0, 0, &name) != kAudioUnitNoErr || !name)
    return "";
  return name;
}

template <typename Taken>
int32_t smallestFree(const Taken& taken) {
  for (int32_t candidate = 1;; ++candidate)
    if (!taken(candidate)) return candidate;
}

}  // namespace

OscInstanceDirectory& OscInstanceDirectory::instance() {
  static OscInstanceDirectory directory;
  return directory;
}

void OscInstanceDirectory::Join(QwkAuBase* effect) {
  if (!effect) return;
  std::string product = productOf(effect);
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::any_of(entries_.begin(), entries_.end(),
                  [&](const Entry& e) { return e.effect == effect; }))
    return;
  entries_.push_back(Entry{effect, std::move(product)});
}

void OscInstanceDirectory::Leave(QwkAuBase* effect) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [&](const Entry& e) { return e.effect == effect; }),
                 entries_.end());
}

void OscInstanceDirectory::numberEntry(Entry& entry) {
  if (entry.productNumber == 0) {
    entry.productNumber = smallestFree([&](int32_t n) {
      return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return &e != &entry && e.product == entry.product && e.productNumber == n;
      });
    });
  }
  if (entry.processNumber == 0) {
    entry.processNumber = smallestFree([&](int32_t n) {
      return std::any_of(entries_.begin(), entries_.end(),
                         [&](const Entry& e) { return &e != &entry && e.processNumber == n; });
    });
  }
}

void OscInstanceDirectory::ForEachMatch(const std::string* product, bool every, int32_t number,
                                        const std::function<void(QwkAuBase*)>& apply) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Entry& entry : entries_) {
    numberEntry(entry);
    if (product) {
      if (entry.product != *product) continue;
      if (every) {
        apply(entry.effect);
        continue;
      }
      if (entry.productNumber != number) continue;
    } else if (entry.processNumber != number) {
      continue;
    }
    apply(entry.effect);
    return;
  }
}

int32_t OscInstanceDirectory::ProductNumberOf(const QwkAuBase* effect) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Entry& e : entries_)
    if (e.effect == effect) return e.productNumber;
  return 0;
}

int32_t OscInstanceDirectory::ProcessNumberOf(const QwkAuBase* effect) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Entry& e : entries_)
    if (e.effect == effect) return e.processNumber;
  return 0;
}

}  // namespace QW
