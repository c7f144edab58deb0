#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/ParamIds.h"
#include "dsp/BrevikKernel.h"
#include "dsp/DenormalGuard.h"
#include "dsp/KernelSettings.h"
#include "dsp/SpectralContext.h"
#include "dsp/SpectralTables.h"

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

const SpectralTables& sharedTables() {
  static const SpectralTables tables;
  return tables;
}

// Bin levels live in the program block, 16-byte aligned; this mirrors that.
struct alignas(16) LevelTable {
  float v[kBinCount + 3];
};

// One kernel wired to its own context, the way the effect wires each channel.
struct Rig {
  explicit Rig(int32_t sizeIndex) : levels(std::make_unique<LevelTable>()) {
    sharedTables().attach(context);
    std::fill(std::begin(levels->v), std::end(levels->v), 1.0f);
    context.settings.binLevels = levels->v;
    gains(1.0f, 1.0f, 0.0f, 1.0f);
    setSize(sizeIndex);
    kernel = std::make_unique<CBrevikKernel>(nullptr, &context, 0);
  }

  void setSize(int32_t sizeIndex) {
    context.settings.sizeIndex = sizeIndex;
    context.settings.fftSize = fftSizeForIndex(sizeIndex);
  }
  int32_t n() const { return context.settings.fftSize; }
  void gains(float in, float out, float dry, float wet) {
    context.settings.inputGain = in;
    context.settings.outputGain = out;
    context.settings.dryGain = dry;
    context.settings.wetGain = wet;
  }

  // The whole signal as one host block.
  std::vector<float> run(const std::vector<float>& in) {
    std::vector<float> out(in.size(), -12345.0f);
    process(in.data(), out.data(), static_cast<uint32_t>(in.size()));
    return out;
  }

  // One piece of a host block, as the effect hands it over.
  void processPiece(const float* blockIn, float* blockOut, uint32_t offset, uint32_t frames) {
    context.blockPosition = offset;
    bool silence = true;
    kernel->Process(blockIn, blockOut, frames, 1, silence);
    EXPECT_FALSE(silence);
  }
  void process(const float* in, float* out, uint32_t frames) { processPiece(in, out, 0, frames); }

  SpectralContext context;
  std::unique_ptr<LevelTable> levels;
  std::unique_ptr<CBrevikKernel> kernel;
};

std::vector<float> noise(size_t length, uint32_t seed, float amplitude = 1.0f) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-amplitude, amplitude);
  std::vector<float> x(length);
  for (float& v : x) v = dist(rng);
  return x;
}

float maxAbs(const std::vector<float>& x, size_t from = 0, size_t to = SIZE_MAX) {
  float m = 0.0f;
  for (size_t i = from; i < std::min(to, x.size()); ++i) m = std::max(m, std::fabs(x[i]));
  return m;
}

// A straightforward double-precision STFT with the kernel's frame schedule:
// after a reset, frames end at every multiple of N/2 (state A on multiples of
// N, state B half a frame later), each covers the N samples before that point
// (zeros before the start), and its output is overlap-added over the N
// samples that follow. The dry path is the gained input N samples late.
struct ReferenceStft {
  int n = 0;
  double inputGain = 1.0;
  double outputGain = 1.0;
  double dryGain = 0.0;
  double wetGain = 1.0;
  std::vector<double> levels;  // n/2 + 1 bins

  std::vector<double> run(const std::vector<float>& x) const {
    const int half = n / 2;
    const double theta = kTwoPi / (n - 1);
    std::vector<double> window(n), cosT(n), sinT(n);
    for (int i = 0; i < n; ++i) {
      window[i] = std::sqrt(0.5 - 0.5 * std::cos(i * theta));
      cosT[i] = std::cos(kTwoPi * i / n);
      sinT[i] = std::sin(kTwoPi * i / n);
    }
    const long length = static_cast<long>(x.size());
    std::vector<double> s(x.size()), y(x.size(), 0.0);
    for (long t = 0; t < length; ++t) s[t] = inputGain * x[t];

    std::vector<double> frame(n), re(half + 1), im(half + 1);
    for (long end = 0; end < length; end += half) {
      bool any = false;
      for (int i = 0; i < n; ++i) {
        const long t = end - n + i;
        frame[i] = t >= 0 ? window[i] * s[t] : 0.0;
        any = any || frame[i] != 0.0;
      }
      if (!any) continue;
      for (int b = 0; b <= half; ++b) {
        double r = 0.0, q = 0.0;
        for (int i = 0; i < n; ++i) {
          const int j = static_cast<int>((static_cast<long>(b) * i) % n);
          r += frame[i] * cosT[j];
          q -= frame[i] * sinT[j];
        }
        re[b] = r * levels[b];
        im[b] = q * levels[b];
      }
      for (int i = 0; i < n && end + i < length; ++i) {
        double v = re[0] + ((i & 1) ? -re[half] : re[half]);
        for (int b = 1; b < half; ++b) {
          const int j = static_cast<int>((static_cast<long>(b) * i) % n);
          v += 2.0 * (re[b] * cosT[j] - im[b] * sinT[j]);
        }
        y[end + i] += wetGain * outputGain * window[i] * v / n;
      }
    }
    for (long t = n; t < length; ++t) y[t] += dryGain * s[t - n];
    return y;
  }
};

