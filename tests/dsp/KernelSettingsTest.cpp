#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <ostream>
#include <utility>
#include <vector>

#include "core/ParamIds.h"
#include "dsp/BrevikKernel.h"
#include "dsp/KernelSettings.h"
#include "dsp/SpectralTables.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A program's value block: "Bin 0 Level" onwards on a 16-byte boundary.
struct alignas(16) Values {
  Values() {
    std::fill(std::begin(v), std::end(v), 0.0f);
    v[kParamWetLevel] = 1.0f;
    v[kParamFftSize] = 5.0f;
    std::fill(v + kParamBin0Level, v + kParamCount, 1.0f);
  }
  float v[kParamCount];
};

KernelSettings refreshed(const Values& values) {
  KernelSettings settings;
  refreshKernelSettings(settings, values.v);
  return settings;
}

// kernel reads. Gains are compared to a millionth of their size, so the
// silence at -80 dB and the caps are exact.

struct RefreshCase {
  const char* what;
  std::vector<std::pair<int32_t, float>> values;
  int32_t sizeIndex = 5;
  double dry = 0.0, wet = 1.0, input = 1.0, output = 1.0;
  int32_t scriptIndex = 0;
  bool scriptBefore = false;
};

void PrintTo(const RefreshCase& c, std::ostream* os) {
  *os << c.what;
}

class KernelSettingsRefresh : public ::testing::TestWithParam<RefreshCase> {};

TEST_P(KernelSettingsRefresh, GivesTheKernelsSettings) {
  const RefreshCase& c = GetParam();
  SCOPED_TRACE(c.what);
  Values values;
  for (const auto& [index, value] : c.values) values.v[index] = value;
  const KernelSettings s = refreshed(values);
  EXPECT_EQ(s.sizeIndex, c.sizeIndex);
  EXPECT_EQ(s.fftSize, fftSizeForIndex(c.sizeIndex));
  EXPECT_NEAR(s.dryGain, c.dry, 1e-6 * c.dry);
  EXPECT_NEAR(s.wetGain, c.wet, 1e-6 * c.wet);
  EXPECT_NEAR(s.inputGain, c.input, 1e-6 * c.input);
  EXPECT_NEAR(s.outputGain, c.output, 1e-6 * c.output);
  EXPECT_EQ(s.scriptIndex, c.scriptIndex);
  EXPECT_EQ(s.scriptBefore, c.scriptBefore);
  EXPECT_EQ(s.binLevels, values.v + kParamBin0Level);
}

RefreshCase sized(float value, int32_t index) {
  RefreshCase c{"FFT size", {{kParamFftSize, value}}};
  c.sizeIndex = index;
  return c;
}

std::vector<RefreshCase> refreshCases() {
  std::vector<RefreshCase> cases = {
      {"the default program is transparent at 1024", {}},
      {"dry and wet are cubed", {{kParamDryLevel, 0.5f}, {kParamWetLevel, 0.8f}}, 5, 0.125, 0.512},
      {"gains follow decibels near their ends",
       {{kParamInputGain, -79.9f}, {kParamOutputGain, 36.0f}},
       5,
       0.0,
       1.0,
       std::pow(10.0, -3.995),
       std::pow(10.0, 1.8)},
      {"gains follow decibels",
       {{kParamInputGain, -6.0f}, {kParamOutputGain, 12.0f}},
       5,
       0.0,
       1.0,
       0.5011872,
       3.9810717},
      {"gains are capped at the top of their range",
       {{kParamInputGain, 100.0f}, {kParamOutputGain, 100.0f}},
       5,
       0.0,
       1.0,
       std::pow(10.0, 1.8),
       std::pow(10.0, 1.8)},
      {"-80 dB is exactly silence",
       {{kParamInputGain, -80.0f}, {kParamOutputGain, -80.0f}},
       5,
       0.0,
       1.0,
       0.0,
       0.0},
      {"the script index truncates; a non-zero position is before",
       {{kParamScriptIndex, 2.9f}, {kParamScriptPosition, 1.0f}},
       5,
       0.0,
       1.0,
       1.0,
       1.0,
       2,
       true},
      {"restored garbage gives safe settings",
       {{kParamScriptIndex, kNaN},
        {kParamDryLevel, kNaN},
        {kParamWetLevel, 1e30f},
        {kParamInputGain, kNaN},
        {kParamOutputGain, 1e9f}},
       5,
       0.0,
       1.0,
       0.0,
       std::pow(10.0, 1.8)},
      {"restored values below the ranges",
       {{kParamScriptIndex, -3.0f},
        {kParamDryLevel, -1.0f},
        {kParamInputGain, -1000.0f},
        {kParamOutputGain, -kInf}},
       5,
       0.0,
       1.0,
       0.0,
       0.0},
  };
  // The size truncates, and restored sizes outside the range are clamped.
  for (int32_t i = 0; i < kFftSizeCount; ++i)
    cases.push_back(sized(static_cast<float>(i) + (i < 7 ? 0.75f : 0.0f), i));
  for (const auto& [value, index] : std::vector<std::pair<float, int32_t>>{
           {1e9f, 7}, {8.0f, 7}, {kInf, 7}, {-5.0f, 0}, {-kInf, 0}, {-0.5f, 0}, {kNaN, 0}})
    cases.push_back(sized(value, index));
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, KernelSettingsRefresh, ::testing::ValuesIn(refreshCases()));

