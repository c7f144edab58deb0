// A program: the store of one set of plain parameter values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/RelaxedAtomic.h"

class QwkProgram {
 public:
  virtual ~QwkProgram() = default;
  virtual void setParameter(int32_t index, float value) = 0;
  virtual float getParameter(int32_t index) const = 0;
  virtual int32_t reserved1() { return 0; }
  virtual int32_t reserved2() { return 0; }
  virtual void setName(const char* text) = 0;
  virtual const char* getName() const = 0;
  virtual int32_t getChunk(void** data) {
    *data = nullptr;
    return 0;
  }
  virtual bool reserved3() { return false; }
  virtual void setChunk(const void* /*data*/, int32_t /*size*/) {}
  // The values as one array in index order, where the program keeps them so.
  virtual const float* valueArray() const { return nullptr; }
};

// The one concrete program: an 8500-byte block that is at the same time the
// live store of every value and the state chunk the host saves.
//   0  maker code 'qwks'      4  product code 'QWvd'     8  version 65541
//  12  name (32 bytes, byte 43 always 0)                44  reserved (132)
// 176  2081 plain values, 32-bit floats in index order
class QwkProgramQWvdv1 : public QwkProgram {
 public:
  static constexpr int32_t kBlockSize = 8500;
  static constexpr int32_t kNameOffset = 12;
  static constexpr int32_t kNameSize = 32;
  static constexpr int32_t kValuesOffset = 176;
  static constexpr int32_t kValueCount = (kBlockSize - kValuesOffset) / 4;
  static constexpr uint32_t kMakerCode = 0x71776B73;    // 'qwks'
  static constexpr uint32_t kProductCode = 0x51577664;  // 'QWvd'
  static constexpr uint32_t kFormatVersion = 65541;

  QwkProgramQWvdv1();

  // The audio thread, the OSC threads, script timers and the editor all
  // reach the values without a lock; each access is one whole word.
  void setParameter(int32_t index, float value) override {
    rt::relaxedStore(values()[index], value);
  }
  float getParameter(int32_t index) const override { return rt::relaxedLoad(values()[index]); }
  void setName(const char* text) override;
  const char* getName() const override;
  int32_t getChunk(void** data) override;
  void setChunk(const void* data, int32_t size) override;

  float* values() { return reinterpret_cast<float*>(block_.get() + kValuesOffset); }
  const float* values() const {
    return reinterpret_cast<const float*>(block_.get() + kValuesOffset);
  }
  const float* valueArray() const override { return values(); }
  const uint8_t* block() const { return block_.get(); }

 private:
  void writeHeader();

  struct AlignedFree {
    void operator()(uint8_t* p) const;
  };
  std::unique_ptr<uint8_t[], AlignedFree> block_;
};
