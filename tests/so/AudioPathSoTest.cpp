#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "tests/so/PluginLoader.h"

namespace {

intptr_t plainHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

constexpr double kPi = 3.14159265358979323846;

// One instance of the real plug-in with helpers to run stereo audio.
struct Instance {
  explicit Instance(PluginLibrary& library, float rate = 48000.0f) : e(library.entry()(plainHost)) {
    if (!e) throw std::runtime_error("no effect");
    dispatch(e, vst::effSetSampleRate, 0, 0, nullptr, rate);
    dispatch(e, vst::effSetBlockSize, 0, 4096);
    dispatch(e, vst::effMainsChanged, 0, 1);
  }
  ~Instance() { dispatch(e, vst::effClose); }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  void setFftSize(int index) { e->setParameter(e, 3, static_cast<float>(index) / 7.0f); }
  // Runs in (left = right = in) through the plug-in in blocks of the given
  // sizes (cycled), and answers the left output.
  std::vector<float> run(const std::vector<float>& in, const std::vector<int>& blocks) {
    std::vector<float> out(in.size()), right(in.size());
    size_t done = 0;
    for (size_t b = 0; done < in.size(); ++b) {
      const size_t n =
          std::min<size_t>(static_cast<size_t>(blocks[b % blocks.size()]), in.size() - done);
      float* ins[2] = {const_cast<float*>(in.data()) + done, const_cast<float*>(in.data()) + done};
      float* outs[2] = {out.data() + done, right.data() + done};
      e->processReplacing(e, ins, outs, static_cast<int32_t>(n));
      done += n;
    }
    return out;
  }
  vst::AEffect* e;
};

std::vector<float> noise(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(-0.5f, 0.5f);
  std::vector<float> v(n);
  for (float& x : v) x = d(rng);
  return v;
}

double rms(const std::vector<float>& v, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(v[i]) * v[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

TEST(AudioPathSo, DryPathIsTheInputDelayedByTheLatency) {
  PluginLibrary library;
  Instance fx(library);
  fx.e->setParameter(fx.e, 1, 1.0f);  // "Dry Level" 1
  fx.e->setParameter(fx.e, 2, 0.0f);  // "Wet Level" 0
  for (int k : {0, 4, 7}) {
    fx.setFftSize(k);
    const int n = fx.e->initialDelay;
    ASSERT_EQ(n, 32 << k);
    const auto in = noise(static_cast<size_t>(4 * n + 300), 5);
    const auto out = fx.run(in, {333});
    for (int i = 0; i < n; ++i) ASSERT_EQ(out[static_cast<size_t>(i)], 0.0f) << i;
    for (size_t i = static_cast<size_t>(n); i < in.size(); ++i)
      ASSERT_EQ(out[i], in[i - static_cast<size_t>(n)]) << i;
  }
}

TEST(AudioPathSo, HostBlockSizesDoNotChangeTheOutput) {
  PluginLibrary library;
  const auto in = noise(48000, 9);
  std::vector<float> reference;
  {
    Instance fx(library);
    fx.setFftSize(6);
    reference = fx.run(in, {512});
  }
  std::mt19937 rng(4);
  std::uniform_int_distribution<int> size(1, 3000);
  std::vector<int> blocks(64);
  for (int& b : blocks) b = size(rng);
  Instance fx(library);
  fx.setFftSize(6);
  EXPECT_EQ(fx.run(in, blocks), reference);
}

TEST(AudioPathSo, DrawnDownBinsRemoveASineAndLeaveTheRest) {
  PluginLibrary library;
  Instance fx(library);
  fx.setFftSize(5);  // N = 1024
  constexpr int kN = 1024, kBin = 40, kOther = 200;
  // The window spreads a sine over its neighbours, so a band of bins goes.
  for (int k = kBin - 2; k <= kBin + 2; ++k) fx.e->setParameter(fx.e, 32 + k, 0.0f);
  std::vector<float> target(kN * 24), other(kN * 24);
  for (size_t i = 0; i < target.size(); ++i) {
    target[i] = static_cast<float>(0.5 * std::sin(2 * kPi * kBin * static_cast<double>(i) / kN));
    other[i] = static_cast<float>(0.5 * std::sin(2 * kPi * kOther * static_cast<double>(i) / kN));
  }
  const auto removed = fx.run(target, {512});
  const auto kept = fx.run(other, {512});
  const size_t from = 4 * kN, to = target.size();
  EXPECT_LT(rms(removed, from, to), 0.5 / std::sqrt(2.0) * 0.03);
  EXPECT_NEAR(rms(kept, from, to), 0.5 / std::sqrt(2.0), 0.02);
}

TEST(AudioPathSo, BadSamplesRecoverWithinTwoFrames) {
  PluginLibrary library;
  Instance fx(library);
  fx.setFftSize(3);  // N = 256
  constexpr size_t kN = 256;
  auto in = noise(kN * 40, 2);
  const size_t lastBad = 10 * kN + 17;
  in[5 * kN] = std::numeric_limits<float>::quiet_NaN();
  in[7 * kN] = std::numeric_limits<float>::infinity();
  in[lastBad] = -std::numeric_limits<float>::infinity();
  for (size_t i = 12 * kN; i < 13 * kN; ++i) in[i] = 1e-41f;  // denormals
  const auto out = fx.run(in, {100});
  for (size_t i = lastBad + 2 * kN + kN; i < out.size(); ++i)
    ASSERT_TRUE(std::isfinite(out[i])) << i;
}

TEST(AudioPathSo, HostileRatesAndBlockSizesAreSurvived) {
  PluginLibrary library;
  for (float rate : {0.0f, -44100.0f, 1e30f, std::numeric_limits<float>::quiet_NaN()}) {
    vst::AEffect* e = library.entry()(plainHost);
    ASSERT_NE(e, nullptr);
    dispatch(e, vst::effSetSampleRate, 0, 0, nullptr, rate);
    // Processing before any resume, with odd block sizes.
    for (int frames : {0, 1, -5, 1000000}) {
      const size_t n = frames > 0 ? static_cast<size_t>(frames) : 1;
      std::vector<float> in(n, 0.25f), left(n), right(n);
      float* ins[2] = {in.data(), in.data()};
      float* outs[2] = {left.data(), right.data()};
      e->processReplacing(e, ins, outs, frames);
      for (float v : left) ASSERT_TRUE(std::isfinite(v));
    }
    dispatch(e, vst::effClose);
  }
}

}  // namespace