const SpectralTables& sharedTables() {
  static const SpectralTables tables;
  return tables;
}

// Two kernels at N = 32 whose latest frame peaks are known.
struct MeterRig {
  MeterRig() {
    sharedTables().attach(context);
    refreshKernelSettings(context.settings, values.v);
    context.settings.sizeIndex = 0;
    context.settings.fftSize = 32;
    for (uint32_t c = 0; c < 3; ++c)
      kernels.push_back(std::make_unique<CBrevikKernel>(nullptr, &context, c));
  }

  // Feeds each kernel 16 samples holding one peak, which completes a frame.
  void feedPeaks(std::initializer_list<float> peaks) {
    size_t c = 0;
    for (const float peak : peaks) {
      float in[16] = {}, out[16];
      in[9] = peak;
      bool silence = true;
      kernels[c++]->Process(in, out, 16, 1, silence);
    }
  }

  std::vector<CBrevikKernel*> pointers() {
    std::vector<CBrevikKernel*> p;
    for (auto& k : kernels) p.push_back(k.get());
    return p;
  }

  Values values;
  SpectralContext context;
  std::vector<std::unique_ptr<CBrevikKernel>> kernels;
};

TEST(KernelMeters, DecayTowardsThePeakWithThirtyMillisecondTimeConstant) {
  MeterRig rig;
  rig.feedPeaks({0.8f, -0.4f});
  ASSERT_EQ(rig.kernels[0]->inputPeak(), 0.8f);
  ViewState view{};
  view.inputMeter[1] = 1.0f;
  const std::vector<CBrevikKernel*> k = rig.pointers();
  updateMeters(view, k.data(), 2, 1440, 48000.0f);  // exactly one time constant
  const double d = std::exp(-1.0);
  EXPECT_NEAR(view.inputMeter[0], 0.8 * (1.0 - d), 1e-6);
  EXPECT_NEAR(view.inputMeter[1], 0.4 + (1.0 - 0.4) * d, 1e-6);
  EXPECT_NEAR(view.outputMeter[0], rig.kernels[0]->outputPeak() * (1.0 - d), 1e-6);
  EXPECT_GT(view.outputMeter[0], 0.0f);

  const float before = view.inputMeter[0];
  updateMeters(view, k.data(), 2, 48000, 48000.0f);  // a second: the meter has arrived
  EXPECT_GT(view.inputMeter[0], before);
  EXPECT_NEAR(view.inputMeter[0], 0.8f, 1e-6);
}

TEST(KernelMeters, EmptyBlockLeavesMetersUnchanged) {
  MeterRig rig;
  rig.feedPeaks({0.8f, 0.3f});
  ViewState view{};
  view.inputMeter[0] = 0.123f;
  view.outputMeter[1] = 0.456f;
  const std::vector<CBrevikKernel*> k = rig.pointers();
  updateMeters(view, k.data(), 2, 0, 44100.0f);
  EXPECT_EQ(view.inputMeter[0], 0.123f);
  EXPECT_EQ(view.outputMeter[1], 0.456f);
}