class KernelAgainstReference : public ::testing::TestWithParam<int32_t> {};

TEST_P(KernelAgainstReference, RandomInputAndLevelsMatchDoublePrecisionStft) {
  const int32_t sizeIndex = GetParam();
  Rig rig(sizeIndex);
  const int n = rig.n();
  std::mt19937 rng(1000 + sizeIndex);
  std::uniform_real_distribution<float> levelDist(0.0f, 2.0f);
  ReferenceStft ref;
  ref.n = n;
  ref.levels.resize(n / 2 + 1);
  // Levels above 1 (only a hand-made chunk can hold them) act as 1.
  for (int b = 0; b <= n / 2; ++b) {
    rig.levels->v[b] = levelDist(rng);
    ref.levels[b] = std::min(1.0, static_cast<double>(rig.levels->v[b]));
  }
  rig.gains(0.8f, 1.25f, 0.3f, 0.9f);
  ref.inputGain = 0.8f, ref.outputGain = 1.25f, ref.dryGain = 0.3f, ref.wetGain = 0.9f;

  const std::vector<float> x = noise(static_cast<size_t>(3 * n + 37), 77 + sizeIndex);
  const std::vector<float> y = rig.run(x);
  const std::vector<double> expected = ref.run(x);

  double level = 0.0, error = 0.0;
  for (size_t t = 0; t < x.size(); ++t) {
    level = std::max(level, std::fabs(expected[t]));
    error = std::max(error, std::fabs(static_cast<double>(y[t]) - expected[t]));
  }
  ASSERT_GT(level, 0.5);
  EXPECT_LT(error, 2e-5 * level) << "N = " << n;
}

INSTANTIATE_TEST_SUITE_P(EverySize, KernelAgainstReference, ::testing::Range(0, kFftSizeCount),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                           return "N" + std::to_string(fftSizeForIndex(info.param));
                         });

class KernelBlockSplitting : public ::testing::TestWithParam<int32_t> {};

TEST_P(KernelBlockSplitting, PiecesAtRandomPositionsGiveBitIdenticalOutput) {
  const int32_t sizeIndex = GetParam();
  Rig whole(sizeIndex), split(sizeIndex);
  for (Rig* rig : {&whole, &split}) {
    rig->gains(1.5f, 0.9f, 0.4f, 0.7f);
    for (int b = 0; b < kBinCount; ++b) rig->levels->v[b] = 0.25f + 0.001f * static_cast<float>(b);
  }
  const int n = whole.n();
  std::mt19937 rng(500 + sizeIndex);
  std::uniform_int_distribution<uint32_t> blockDist(1, static_cast<uint32_t>(3 * n));
  const std::vector<float> x = noise(static_cast<size_t>(10 * n + 999), 9);

  std::vector<float> expected(x.size()), actual(x.size());
  size_t start = 0;
  while (start < x.size()) {
    const auto frames = std::min<uint32_t>(blockDist(rng), static_cast<uint32_t>(x.size() - start));
    whole.process(x.data() + start, expected.data() + start, frames);
    // Cut the same host block at random positions, pieces of 0 included.
    uint32_t offset = 0;
    while (offset < frames) {
      std::uniform_int_distribution<uint32_t> pieceDist(0, std::min<uint32_t>(frames - offset, 9));
      const uint32_t piece = rng() % 3 == 0 ? frames - offset : pieceDist(rng);
      split.processPiece(x.data() + start, actual.data() + start, offset, piece);
      offset += piece;
    }
    start += frames;
  }
  ASSERT_GT(maxAbs(expected), 0.1f);
  for (size_t t = 0; t < x.size(); ++t) ASSERT_EQ(expected[t], actual[t]) << "sample " << t;
}

