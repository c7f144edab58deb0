// One per-channel processing object of an effect.
#pragma once

#include <cstdint>

class QwkAuBase;

class AUKernelBase {
 public:
  explicit AUKernelBase(QwkAuBase* owner) : owner_(owner) {}
  virtual ~AUKernelBase() = default;
  AUKernelBase(const AUKernelBase&) = delete;
  AUKernelBase& operator=(const AUKernelBase&) = delete;

  virtual void Reset() = 0;
  // in/out are the whole host block's channel buffers; the kernel applies the
  // running offset of the current block itself.
  virtual void Process(const float* in, float* out, uint32_t frames, uint32_t channels,
                       bool& silence) = 0;

 protected:
  QwkAuBase* owner_;
};
