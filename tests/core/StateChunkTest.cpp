#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "tests/core/TestEffect.h"

namespace {

constexpr char kHeader[] = "skwqdvWQ\x05\x00\x01\x00";

std::vector<uint8_t> chunkOf(QwkTonalmire& effect) {
  void* data = nullptr;
  const int32_t size = effect.getChunk(&data, false);
  return std::vector<uint8_t>(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

// The values start at byte 176 of the block.
float valueIn(const std::vector<uint8_t>& block, int index) {
  float v;
  std::memcpy(&v, block.data() + 176 + 4 * index, 4);
  return v;
}
void putValue(std::vector<uint8_t>& block, int index, float v) {
  std::memcpy(block.data() + 176 + 4 * index, &v, 4);
}

TEST(StateChunk, FreshBlockHasNativeHeaderAndDefaults) {
  EffectFixture f;
  const auto block = chunkOf(*f.effect);
  ASSERT_EQ(block.size(), 8500u);
  EXPECT_EQ(std::memcmp(block.data(), kHeader, 12), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(block.data() + 12), "Defaults");
  EXPECT_EQ(valueIn(block, kParamWetLevel), 1.0f);
  EXPECT_EQ(valueIn(block, kParamFftSize), 5.0f);
  for (int n = 0; n <= 2048; ++n) ASSERT_EQ(valueIn(block, kParamBin0Level + n), 1.0f) << n;
}

TEST(StateChunk, RoundTripRestoresEveryValueAndTheName) {
  EffectFixture a, b;
  std::mt19937 rng(7);
  for (int i = 0; i < kParamCount; ++i) a.effect->setParameter(i, (rng() % 1000) / 999.0f);
  char name[] = "0123456789012345678901234567890123456789";
  a.dispatch(vst::effSetProgramName, 0, 0, name);
  auto saved = chunkOf(*a.effect);
  EXPECT_EQ(b.dispatch(vst::effSetChunk, 0, static_cast<intptr_t>(saved.size()), saved.data()), 1);
  EXPECT_EQ(chunkOf(*b.effect), saved);
  for (int i = 0; i < kParamCount; ++i)
    ASSERT_EQ(b.effect->getParameterPlain(i), a.effect->getParameterPlain(i)) << i;
  char restored[64] = {};
  b.dispatch(vst::effGetProgramName, 0, 0, restored);
  EXPECT_STREQ(restored, "0123456789012345678901234567890");  // cut to 31 characters
}

TEST(StateChunk, ByteReversedBlockIsRepaired) {
  EffectFixture a, b;
  a.effect->setParameterPlain(kParamInputGain, -12.5f, false);
  const auto block = chunkOf(*a.effect);
  std::vector<uint8_t> swapped = block;
  for (size_t offset : {0, 4, 8}) std::reverse(&swapped[offset], &swapped[offset + 4]);
  for (size_t offset = 176; offset < 8500; offset += 4)
    std::reverse(&swapped[offset], &swapped[offset + 4]);
  testing::internal::CaptureStdout();
  b.effect->setChunk(swapped.data(), static_cast<int32_t>(swapped.size()), false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "QWvd vst byte swapping chunk\n");
  EXPECT_EQ(chunkOf(*b.effect), block);
}

TEST(StateChunk, HostileChunksAreKeptByteForByteButUsedSafely) {
  EffectFixture f;
  std::mt19937 rng(3);
  EXPECT_EQ(f.dispatch(vst::effSetChunk, 0, 5000, nullptr), 1);
  for (size_t size : {1, 8499, 100000}) {
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    EXPECT_EQ(f.dispatch(vst::effSetChunk, 0, static_cast<intptr_t>(size), bytes.data()), 1);
    const auto now = chunkOf(*f.effect);
    EXPECT_EQ(std::memcmp(now.data(), kHeader, 12), 0);
    EXPECT_EQ(now[43], 0);
    EXPECT_TRUE(size < 176 ||
                !std::memcmp(&now[176], &bytes[176], std::min<size_t>(size, 8500) - 176));
    for (int i = 0; i < 40; ++i) displayOf(*f.effect, i);
  }
  auto block = chunkOf(*f.effect);
  const struct {
    float fftSize;
    int32_t latency;
  } sizes[] = {{1e9f, 4096}, {std::nanf(""), 32}, {7.9f, 4096}, {2.0f, 128}};
  for (const auto& c : sizes) {
    putValue(block, kParamFftSize, c.fftSize);
    putValue(block, kParamScriptIndex, 1e6f);
    f.effect->setChunk(block.data(), 8500, false);
    EXPECT_EQ(f.aeffect()->initialDelay, c.latency) << c.fftSize;
    EXPECT_EQ(displayOf(*f.effect, kParamScriptIndex), "1000000");
  }
  putValue(block, kParamFftSize, 3.0f);
  f.host.clear();
  f.effect->setChunk(block.data(), 8500, false);
  f.effect->setChunk(block.data(), 8500, false);
  EXPECT_EQ(f.host.count(vst::audioMasterIOChanged), 1);

  // Restored bin levels that are huge, NaN or infinite keep the output finite.
  EffectFixture fresh;
  block = chunkOf(*fresh.effect);
  f.dispatch(vst::effSetBlockSizeAndSampleRate, 0, 4096, nullptr, 48000.0f);
  for (const auto& [bin, level] : {std::pair{150, 3e38f}, std::pair{20, std::nanf("")},
                                   std::pair{300, std::numeric_limits<float>::infinity()}}) {
    putValue(block, kParamBin0Level + bin, level);
    f.effect->setChunk(block.data(), 8500, false);
    f.dispatch(vst::effMainsChanged, 0, 1);
    std::vector<float> in(4096), left(4096), right(4096);
    for (size_t i = 0; i < in.size(); ++i) in[i] = std::sin(0.37f * i);
    float* ins[2] = {in.data(), in.data()};
    float* outs[2] = {left.data(), right.data()};
    for (int pass = 0; pass < 3; ++pass) {
      f.effect->processReplacing(ins, outs, 4096);
      for (size_t i = 0; i < left.size(); ++i)
        ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i])) << bin << " at " << i;
    }
  }
}

}  // namespace
