// libFuzzer target: any bytes as a state chunk, with the length the host
// claims varied, then parameter texts, audio and the chunk saved again.
// Input: how the chunk is handed over, the block size, the noise, the chunk.
#include <cstring>
#include <limits>

#include "core/ParamIds.h"
#include "fuzz/FuzzSupport.h"

namespace {

constexpr int32_t kBlock = 8500;
constexpr int32_t kNameEnd = 43;  // the name's last byte is always 0

std::vector<uint8_t> savedChunk(vst::AEffect* e) {
  void* data = nullptr;
  const intptr_t size = fuzz::dispatch(e, vst::effGetChunk, 0, 0, &data);
  if (size != kBlock || !data) fuzz::fail("effGetChunk did not answer the 8500-byte block");
  return std::vector<uint8_t>(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

uint32_t wordAt(const std::vector<uint8_t>& block, size_t offset) {
  uint32_t v = 0;
  std::memcpy(&v, block.data() + offset, sizeof v);
  return v;
}

// A host text buffer larger than any text the effect documents; the answer
// must end inside it.
void checkText(vst::AEffect* e, int32_t opcode, int32_t index) {
  std::vector<char> text(256, '\x7f');
  fuzz::dispatch(e, opcode, index, 0, text.data());
  if (!std::memchr(text.data(), '\0', text.size())) fuzz::fail("parameter text not terminated");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QwkTonalmire* effect = fuzz::makeEffect().release();
  vst::AEffect* e = effect->getAeffect();
  // Every input starts from the defaults with "FFT Size" at 32, after one
  // sample at that size, so a run never depends on the inputs before it.
  static const std::vector<uint8_t> base = [&] {
    effect->setParameterPlain(kParamFftSize, 0.0f, false);
    return savedChunk(e);
  }();
  std::vector<uint8_t> copy = base;
  fuzz::dispatch(e, vst::effSetChunk, 0, kBlock, copy.data());
  fuzz::runAudio(e, 1, 0.5f, 1, 1, false);
  const std::vector<uint8_t> before = savedChunk(e);

  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  fuzz::Bytes in(data, size);
  const uint8_t mode = in.byte(), blockChoice = in.byte(), noise = in.byte();
  const auto available = static_cast<int32_t>(std::min<size_t>(in.left(), 1 << 20));
  // What the host claims and what it hands over (an exact-size copy, so
  // reading past the claimed length is caught).
  const int32_t claims[] = {available,
                            std::max(0, available - 1 - (mode >> 3)),
                            std::min(available, 176 + 4 * ((mode >> 3) * 67)),  // a value boundary
                            0,
                            (mode & 8) ? -1 : kMin,
                            available};
  const int32_t claimed = claims[mode % 6];
  const bool nullData = mode % 6 == 5;
  std::vector<uint8_t> chunk(in.rest(), in.rest() + (claimed > 0 ? claimed : available));
  if (fuzz::dispatch(e, vst::effSetChunk, (mode >> 6) & 1, claimed,
                     nullData ? nullptr : chunk.data()) != 1)
    fuzz::fail("effSetChunk refused a chunk");

  // The block keeps the bytes given and everything after them, with only
  // the header and the name's terminator rewritten, unless they were
  // recognised as a byte-swapped block.
  const std::vector<uint8_t> saved = savedChunk(e);
  if (std::memcmp(saved.data(), before.data(), 12) != 0) fuzz::fail("header not rewritten");
  if (saved[kNameEnd] != 0) fuzz::fail("name not terminated");
  std::vector<uint8_t> given = before;
  std::copy_n(chunk.begin(), nullData ? 0 : std::clamp(claimed, 0, kBlock), given.begin());
  const bool swapped = wordAt(given, 0) == __builtin_bswap32(wordAt(before, 0)) &&
                       wordAt(given, 4) == __builtin_bswap32(wordAt(before, 4));
  for (int32_t i = 12; i < kBlock && !swapped; ++i)
    if (i != kNameEnd && saved[static_cast<size_t>(i)] != given[static_cast<size_t>(i)])
      fuzz::fail("restored block differs from the bytes given");

  // Texts for every setting, some bins and indices no parameter has.
  std::vector<int32_t> indices = {1056, 2080, -1, kParamCount, kMin, INT32_MAX};
  for (int32_t i = 0; i < 34; ++i) indices.push_back(i);
  for (int k = 0; k < 4; ++k) indices.push_back(kParamBin0Level + in.u16() % 2049);
  for (int32_t index : indices)
    for (int32_t opcode : {vst::effGetParamDisplay, vst::effGetParamLabel, vst::effGetParamName})
      checkText(e, opcode, index);
  checkText(e, vst::effGetProgramName, 0);

  // Two frames of the largest transform and then some.
  const int32_t blocks[] = {1, 3, 31, 64, 100, 256, 512, 1000, 4096};
  const float amplitudes[] = {1.0f, 0.001f, 1000.0f, 0.0f};
  fuzz::runAudio(e, noise, amplitudes[noise % 4], blocks[blockChoice % 9], 9000);

  // The saved block restores to exactly itself.
  std::vector<uint8_t> again = saved;
  fuzz::dispatch(e, vst::effSetChunk, 0, kBlock, again.data());
  if (savedChunk(e) != saved) fuzz::fail("a saved block did not restore to the same bytes");
  return 0;
}