INSTANTIATE_TEST_SUITE_P(SomeSizes, KernelBlockSplitting, ::testing::Values(0, 2, 5, 7),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                           return "N" + std::to_string(fftSizeForIndex(info.param));
                         });

TEST(KernelBlocks, InPlaceMatchesSeparateBuffersAndZeroFramesWriteNothing) {
  Rig separate(1), inPlace(1);
  for (Rig* rig : {&separate, &inPlace}) rig->context.settings.dryGain = 0.5f;
  const std::vector<float> x = noise(1000, 3);
  const std::vector<float> expected = separate.run(x);
  std::vector<float> buffer = x;
  inPlace.process(buffer.data(), buffer.data(), static_cast<uint32_t>(buffer.size()));
  EXPECT_EQ(expected, buffer);
  float out = 7.0f;
  inPlace.process(x.data(), &out, 0);
  EXPECT_EQ(out, 7.0f);
}

TEST(KernelBlocks, BlockEndingOnFrameBoundaryProcessesThatFrame) {
  Rig rig(0);  // N = 32
  std::vector<float> x(16, 0.0f);
  x[5] = -0.75f;
  rig.run(x);  // state B completes its first frame on the last sample
  EXPECT_EQ(rig.kernel->inputPeak(), 0.75f);

  EXPECT_EQ(rig.kernel->rawSpectrum()[0], 0.0f);  // A has only seen its cleared buffer

  std::vector<float> more(16, 0.0f);
  more[2] = 0.9f;
  rig.run(more);  // state A completes its frame, holding both samples
  EXPECT_EQ(rig.kernel->inputPeak(), 0.9f);
  EXPECT_NE(rig.kernel->rawSpectrum()[0], 0.0f);
}

TEST(KernelBlocks, ResetStartsOverLikeNewKernel) {
  Rig used(3), fresh(3);
  for (Rig* rig : {&used, &fresh}) rig->context.settings.dryGain = 0.5f;
  used.run(noise(1234, 1));
  used.kernel->Reset();
  EXPECT_EQ(used.kernel->currentSize(), 0u);
  EXPECT_EQ(used.kernel->inputPeak(), 0.0f);
  EXPECT_EQ(used.kernel->outputPeak(), 0.0f);
  const std::vector<float> x = noise(2000, 2);
  EXPECT_EQ(used.run(x), fresh.run(x));
}

TEST(KernelTransparency, N32OutputIsInputDelayedTimesHannOverlapSum) {
  Rig rig(0);
  const int n = rig.n();
  const double theta = kTwoPi / (n - 1);
  auto hann = [&](int i) { return 0.5 - 0.5 * std::cos(i * theta); };
  std::vector<float> x = noise(40 * n, 4, 0.5f);
  for (float& v : x) v += v < 0.0f ? -0.5f : 0.5f;  // keep |x| >= 0.5 so ratios are meaningful
  const std::vector<float> y = rig.run(x);

  double lowest = 2.0, highest = 0.0;
  for (size_t t = static_cast<size_t>(n); t < x.size(); ++t) {
    const int i = static_cast<int>(t % static_cast<size_t>(n / 2));
    const double overlap = hann(i) + hann(i + n / 2);
    ASSERT_NEAR(y[t], x[t - n] * overlap, 2e-6) << "sample " << t;
    const double ratio = y[t] / x[t - n];
    lowest = std::min(lowest, ratio);
    highest = std::max(highest, ratio);
  }
  EXPECT_GT(lowest, 0.949);
  EXPECT_LT(lowest, 0.951);
  EXPECT_GT(highest, 0.996);
  EXPECT_LT(highest, 0.998);
}

TEST(KernelGains, DryOnlyIsTheGainedInputExactlyDelayedByN) {
  for (int32_t sizeIndex : {0, 4, 7}) {
    Rig rig(sizeIndex);
    const int n = rig.n();
    rig.gains(1.7f, 1.0f, 1.0f, 0.0f);
    const std::vector<float> x = noise(static_cast<size_t>(3 * n + 5), 6);
    const std::vector<float> y = rig.run(x);
    for (size_t t = 0; t < x.size(); ++t) {
      const float expected = t < static_cast<size_t>(n) ? 0.0f : x[t - n] * 1.7f;
      ASSERT_EQ(y[t], expected) << "N = " << n << ", sample " << t;
    }
  }
}

