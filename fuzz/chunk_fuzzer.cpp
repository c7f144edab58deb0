// libFuzzer target: arbitrary bytes as a state chunk from the host, with
// the length the host claims varied, then audio, parameter texts and the
// chunk saved again.
//
// Input: one byte choosing how the chunk is handed over, one choosing the
// audio block size, one for the noise, then the chunk's bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "core/ParamIds.h"
#include "fuzz/FuzzSupport.h"

namespace {

constexpr int32_t kBlock = 8500;
constexpr int32_t kNameEnd = 43;  // the name's last byte is always 0

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "chunk_fuzzer: %s\n", what);
  std::abort();
}

intptr_t dispatch(vst::AEffect* e, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                  void* ptr = nullptr, float opt = 0.0f) {
  return e->dispatcher(e, opcode, index, value, ptr, opt);
}

std::vector<uint8_t> savedChunk(vst::AEffect* e) {
  void* data = nullptr;
  const intptr_t size = dispatch(e, vst::effGetChunk, 0, 0, &data);
  if (size != kBlock || !data) fail("effGetChunk did not answer the 8500-byte block");
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

uint32_t wordAt(const std::vector<uint8_t>& block, size_t offset) {
  uint32_t v = 0;
  std::memcpy(&v, block.data() + offset, sizeof v);
  return v;
}

struct Fixture {
  std::unique_ptr<QwkTonalmire> effect = fuzz::makeEffect();
  vst::AEffect* e = effect->getAeffect();
  // Every input starts from the defaults with "FFT Size" at 32, after one
  // sample at that size, so a run never depends on the inputs before it.
  std::vector<uint8_t> base = [this] {
    effect->setParameterPlain(kParamFftSize, 0.0f, false);
    return savedChunk(e);
  }();
  fuzz::AudioRun audio{e};

  void restart() {
    std::vector<uint8_t> copy = base;
    dispatch(e, vst::effSetChunk, 0, kBlock, copy.data());
    audio.run(1, 0.5f, 1, 1, false);
  }
};

Fixture& fixture() {
  static Fixture* f = new Fixture;  // kept to the end: the OSC threads run until exit
  return *f;
}

// A host text buffer: larger than any text the effect documents, and the
// answer must end inside it.
void checkText(vst::AEffect* e, int32_t opcode, int32_t index) {
  std::vector<char> text(256, '\x7f');
  dispatch(e, opcode, index, 0, text.data());
  if (!std::memchr(text.data(), '\0', text.size())) fail("parameter text not terminated");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fixture& f = fixture();
  vst::AEffect* e = f.e;
  f.restart();
  const std::vector<uint8_t> before = savedChunk(e);

  fuzz::Bytes in(data, size);
  const uint8_t mode = in.byte();
  const uint8_t blockChoice = in.byte();
  const uint8_t noise = in.byte();
  const int32_t available = static_cast<int32_t>(std::min<size_t>(in.left(), 1 << 20));

  // What the host claims and what it really hands over (an exact-size heap
  // copy, so reading past the claimed length is caught).
  int32_t claimed = available;
  bool nullData = false;
  switch (mode % 6) {
    case 0:
      break;
    case 1:
      claimed = std::max(0, available - 1 - (mode >> 3));
      break;
    case 2:  // cut on a value boundary
      claimed = std::min(available, 176 + 4 * ((mode >> 3) * 67));
      break;
    case 3:
      claimed = 0;
      break;
    case 4:
      claimed = (mode & 8) ? -1 : std::numeric_limits<int32_t>::min();
      break;
    default:
      nullData = true;
      break;
  }
  const int32_t handed = claimed > 0 ? claimed : available;
  std::vector<uint8_t> chunk(in.rest(), in.rest() + handed);
  const int32_t isPreset = (mode >> 6) & 1;
  if (dispatch(e, vst::effSetChunk, isPreset, claimed, nullData ? nullptr : chunk.data()) != 1)
    fail("effSetChunk refused a chunk");

  // The block keeps the bytes given and everything after them, with only
  // the header and the name's terminator rewritten, unless they were
  // recognised as a byte-swapped block.
  const std::vector<uint8_t> saved = savedChunk(e);
  if (std::memcmp(saved.data(), before.data(), 12) != 0) fail("header not rewritten");
  if (saved[kNameEnd] != 0) fail("name not terminated");
  const int32_t copied = nullData ? 0 : std::clamp(claimed, 0, kBlock);
  std::vector<uint8_t> given = before;
  std::copy(chunk.begin(), chunk.begin() + copied, given.begin());
  const bool swapped = wordAt(given, 0) == __builtin_bswap32(wordAt(before, 0)) &&
                       wordAt(given, 4) == __builtin_bswap32(wordAt(before, 4));
  if (!swapped) {
    for (int32_t i = 12; i < kBlock; ++i) {
      if (i != kNameEnd && saved[static_cast<size_t>(i)] != given[static_cast<size_t>(i)])
        fail("restored block differs from the bytes given");
    }
  }

  // Texts for every setting, some bins and indices no parameter has.
  const int32_t indices[] = {0,
                             1,
                             2,
                             3,
                             4,
                             5,
                             6,
                             7,
                             8,
                             9,
                             10,
                             11,
                             12,
                             13,
                             14,
                             15,
                             16,
                             17,
                             18,
                             19,
                             31,
                             32,
                             33,
                             1056,
                             2080,
                             -1,
                             kParamCount,
                             std::numeric_limits<int32_t>::min(),
                             std::numeric_limits<int32_t>::max()};
  for (int32_t index : indices) {
    checkText(e, vst::effGetParamDisplay, index);
    checkText(e, vst::effGetParamLabel, index);
    checkText(e, vst::effGetParamName, index);
  }
  for (int k = 0; k < 4; ++k)
    checkText(e, vst::effGetParamDisplay, kParamBin0Level + in.u16() % 2049);
  checkText(e, vst::effGetProgramName, 0);

  // Two frames of the largest transform and then some.
  const int32_t blocks[] = {1, 3, 31, 64, 100, 256, 512, 1000, 4096};
  const float amplitudes[] = {1.0f, 0.001f, 1000.0f, 0.0f};
  f.audio.run(noise, amplitudes[noise % 4], blocks[blockChoice % 9], 9000, true);

  // The saved block restores to exactly itself.
  std::vector<uint8_t> again = saved;
  dispatch(e, vst::effSetChunk, 0, kBlock, again.data());
  if (savedChunk(e) != saved) fail("a saved block did not restore to the same bytes");
  return 0;
}
