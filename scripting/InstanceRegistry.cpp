#include "scripting/InstanceRegistry.h"

#include <algorithm>

#include "core/AudioUnitTypes.h"
#include "core/QwkAuBase.h"

namespace QW {

InstanceRegistry& InstanceRegistry::instance() {
  static InstanceRegistry registry;
  return registry;
}

int32_t InstanceRegistry::KeyOf(QwkAuBase* effect) {
  int32_t key = 0;
  if (effect->GetProperty(kQwkProperty_OscPortOffset, 0, 0, &key) != kAudioUnitNoErr) return 0;
  return key;
}

const char* InstanceRegistry::ProductOf(QwkAuBase* effect) {
  const char* name = nullptr;
  if (effect->GetProperty(kQwkProperty_ProductKey, 0, 0, &name) != kAudioUnitNoErr || !name)
    return "";
  return name;
}

void InstanceRegistry::Join(QwkAuBase* effect) {
  if (!effect) return;
  std::string product = ProductOf(effect);
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::any_of(entries_.begin(), entries_.end(),
                  [&](const Entry& e) { return e.effect == effect; }))
    return;
  const auto sameProduct = std::count_if(entries_.begin(), entries_.end(),
                                         [&](const Entry& e) { return e.product == product; });
  entries_.push_back(
      Entry{effect, std::move(product), static_cast<int32_t>(sameProduct) + 1, ++joined_});
}

void InstanceRegistry::Leave(QwkAuBase* effect) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [&](const Entry& e) { return e.effect == effect; }),
                 entries_.end());
}

bool InstanceRegistry::Contains(const QwkAuBase* effect) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::any_of(entries_.begin(), entries_.end(),
                     [&](const Entry& e) { return e.effect == effect; });
}

size_t InstanceRegistry::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

void InstanceRegistry::ForEachWithKey(const char* product, int32_t key,
                                      const std::function<bool(QwkAuBase*)>& visit) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Entry& e : entries_) {
    if (product && e.product != product) continue;
    if (KeyOf(e.effect) != key) continue;
    if (!visit(e.effect)) return;
  }
}

}  // namespace QW
