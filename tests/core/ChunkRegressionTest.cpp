// State chunks found by chunk_fuzzer. A chunk is restored byte for byte, so
// every value in it must be made safe where the audio path uses it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "tests/core/TestEffect.h"

namespace {

// Restores the effect's own chunk with one bin level replaced, then runs
// three 4096-sample stereo blocks of noise; answers the first non-finite
// output sample's index, or -1.
long firstNonFiniteAfterRestoring(int bin, float level) {
  EffectFixture f;
  void* data = nullptr;
  const int32_t size = f.effect->getChunk(&data, false);
  std::vector<uint8_t> chunk(static_cast<const uint8_t*>(data),
                             static_cast<const uint8_t*>(data) + size);
  std::memcpy(chunk.data() + 176 + 4 * (kParamBin0Level + bin), &level, sizeof level);
  EXPECT_EQ(f.dispatch(vst::effSetChunk, 0, size, chunk.data()), 1);
  f.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
  f.dispatch(vst::effSetBlockSize, 0, 4096);
  f.dispatch(vst::effMainsChanged, 0, 1);

  std::vector<float> in(4096), left(4096), right(4096);
  unsigned seed = 1;
  long index = 0;
  for (int block = 0; block < 3; ++block) {
    for (float& x : in) {
      seed = seed * 1664525u + 1013904223u;
      x = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
    }
    float* ins[2] = {in.data(), in.data()};
    float* outs[2] = {left.data(), right.data()};
    f.effect->processReplacing(ins, outs, 4096);
    for (size_t i = 0; i < left.size(); ++i, ++index) {
      if (!std::isfinite(left[i]) || !std::isfinite(right[i])) return index;
    }
  }
  return -1;
}

TEST(ChunkRegression, HugeNaNOrInfiniteRestoredBinLevelsKeepTheOutputFinite) {
  const std::pair<int, float> cases[] = {{150, 3.0e38f},
                                         {20, std::numeric_limits<float>::quiet_NaN()},
                                         {300, std::numeric_limits<float>::infinity()},
                                         {2, -3.0e38f}};
  for (const auto& [bin, level] : cases)
    EXPECT_EQ(firstNonFiniteAfterRestoring(bin, level), -1) << "bin " << bin << " = " << level;
}

}  // namespace
