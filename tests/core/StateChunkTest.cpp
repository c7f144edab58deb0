#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "core/QwkProgram.h"
#include "tests/core/TestEffect.h"

namespace {

std::vector<uint8_t> chunkOf(QwkTonalmire& effect) {
  void* data = nullptr;
  const int32_t size = effect.getChunk(&data, false);
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

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
  EXPECT_EQ(std::memcmp(block.data(), "skwqdvWQ\x05\x00\x01\x00", 12), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(block.data() + 12), "Defaults");
  EXPECT_EQ(valueIn(block, kParamWetLevel), 1.0f);
  EXPECT_EQ(valueIn(block, kParamDryLevel), 0.0f);
  EXPECT_EQ(valueIn(block, kParamFftSize), 5.0f);
  for (int n = 0; n <= 2048; ++n) ASSERT_EQ(valueIn(block, kParamBin0Level + n), 1.0f) << n;
  for (int i = 44; i < 176; ++i) ASSERT_EQ(block[static_cast<size_t>(i)], 0) << i;
}

TEST(StateChunk, RoundTripRestoresEveryValueAndTheName) {
  EffectFixture a;
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int i = 0; i < kParamCount; ++i) a.effect->setParameter(i, unit(rng));
  char name[] = "My Preset";
  a.dispatch(vst::effSetProgramName, 0, 0, name);
  const auto saved = chunkOf(*a.effect);

  EffectFixture b;
  EXPECT_EQ(b.dispatch(vst::effSetChunk, 0, static_cast<intptr_t>(saved.size()),
                       const_cast<uint8_t*>(saved.data())),
            1);
  EXPECT_EQ(chunkOf(*b.effect), saved);
  for (int i = 0; i < kParamCount; ++i)
    ASSERT_EQ(b.effect->getParameterPlain(i), a.effect->getParameterPlain(i)) << i;
  char restored[64] = {};
  b.dispatch(vst::effGetProgramName, 0, 0, restored);
  EXPECT_STREQ(restored, "My Preset");
}

TEST(StateChunk, BigEndianBlockIsRepairedOnce) {
  EffectFixture a;
  a.effect->setParameterPlain(kParamInputGain, -12.5f, false);
  a.effect->setParameterPlain(kParamBin0Level + 100, 0.25f, false);
  auto block = chunkOf(*a.effect);
  std::vector<uint8_t> swapped = block;
  for (int offset : {0, 4, 8}) std::reverse(swapped.begin() + offset, swapped.begin() + offset + 4);
  for (int offset = 176; offset + 4 <= 8500; offset += 4)
    std::reverse(swapped.begin() + offset, swapped.begin() + offset + 4);
  ASSERT_EQ(std::memcmp(swapped.data(), "qwksQWvd", 8), 0);

  EffectFixture b;
  testing::internal::CaptureStdout();
  b.effect->setChunk(swapped.data(), static_cast<int32_t>(swapped.size()), false);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "QWvd vst byte swapping chunk\n");
  EXPECT_EQ(chunkOf(*b.effect), block);
  EXPECT_EQ(b.effect->getParameterPlain(kParamInputGain), -12.5f);
}

TEST(StateChunk, ShortChunksApplyPartly) {
  EffectFixture a;
  for (int i = 0; i < kParamCount; ++i) a.effect->setParameterPlain(i, 0.5f, false);
  char name[] = "Short";
  a.dispatch(vst::effSetProgramName, 0, 0, name);
  const auto source = chunkOf(*a.effect);

  EffectFixture b;
  b.effect->setChunk(const_cast<uint8_t*>(source.data()), 200, false);
  char restored[64] = {};
  b.dispatch(vst::effGetProgramName, 0, 0, restored);
  EXPECT_STREQ(restored, "Short");
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(b.effect->getParameterPlain(i), a.effect->getParameterPlain(i)) << i;
  EXPECT_EQ(b.effect->getParameterPlain(kParamDryLevel), 0.5f);
  EXPECT_EQ(b.effect->getParameterPlain(6), -160.0f);
  EXPECT_EQ(b.effect->getParameterPlain(kParamBin0Level), 1.0f);
}

