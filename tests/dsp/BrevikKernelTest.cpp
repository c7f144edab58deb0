#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "core/ParamIds.h"
#include "dsp/BrevikKernel.h"
#include "dsp/KernelSettings.h"
#include "dsp/SpectralContext.h"
#include "dsp/SpectralTables.h"

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

// Bin levels live in the program block, 16-byte aligned; this mirrors that.
struct alignas(16) LevelTable {
  float v[kBinCount + 3];
};

// One kernel wired to its own context, the way the effect wires each channel.
struct Rig {
  explicit Rig(int32_t sizeIndex, float in = 1, float out = 1, float dry = 0, float wet = 1)
      : levels(std::make_unique<LevelTable>()) {
    static const SpectralTables tables;
    tables.attach(context);
    std::fill(std::begin(levels->v), std::end(levels->v), 1.0f);
    KernelSettings& s = context.settings;
    s.binLevels = levels->v;
    s.inputGain = in, s.outputGain = out, s.dryGain = dry, s.wetGain = wet;
    setSize(sizeIndex);
    kernel = std::make_unique<CBrevikKernel>(nullptr, &context, 0);
  }
  void setSize(int32_t sizeIndex) {
    context.settings.sizeIndex = sizeIndex;
    context.settings.fftSize = fftSizeForIndex(sizeIndex);
  }
  int32_t n() const { return context.settings.fftSize; }

  // One piece of a host block, as the effect hands it over.
  void process(const float* in, float* out, uint32_t frames, uint32_t offset = 0) {
    context.blockPosition = offset;
    bool silence = true;
    kernel->Process(in, out, frames, 1, silence);
    EXPECT_FALSE(silence);
  }
  std::vector<float> run(const std::vector<float>& in) {
    std::vector<float> out(in.size(), -12345.0f);
    process(in.data(), out.data(), static_cast<uint32_t>(in.size()));
    return out;
  }

  SpectralContext context;
  std::unique_ptr<LevelTable> levels;
  std::unique_ptr<CBrevikKernel> kernel;
};

std::vector<float> noise(size_t length, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  std::vector<float> x(length);
  for (float& v : x) v = dist(rng);
  return x;
}

// A plain double-precision STFT on the kernel's schedule: frames end at every
// multiple of N/2 and cover the N samples before (zeros before the start),
// root-Hann windowed over N - 1 on both sides, overlap-added over the N
// samples that follow, scaled by 1/N. The dry path is the input N late.
std::vector<double> referenceStft(const std::vector<float>& x, int n,
                                  const std::vector<double>& level, double in, double out,
                                  double dry, double wet) {
  const int half = n / 2;
  std::vector<double> window(n), cosT(n), sinT(n);
  for (int i = 0; i < n; ++i) {
    window[i] = std::sqrt(0.5 - 0.5 * std::cos(i * kTwoPi / (n - 1)));
    cosT[i] = std::cos(kTwoPi * i / n), sinT[i] = std::sin(kTwoPi * i / n);
  }
  const long length = static_cast<long>(x.size());
  std::vector<double> y(x.size(), 0.0), frame(n), re(half + 1), im(half + 1);
  for (long end = 0; end < length; end += half) {
    for (int i = 0; i < n; ++i) frame[i] = end - n + i >= 0 ? window[i] * in * x[end - n + i] : 0.0;
    for (int b = 0; b <= half; ++b) {
      re[b] = im[b] = 0.0;
      for (int i = 0; i < n; ++i) {
        re[b] += frame[i] * cosT[(long{b} * i) % n];
        im[b] -= frame[i] * sinT[(long{b} * i) % n];
      }
      re[b] *= level[b], im[b] *= level[b];
    }
    for (int i = 0; i < n && end + i < length; ++i) {
      double v = re[0] + ((i & 1) ? -re[half] : re[half]);
      for (int b = 1; b < half; ++b)
        v += 2.0 * (re[b] * cosT[(long{b} * i) % n] - im[b] * sinT[(long{b} * i) % n]);
      y[end + i] += wet * out * window[i] * v / n;
    }
  }
  for (long t = n; t < length; ++t) y[t] += dry * in * x[t - n];
  return y;
}

TEST(Kernel, MatchesTheReferenceStftAtEverySize) {
  for (int32_t sizeIndex = 0; sizeIndex < kFftSizeCount; ++sizeIndex) {
    Rig rig(sizeIndex, 0.8f, 1.25f, 0.3f, 0.9f);
    const int n = rig.n();
    std::mt19937 rng(1000 + sizeIndex);
    std::uniform_real_distribution<float> levelDist(0.0f, 2.0f);
    std::vector<double> levels(n / 2 + 1);
    // Levels above 1 (only a hand-made chunk can hold them) act as 1.
    for (int b = 0; b <= n / 2; ++b) levels[b] = std::min(1.0f, rig.levels->v[b] = levelDist(rng));
    const std::vector<float> x = noise(static_cast<size_t>(3 * n + 37), 77 + sizeIndex);
    const std::vector<float> y = rig.run(x);
    const std::vector<double> expected = referenceStft(x, n, levels, 0.8f, 1.25f, 0.3f, 0.9f);
    double peak = 0.0, error = 0.0;
    for (size_t t = 0; t < x.size(); ++t) {
      peak = std::max(peak, std::fabs(expected[t]));
      error = std::max(error, std::fabs(y[t] - expected[t]));
    }
    ASSERT_GT(peak, 0.5);
    EXPECT_LT(error, 2e-5 * peak) << "N = " << n;
  }
}

