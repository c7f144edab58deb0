// Small reference-counted strings and arrays for property answers. A receiver
// of a string or array from a property answer releases it when done.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CFType {
 public:
  CFType(const CFType&) = delete;
  CFType& operator=(const CFType&) = delete;

  void retain() { count_.fetch_add(1, std::memory_order_relaxed); }
  // Deletes the object when the last reference goes.
  void release();
  uint32_t retainCount() const { return count_.load(std::memory_order_relaxed); }

 protected:
  CFType() = default;
  virtual ~CFType() = default;

 private:
  std::atomic<uint32_t> count_{1};
};

class CFString : public CFType {
 public:
  static CFString* create(const char* text);  // count 1
  // The same object for the same literal address, for the life of the
  // process. The map keeps its own reference; this returns it unretained.
  static CFString* constant(const char* literal);

  const char* c_str() const { return text_.c_str(); }
  size_t length() const { return text_.size(); }

 private:
  explicit CFString(const char* text) : text_(text ? text : "") {}
  std::string text_;
};

class CFArray : public CFType {
 public:
  // A new array (count 1) holding fresh copies of the texts (each count 1).
  static CFArray* createWithStrings(const char* const* texts, size_t count);
  static CFArray* create();

  // Takes over the caller's reference to item.
  void append(CFType* item) { items_.push_back(item); }
  size_t count() const { return items_.size(); }
  CFType* at(size_t i) const { return i < items_.size() ? items_[i] : nullptr; }
  const CFString* stringAt(size_t i) const;

 protected:
  ~CFArray() override;

 private:
  CFArray() = default;
  std::vector<CFType*> items_;
};

// RAII holder for one reference.
template <typename T>
class CFRef {
 public:
  CFRef() = default;
  explicit CFRef(T* adopted) : p_(adopted) {}
  ~CFRef() { reset(); }
  CFRef(const CFRef&) = delete;
  CFRef& operator=(const CFRef&) = delete;
  CFRef(CFRef&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  CFRef& operator=(CFRef&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = other.p_;
      other.p_ = nullptr;
    }
    return *this;
  }
  void reset(T* adopted = nullptr) {
    if (p_) p_->release();
    p_ = adopted;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** out() {
    reset();
    return &p_;
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};
