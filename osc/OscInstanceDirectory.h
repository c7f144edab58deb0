// The effect instances of the process as the "/qwks/" addresses see them.
// Each instance gets two numbers the first time an address scan reaches
// it: the smallest number from 1 up that no other instance of its product
// holds, and the smallest that no instance at all holds. It keeps both
// until it leaves, so an address stays with its instance while others come
// and go.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class QwkAuBase;

namespace QW {

class OscInstanceDirectory {
 public:
  static OscInstanceDirectory& instance();

  void Join(QwkAuBase* effect);
  // Once this returns, no scan reaches the effect any more.
  void Leave(QwkAuBase* effect);

  // Calls apply on every matching instance, under the directory's lock, in
  // joining order: with a product, the instances of that product with that
  // per-product number (or all of them when every); without one, the
  // instance with that process-wide number. A numbered match ends the scan.
  void ForEachMatch(const std::string* product, bool every, int32_t number,
                    const std::function<void(QwkAuBase*)>& apply);

  // The numbers handed out so far (0: none yet); for tests and diagnostics.
  int32_t ProductNumberOf(const QwkAuBase* effect) const;
  int32_t ProcessNumberOf(const QwkAuBase* effect) const;

 private:
  struct Entry {
    QwkAuBase* effect;
    std::string product;
    int32_t productNumber = 0;
    int32_t processNumber = 0;
  };

  OscInstanceDirectory() = default;
  void numberEntry(Entry& entry);

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace QW