TEST(KernelGains, PeaksFollowTheLastFrame) {
  Rig rig(0);  // N = 32
  rig.gains(2.0f, 0.5f, 0.0f, 1.0f);
  std::vector<float> x(48, 0.0f);
  x[40] = 0.25f;  // position 24 of the last frame
  x[44] = -0.3f;  // position 28
  rig.run(x);     // the last frame is B's second, covering samples 16..47
  EXPECT_FLOAT_EQ(rig.kernel->inputPeak(), 0.6f);
  // Before the synthesis window the frame is the analysis-windowed input.
  const double theta = kTwoPi / 31;
  const double w24 = std::sqrt(0.5 - 0.5 * std::cos(24 * theta));
  const double w28 = std::sqrt(0.5 - 0.5 * std::cos(28 * theta));
  EXPECT_NEAR(rig.kernel->outputPeak(), std::max(w24 * 0.5 * 0.5, w28 * 0.6 * 0.5), 1e-6);
}

TEST(KernelLevels, ZeroLevelRemovesTheBinFromTheProcessedSpectrum) {
  Rig rig(4);  // N = 512
  const int n = rig.n();
  const int k = 40;
  rig.levels->v[k] = 0.0f;
  std::vector<float> x(static_cast<size_t>(2 * n));
  for (size_t t = 0; t < x.size(); ++t)
    x[t] = static_cast<float>(std::sin(kTwoPi * k * static_cast<double>(t) / n));
  rig.run(x);  // ends on one of A's frames, all sine
  const float* raw = rig.kernel->rawSpectrum();
  const float* processed = rig.kernel->processedSpectrum();
  EXPECT_GT(std::hypot(raw[k], raw[n / 2 + k]), 0.1f * n);
  EXPECT_EQ(processed[k], 0.0f);
  EXPECT_EQ(processed[n / 2 + k], 0.0f);
  EXPECT_EQ(processed[k + 3], raw[k + 3]);
}

TEST(KernelLevels, LevelsAboveNyquistHaveNoEffect) {
  Rig plain(1), noisy(1);  // N = 64: bins 0..32
  for (int b = 33; b < kBinCount; ++b) noisy.levels->v[b] = (b % 2) ? 0.0f : 1e6f;
  const std::vector<float> x = noise(1000, 12);
  EXPECT_EQ(plain.run(x), noisy.run(x));
}

TEST(KernelLevels, DcAndNyquistLevelsApply) {
  Rig rig(0);
  rig.levels->v[0] = 0.0f;
  rig.levels->v[16] = 0.0f;
  std::vector<float> x(64);
  for (size_t t = 0; t < x.size(); ++t) x[t] = 1.0f + ((t & 1) ? -0.5f : 0.5f);
  rig.run(x);
  EXPECT_EQ(rig.kernel->processedSpectrum()[0], 0.0f);
  EXPECT_EQ(rig.kernel->processedSpectrum()[16], 0.0f);
  EXPECT_NE(rig.kernel->rawSpectrum()[0], 0.0f);
  EXPECT_NE(rig.kernel->rawSpectrum()[16], 0.0f);
}

TEST(KernelSizeChange, DrySilentForNAndWetForHalfNAfterTheChange) {
  Rig dryRig(2), wetRig(2);
  dryRig.gains(1.0f, 1.0f, 1.0f, 0.0f);
  const std::vector<float> x = noise(3000, 13, 0.5f);
  std::vector<float> before(x.begin(), x.begin() + 1000), after(x.begin() + 1000, x.end());
  for (float& v : after) v += v < 0.0f ? -0.5f : 0.5f;  // never 0, so silence is the kernel's
  for (Rig* rig : {&dryRig, &wetRig}) {
    rig->run(before);
    rig->setSize(4);  // 128 -> 512
    EXPECT_EQ(rig->kernel->currentSize(), 128u);
  }
  const std::vector<float> dry = dryRig.run(after);
  const std::vector<float> wet = wetRig.run(after);
  EXPECT_EQ(dryRig.kernel->currentSize(), 512u);
  for (size_t t = 0; t < 512; ++t) ASSERT_EQ(dry[t], 0.0f) << t;
  for (size_t t = 512; t < after.size(); ++t) ASSERT_EQ(dry[t], after[t - 512]) << t;
  // State A restarts from cleared buffers, state B's first frame ends at N/2
  // with the new input in its second half only; so the wet path is exactly
  // silent for N/2 samples, then carries only transform round-off until the
  // input arrives, N late like the dry path.
  for (size_t t = 0; t < 256; ++t) ASSERT_EQ(wet[t], 0.0f) << t;
  EXPECT_LT(maxAbs(wet, 256, 512), 1e-5f);
  EXPECT_GT(maxAbs(wet, 512, 1024), 0.5f);
}