TEST(StateChunk, NamesAreCutToThirtyOneCharacters) {
  EffectFixture f;
  char name[] = "0123456789012345678901234567890123456789";
  f.dispatch(vst::effSetProgramName, 0, 0, name);
  char out[64] = {};
  f.dispatch(vst::effGetProgramName, 0, 0, out);
  EXPECT_STREQ(out, "0123456789012345678901234567890");
  EXPECT_EQ(f.dispatch(vst::effGetProgramNameIndexed, 0, 0, out), 1);
  EXPECT_STREQ(out, "0123456789012345678901234567890");
  EXPECT_EQ(f.dispatch(vst::effGetProgramNameIndexed, 1, 0, out), 0);
}

TEST(StateChunk, HostileChunksNeverReadOutOfBoundsOrCrash) {
  EffectFixture f;
  const auto defaults = chunkOf(*f.effect);
  EXPECT_EQ(f.dispatch(vst::effSetChunk, 0, 0, nullptr), 1);
  EXPECT_EQ(f.dispatch(vst::effSetChunk, 0, 5000, nullptr), 1);
  EXPECT_EQ(chunkOf(*f.effect), defaults);

  std::mt19937 rng(3);
  for (size_t size : {size_t{0}, size_t{1}, size_t{8499}, size_t{8500}, size_t{100000}}) {
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    EXPECT_EQ(
        f.dispatch(vst::effSetChunk, 0, static_cast<intptr_t>(size), size ? bytes.data() : nullptr),
        1);
    const auto now = chunkOf(*f.effect);
    EXPECT_EQ(std::memcmp(now.data(), "skwqdvWQ\x05\x00\x01\x00", 12), 0);
    EXPECT_EQ(now[43], 0);
    const size_t copied = std::min<size_t>(size, 8500);
    if (copied > 176) {
      EXPECT_EQ(std::memcmp(now.data() + 176, bytes.data() + 176, copied - 176), 0);
    }
    // Whatever the values are now, the effect must keep working on them.
    for (int i = 0; i < 40; ++i) {
      displayOf(*f.effect, i);
      f.effect->getParameter(i);
    }
    const int32_t delay = f.aeffect()->initialDelay;
    EXPECT_TRUE(delay >= 32 && delay <= 4096 && (delay & (delay - 1)) == 0) << delay;
  }
}

TEST(StateChunk, RestoredValuesOutOfRangeAreKeptButUsedSafely) {
  EffectFixture f;
  auto block = chunkOf(*f.effect);
  struct Case {
    float fftSize;
    int32_t latency;
  };
  for (const Case c : {Case{1e9f, 4096}, Case{-5.0f, 32}, Case{std::nanf(""), 32}, Case{7.9f, 4096},
                       Case{6.0f, 2048}}) {
    putValue(block, kParamFftSize, c.fftSize);
    putValue(block, kParamScriptIndex, 1e6f);
    f.effect->setChunk(block.data(), 8500, false);
    EXPECT_EQ(f.aeffect()->initialDelay, c.latency) << c.fftSize;
    // The chunk keeps exactly what was saved.
    const auto now = chunkOf(*f.effect);
    EXPECT_EQ(std::memcmp(now.data() + 176, block.data() + 176, 8500 - 176), 0);
    EXPECT_EQ(displayOf(*f.effect, kParamScriptIndex), "1000000");
  }
}

TEST(StateChunk, RestoringAnotherSizeTellsTheHostOnce) {
  EffectFixture f;
  auto block = chunkOf(*f.effect);
  putValue(block, kParamFftSize, 2.0f);
  f.host.clear();
  f.effect->setChunk(block.data(), 8500, false);
  EXPECT_EQ(f.aeffect()->initialDelay, 128);
  EXPECT_EQ(f.host.count(vst::audioMasterIOChanged), 1);
  f.effect->setChunk(block.data(), 8500, false);
  EXPECT_EQ(f.host.count(vst::audioMasterIOChanged), 1);
}

}  // namespace
