// Every effect instance of the process, so that a script in one instance can
// reach the others by their instance key (the integer part of their "OSC
// Port Offset"). Instances join when they are made and leave before they
// start to come apart.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class QwkAuBase;

namespace QW {

class InstanceRegistry {
 public:
  static InstanceRegistry& instance();

  void Join(QwkAuBase* effect);
  // Once this returns, no "others" operation touches the effect any more.
  void Leave(QwkAuBase* effect);
  bool Contains(const QwkAuBase* effect) const;
  size_t size() const;

  // Calls visit(effect) under the registry's lock for every instance of
  // product whose key matches, in joining order, until visit answers false.
  // visit must not raise Lua errors (the lock would stay held).
  void ForEachWithKey(const char* product, int32_t key,
                      const std::function<bool(QwkAuBase*)>& visit) const;

  // The effect's instance key (property 64009) and product key (64004,
  // empty when it has none).
  static int32_t KeyOf(QwkAuBase* effect);
  static const char* ProductOf(QwkAuBase* effect);

 private:
  struct Entry {
    QwkAuBase* effect;
    std::string product;
    int32_t productNumber;  // 1-based among instances of the same product
    int32_t processNumber;  // 1-based among all instances
  };

  InstanceRegistry() = default;

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  int32_t joined_ = 0;
};

}  // namespace QW