TEST(KernelSizeChange, StrayFftSizeStaysInsideTheTables) {
  Rig rig(3);
  rig.context.settings.fftSize = 100;  // not a transform size: the index decides
  rig.context.settings.sizeIndex = 99;
  const std::vector<float> y = rig.run(noise(10000, 14));
  EXPECT_EQ(rig.kernel->currentSize(), 4096u);
  for (float v : y) ASSERT_TRUE(std::isfinite(v));
}

class RecordingScripts : public SpectralScriptHost {
 public:
  struct Run {
    int32_t index;
    const float* spectrum;
    int32_t size;
    std::vector<float> seen;
    std::vector<float> rawOfStateA;
  };

  explicit RecordingScripts(const CBrevikKernel* kernel = nullptr) : kernel_(kernel) {}

  void RunSpectralScript(int32_t index, float* spectrum, int32_t size) override {
    Run run{index, spectrum, size, std::vector<float>(spectrum, spectrum + size), {}};
    if (kernel_) run.rawOfStateA.assign(kernel_->rawSpectrum(), kernel_->rawSpectrum() + size);
    runs.push_back(std::move(run));
    if (action) action(spectrum, size);
  }

  std::vector<Run> runs;
  std::function<void(float*, int32_t)> action;

 private:
  const CBrevikKernel* kernel_;
};

TEST(KernelScript, RunsOncePerFrameOnTheProcessedSpectrum) {
  Rig rig(1);  // N = 64
  RecordingScripts scripts;
  rig.context.scripts = &scripts;
  rig.context.settings.scriptIndex = 3;
  rig.run(noise(2 * 64 + 5, 15));
  // Frames end at 0 (A, from the cleared buffers), 32 (B), 64, 96, 128.
  ASSERT_EQ(scripts.runs.size(), 5u);
  for (size_t r = 0; r < scripts.runs.size(); ++r) {
    EXPECT_EQ(scripts.runs[r].index, 3);
    EXPECT_EQ(scripts.runs[r].size, 64);
    const bool stateA = r % 2 == 0;
    EXPECT_EQ(scripts.runs[r].spectrum == rig.kernel->processedSpectrum(), stateA) << r;
  }
}

TEST(KernelScript, BeforeSeesTheRawSpectrumAfterSeesTheLevelledOne) {
  for (const bool before : {true, false}) {
    Rig rig(2);
    RecordingScripts scripts(rig.kernel.get());
    rig.context.scripts = &scripts;
    rig.context.settings.scriptIndex = 1;
    rig.context.settings.scriptBefore = before;
    std::fill(std::begin(rig.levels->v), std::end(rig.levels->v), 0.5f);
    rig.run(noise(3 * 128, 16));
    ASSERT_EQ(scripts.runs.size(), 7u);
    for (size_t r = 2; r < scripts.runs.size(); r += 2) {  // state A's frames with signal
      const RecordingScripts::Run& run = scripts.runs[r];
      EXPECT_NE(run.rawOfStateA[1], 0.0f);
      for (int i = 0; i < 128; ++i) {
        const float expected = before ? run.rawOfStateA[i] : 0.5f * run.rawOfStateA[i];
        ASSERT_EQ(run.seen[i], expected) << (before ? "before" : "after") << ", value " << i;
      }
    }
  }
}

