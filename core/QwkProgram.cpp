#include "core/QwkProgram.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/RelaxedAtomic.h"

namespace {

uint32_t byteSwap(uint32_t v) {
  return __builtin_bswap32(v);
}

uint32_t loadWord(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void storeWord(uint8_t* p, uint32_t v) {
  std::memcpy(p, &v, sizeof v);
}

// The bits of one live value, read and written whole (see setParameter).
uint32_t loadValueBits(const float& value) {
  const float v = rt::relaxedLoad(value);
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

void storeValueBits(float& value, uint32_t bits) {
  float v;
  std::memcpy(&v, &bits, sizeof v);
  rt::relaxedStore(value, v);
}

}  // namespace

void QwkProgramQWvdv1::AlignedFree::operator()(uint8_t* p) const {
  std::free(p);
}

QwkProgramQWvdv1::QwkProgramQWvdv1() {
  // 16-byte aligned, with the size rounded up to 8512, so that every value
  // is a naturally aligned word that can be read and written whole.
  void* memory = std::aligned_alloc(16, 8512);
  if (!memory) throw std::bad_alloc();
  block_.reset(static_cast<uint8_t*>(memory));
  std::memset(block_.get(), 0, 8512);
  writeHeader();
}

void QwkProgramQWvdv1::writeHeader() {
  storeWord(block_.get() + 0, kMakerCode);
  storeWord(block_.get() + 4, kProductCode);
  storeWord(block_.get() + 8, kFormatVersion);
  block_[kNameOffset + kNameSize - 1] = 0;
}

void QwkProgramQWvdv1::setName(const char* text) {
  char* name = reinterpret_cast<char*>(block_.get() + kNameOffset);
  std::memset(name, 0, kNameSize);
  if (text) std::strncpy(name, text, kNameSize);
  name[kNameSize - 1] = '\0';
}

const char* QwkProgramQWvdv1::getName() const {
  return reinterpret_cast<const char*>(block_.get() + kNameOffset);
}

int32_t QwkProgramQWvdv1::getChunk(void** data) {
  *data = block_.get();
  return kBlockSize;
}

void QwkProgramQWvdv1::setChunk(const void* data, int32_t size) {
  const int32_t count = data ? std::clamp(size, 0, kBlockSize) : 0;
  const auto* from = static_cast<const uint8_t*>(data);
  uint8_t* b = block_.get();
  const int32_t headerBytes = std::min(count, kValuesOffset);
  if (headerBytes > 0) std::memcpy(b, from, static_cast<size_t>(headerBytes));
  // Other threads keep reading the values while they are replaced, so each
  // is stored whole. A chunk cut inside a value changes only the bytes it
  // has of that value.
  float* const v = values();
  for (int32_t offset = kValuesOffset; offset < count; offset += 4) {
    float& value = v[(offset - kValuesOffset) / 4];
    const int32_t bytes = std::min(4, count - offset);
    uint32_t bits = bytes == 4 ? 0 : loadValueBits(value);
    std::memcpy(&bits, from + offset, static_cast<size_t>(bytes));
    storeValueBits(value, bits);
  }

  // A block written on a big-endian machine shows its codes byte-reversed.
  if (loadWord(b) == byteSwap(kMakerCode) && loadWord(b + 4) == byteSwap(kProductCode)) {
    std::fputs("QWvd vst byte swapping chunk\n", stdout);
    std::fflush(stdout);
    for (int32_t offset : {0, 4, 8}) storeWord(b + offset, byteSwap(loadWord(b + offset)));
    for (int32_t i = 0; i < kValueCount; ++i) storeValueBits(v[i], byteSwap(loadValueBits(v[i])));
  }
  writeHeader();
}