TEST(Kernel, HostBlocksCutIntoPiecesGiveBitIdenticalOutput) {
  for (const int32_t sizeIndex : {0, 5}) {
    Rig whole(sizeIndex, 1.5f, 0.9f, 0.4f, 0.7f), split(sizeIndex, 1.5f, 0.9f, 0.4f, 0.7f);
    for (int b = 0; b < kBinCount; ++b)
      whole.levels->v[b] = split.levels->v[b] = 0.25f + 0.001f * static_cast<float>(b);
    const auto n = static_cast<uint32_t>(whole.n());
    std::mt19937 rng(500 + sizeIndex);
    const std::vector<float> x = noise(10 * n + 999, 9);
    std::vector<float> expected(x.size()), actual(x.size());
    for (size_t start = 0; start < x.size();) {
      const auto frames = std::min<uint32_t>(1 + rng() % (3 * n), x.size() - start);
      whole.process(x.data() + start, expected.data() + start, frames);
      // The same host block cut at random positions, pieces of 0 included.
      for (uint32_t offset = 0, piece = 0; offset < frames; offset += piece) {
        piece = rng() % 3 == 0 ? frames - offset : rng() % (std::min(frames - offset, 9u) + 1);
        split.process(x.data() + start, actual.data() + start, piece, offset);
      }
      start += frames;
    }
    ASSERT_NE(expected, std::vector<float>(x.size()));
    EXPECT_EQ(expected, actual) << "N = " << n;
  }
}

TEST(Kernel, ResetStartsOverLikeANewKernel) {
  Rig used(3, 1, 1, 0.5f), fresh(3, 1, 1, 0.5f);
  used.run(noise(1234, 1));
  used.kernel->Reset();
  const std::vector<float> x = noise(2000, 2);
  EXPECT_EQ(used.run(x), fresh.run(x));
}

// In every state A frame the script sees the raw spectrum when it runs before
// the levels (all 0.5 here) and the levelled one when it runs after.
struct CheckingScripts : SpectralScriptHost {
  const CBrevikKernel* kernel = nullptr;
  bool before = false;
  int runs = 0, nonZero = 0;
  void RunSpectralScript(int32_t index, float* spectrum, int32_t size) override {
    EXPECT_EQ(index, 3);
    EXPECT_EQ(static_cast<uint32_t>(size), kernel->currentSize());
    if (runs++ % 2) return;  // state B's frames alternate with A's
    ASSERT_EQ(spectrum, kernel->processedSpectrum());
    const float* raw = kernel->rawSpectrum();
    nonZero += raw[1] != 0.0f;
    for (int i = 0; i < size; ++i) ASSERT_EQ(spectrum[i], before ? raw[i] : 0.5f * raw[i]) << i;
  }
};

TEST(Kernel, ScriptRunsOncePerFrameBeforeOrAfterTheLevels) {
  for (const bool before : {true, false}) {
    Rig rig(2);  // N = 128: frames end at 0, 64, ..., 384
    CheckingScripts scripts;
    scripts.kernel = rig.kernel.get();
    scripts.before = before;
    rig.context.scripts = &scripts;
    rig.context.settings.scriptIndex = 3;
    rig.context.settings.scriptBefore = before;
    std::fill(std::begin(rig.levels->v), std::end(rig.levels->v), 0.5f);
    rig.run(noise(3 * 128, 16));
    EXPECT_EQ(scripts.runs, 7);
    EXPECT_EQ(scripts.nonZero, 3);
  }
  Rig off(1), plain(1);
  CheckingScripts none;
  off.context.scripts = &none;
  const std::vector<float> x = noise(700, 18);
  EXPECT_EQ(off.run(x), plain.run(x));  // index 0 runs no script
  EXPECT_EQ(none.runs, 0);
}

TEST(Kernel, NanAndInfinityAreGoneTwoFramesAfterTheLastBadSample) {
  for (const int32_t sizeIndex : {0, 6}) {
    Rig bad(sizeIndex, 1, 1, 0.5f), clean(sizeIndex, 1, 1, 0.5f);
    const auto n = static_cast<size_t>(bad.n());
    std::vector<float> x = noise(10 * n, 20), zeroed = x;
    const size_t last = 3 * n + 14;
    for (const size_t p : {last - 9, last - 2, last}) zeroed[p] = 0.0f;
    x[last - 9] = std::numeric_limits<float>::quiet_NaN();
    x[last - 2] = std::numeric_limits<float>::infinity();
    x[last] = -std::numeric_limits<float>::infinity();
    ViewState view{};
    std::vector<float> y(x.size()), expected(x.size());
    for (size_t start = 0; start < x.size(); start += 64) {
      bad.process(x.data() + start, y.data() + start, 64);
      clean.process(zeroed.data() + start, expected.data() + start, 64);
      CBrevikKernel* kernels[] = {bad.kernel.get()};
      updateMeters(view, kernels, 1, 64, 48000.0f);
      ASSERT_TRUE(std::isfinite(view.inputMeter[0]) && std::isfinite(view.outputMeter[0])) << start;
    }
    EXPECT_FALSE(std::isfinite(y[last + n]));  // the dry path, a frame late
    for (size_t t = last + 2 * n; t < x.size(); ++t) ASSERT_EQ(y[t], expected[t]) << t;
    EXPECT_GT(view.inputMeter[0], 0.0f);
  }
}

}  // namespace
