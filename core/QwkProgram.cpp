#include "core/QwkProgram.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

}  // namespace

void QwkProgramQWvdv1::AlignedFree::operator()(uint8_t* p) const {
  std::free(p);
}

QwkProgramQWvdv1::QwkProgramQWvdv1() {
  // 16-byte alignment lets the kernels read the bin levels with aligned
  // vector loads straight out of the block; 8512 is the size rounded up.
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
  if (count > 0) std::memcpy(block_.get(), data, static_cast<size_t>(count));

  // A block written on a big-endian machine shows its codes byte-reversed.
  uint8_t* b = block_.get();
  if (loadWord(b) == byteSwap(kMakerCode) && loadWord(b + 4) == byteSwap(kProductCode)) {
    std::fputs("QWvd vst byte swapping chunk\n", stdout);
    std::fflush(stdout);
    for (int32_t offset : {0, 4, 8}) storeWord(b + offset, byteSwap(loadWord(b + offset)));
    for (int32_t offset = kValuesOffset; offset + 4 <= kBlockSize; offset += 4)
      storeWord(b + offset, byteSwap(loadWord(b + offset)));
  }
  writeHeader();
}