TEST(KernelScript, LevelsApplyToWhatTheScriptWritesOnlyWhenItRunsBefore) {
  // The script replaces every frame with a constant: a DC bin of N.
  auto constantFrame = [](float* f, int32_t size) {
    std::fill(f, f + size, 0.0f);
    f[0] = static_cast<float>(size);
  };
  std::vector<float> outputs[2];
  for (const bool before : {true, false}) {
    Rig rig(1);
    RecordingScripts scripts;
    scripts.action = constantFrame;
    rig.context.scripts = &scripts;
    rig.context.settings.scriptIndex = 2;
    rig.context.settings.scriptBefore = before;
    std::fill(std::begin(rig.levels->v), std::end(rig.levels->v), 0.5f);
    outputs[before ? 1 : 0] = rig.run(noise(640, 17));
  }
  ASSERT_GT(maxAbs(outputs[0], 64), 0.9f);
  for (size_t t = 0; t < outputs[0].size(); ++t)
    ASSERT_FLOAT_EQ(outputs[1][t], 0.5f * outputs[0][t]) << t;
}

TEST(KernelScript, IndexZeroOrNoHostRunsNoScript) {
  const std::vector<float> x = noise(700, 18);
  Rig plain(1);
  const std::vector<float> expected = plain.run(x);
  for (const bool before : {true, false}) {
    Rig rig(1);
    RecordingScripts scripts;
    scripts.action = [](float* f, int32_t size) { std::fill(f, f + size, 0.0f); };
    rig.context.scripts = &scripts;
    rig.context.settings.scriptIndex = 0;
    rig.context.settings.scriptBefore = before;
    EXPECT_EQ(rig.run(x), expected);
    EXPECT_TRUE(scripts.runs.empty());
  }
  Rig noHost(1);
  noHost.context.settings.scriptIndex = 4;
  EXPECT_EQ(noHost.run(x), expected);
}

TEST(KernelBadInput, NanAndInfinityAreGoneTwoFramesAfterTheLastBadSample) {
  for (int32_t sizeIndex : {0, 3, 6}) {
    Rig bad(sizeIndex), clean(sizeIndex);
    for (Rig* rig : {&bad, &clean}) rig->context.settings.dryGain = 0.5f;
    const size_t n = static_cast<size_t>(bad.n());
    std::vector<float> x = noise(10 * n, 20);
    std::vector<float> zeroed = x;
    const size_t first = 3 * n + 5;
    const size_t positions[] = {first, first + 7, first + 9};
    x[positions[0]] = std::numeric_limits<float>::quiet_NaN();
    x[positions[1]] = std::numeric_limits<float>::infinity();
    x[positions[2]] = -std::numeric_limits<float>::infinity();
    for (size_t p : positions) zeroed[p] = 0.0f;
    const size_t last = positions[2];

    ViewState view{};
    std::vector<float> y(x.size()), expected(x.size());
    for (size_t start = 0; start < x.size(); start += 64) {
      const auto frames = static_cast<uint32_t>(std::min<size_t>(64, x.size() - start));
      bad.process(x.data() + start, y.data() + start, frames);
      clean.process(zeroed.data() + start, expected.data() + start, frames);
      CBrevikKernel* kernels[] = {bad.kernel.get()};
      updateMeters(view, kernels, 1, frames, 48000.0f);
      ASSERT_TRUE(std::isfinite(view.inputMeter[0])) << start;
      ASSERT_TRUE(std::isfinite(view.outputMeter[0])) << start;
    }
    EXPECT_FALSE(std::isfinite(y[last + n]));  // the dry path, a frame late
    for (size_t t = last + 2 * n; t < x.size(); ++t)
      ASSERT_EQ(y[t], expected[t]) << "N = " << n << ", sample " << t;
    EXPECT_TRUE(std::isfinite(bad.kernel->inputPeak()));
    EXPECT_TRUE(std::isfinite(bad.kernel->outputPeak()));
    EXPECT_GT(view.inputMeter[0], 0.0f);
  }
}

TEST(KernelBadInput, DenormalInputStaysFiniteAndFlushesUnderTheGuard) {
  std::vector<float> x = noise(2000, 21);
  for (float& v : x) v *= 1e-39f;
  ASSERT_TRUE(std::fpclassify(x[1]) == FP_SUBNORMAL || x[1] == 0.0f);
  {
    Rig rig(2);
    rig.context.settings.dryGain = 0.5f;
    for (float v : rig.run(x)) ASSERT_TRUE(std::isfinite(v));
  }
  {
    DenormalGuard guard;
    Rig rig(2);
    rig.context.settings.dryGain = 0.5f;
    for (float v : rig.run(x)) ASSERT_EQ(v, 0.0f);
  }
}

}  // namespace