TEST(KernelMeters, OnlyTheFirstTwoChannelsAreMetered) {
  MeterRig rig;
  rig.feedPeaks({0.5f, 0.5f, 0.9f});
  ViewState view{};
  view.inputMeter[1] = 0.25f;
  std::vector<CBrevikKernel*> k = rig.pointers();
  updateMeters(view, k.data(), 1, 512, 44100.0f);
  EXPECT_GT(view.inputMeter[0], 0.0f);
  EXPECT_EQ(view.inputMeter[1], 0.25f);  // count 1: the second is not touched
  EXPECT_EQ(view.rawSpectrum[1], nullptr);

  updateMeters(view, k.data(), 3, 512, 44100.0f);
  EXPECT_LT(view.inputMeter[1], 0.5f);
}

TEST(KernelMeters, DisplayGetsStateASpectraAndTheSizeIndex) {
  MeterRig rig;
  rig.context.settings.sizeIndex = 0;
  ViewState view{};
  view.displaySizeIndex = 5;
  const std::vector<CBrevikKernel*> k = rig.pointers();
  updateMeters(view, k.data(), 2, 64, 44100.0f);
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(view.rawSpectrum[c], rig.kernels[c]->shownRawSpectrum());
    EXPECT_EQ(view.processedSpectrum[c], rig.kernels[c]->shownProcessedSpectrum());
    EXPECT_NE(view.rawSpectrum[c], view.processedSpectrum[c]);
  }
  EXPECT_NE(view.rawSpectrum[0], view.rawSpectrum[1]);
  EXPECT_EQ(view.displaySizeIndex, 0);
}

TEST(KernelMeters, BadSampleRatesNeverMakeMetersNonFinite) {
  for (const float rate : {0.0f, -48000.0f, kNaN, kInf, 1e-30f, 1e30f}) {
    MeterRig rig;
    rig.feedPeaks({0.7f, 0.2f});
    ViewState view{};
    const std::vector<CBrevikKernel*> k = rig.pointers();
    for (int block = 0; block < 10; ++block) {
      updateMeters(view, k.data(), 2, 256, rate);
      for (int c = 0; c < 2; ++c) {
        ASSERT_TRUE(std::isfinite(view.inputMeter[c])) << rate;
        ASSERT_TRUE(std::isfinite(view.outputMeter[c])) << rate;
        ASSERT_LE(view.inputMeter[c], 0.7f) << rate;
      }
    }
  }
}

TEST(KernelMeters, InfinitePeakAndPoisonedMeterRecover) {
  MeterRig rig;
  rig.feedPeaks({kInf, 0.5f});
  ASSERT_EQ(rig.kernels[0]->inputPeak(), kInf);
  ViewState view{};
  view.inputMeter[1] = kNaN;
  view.outputMeter[1] = -kInf;
  const std::vector<CBrevikKernel*> k = rig.pointers();
  updateMeters(view, k.data(), 2, 256, 44100.0f);
  for (int c = 0; c < 2; ++c) {
    EXPECT_TRUE(std::isfinite(view.inputMeter[c]));
    EXPECT_TRUE(std::isfinite(view.outputMeter[c]));
  }
  EXPECT_EQ(view.inputMeter[1], 0.5f);
}

TEST(KernelMeters, LongSilenceSettlesAtZeroWithoutDenormals) {
  MeterRig rig;
  ViewState view{};
  view.inputMeter[0] = 1.0f;
  const std::vector<CBrevikKernel*> k = rig.pointers();
  for (int block = 0; block < 2000; ++block) {
    updateMeters(view, k.data(), 2, 512, 44100.0f);
    ASSERT_NE(std::fpclassify(view.inputMeter[0]), FP_SUBNORMAL) << block;
  }
  EXPECT_EQ(view.inputMeter[0], 0.0f);
}

TEST(KernelMeters, NoKernelsIsHarmless) {
  ViewState view{};
  view.inputMeter[0] = 0.5f;
  updateMeters(view, nullptr, 2, 256, 44100.0f);
  CBrevikKernel* none[2] = {nullptr, nullptr};
  updateMeters(view, none, 2, 256, 44100.0f);
  EXPECT_EQ(view.inputMeter[0], 0.5f);
}

}  // namespace
