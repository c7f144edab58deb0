#include "core/CFTypes.h"

#include <map>
#include <mutex>

void CFType::release() {
  if (count_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

CFString* CFString::create(const char* text) {
  return new CFString(text);
}

CFString* CFString::constant(const char* literal) {
  // Process-wide: constant strings outlive every instance and go only when
  // the library is unloaded.
  static std::mutex lock;
  static std::map<const char*, CFRef<CFString>> table;
  const std::lock_guard<std::mutex> guard(lock);
  auto found = table.find(literal);
  if (found != table.end()) return found->second.get();
  CFString* made = new CFString(literal);
  table.emplace(literal, CFRef<CFString>(made));
  return made;
}

CFArray* CFArray::create() {
  return new CFArray();
}

CFArray* CFArray::createWithStrings(const char* const* texts, size_t count) {
  CFArray* array = new CFArray();
  array->items_.reserve(count);
  for (size_t i = 0; i < count; ++i) array->items_.push_back(CFString::create(texts[i]));
  return array;
}

const CFString* CFArray::stringAt(size_t i) const {
  return dynamic_cast<const CFString*>(at(i));
}

CFArray::~CFArray() {
  for (CFType* item : items_) item->release();
}
