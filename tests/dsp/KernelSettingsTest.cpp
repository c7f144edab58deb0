#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
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

// ---------------------------------------------------------------------------
// Settings refresh

TEST(KernelSettingsRefresh, DefaultProgramIsTransparentAt1024) {
  const Values values;
  const KernelSettings s = refreshed(values);
  EXPECT_EQ(s.sizeIndex, 5);
  EXPECT_EQ(s.fftSize, 1024);
  EXPECT_EQ(s.dryGain, 0.0f);
  EXPECT_EQ(s.wetGain, 1.0f);
  EXPECT_EQ(s.inputGain, 1.0f);
  EXPECT_EQ(s.outputGain, 1.0f);
  EXPECT_FALSE(s.scriptBefore);
  EXPECT_EQ(s.scriptIndex, 0);
  EXPECT_EQ(s.binLevels, values.v + kParamBin0Level);
}

TEST(KernelSettingsRefresh, DryAndWetAreCubed) {
  Values values;
  values.v[kParamDryLevel] = 0.5f;
  values.v[kParamWetLevel] = 0.8f;
  const KernelSettings s = refreshed(values);
  EXPECT_EQ(s.dryGain, 0.125f);
  EXPECT_FLOAT_EQ(s.wetGain, 0.512f);
}

TEST(KernelSettingsRefresh, GainsFollowDecibels) {
  Values values;
  values.v[kParamInputGain] = -79.9f;
  values.v[kParamOutputGain] = 36.0f;
  KernelSettings s = refreshed(values);
  EXPECT_NEAR(s.inputGain, std::pow(10.0, -3.995), 1e-6 * std::pow(10.0, -3.995));
  EXPECT_NEAR(s.outputGain, std::pow(10.0, 1.8), 1e-6 * std::pow(10.0, 1.8));

  values.v[kParamInputGain] = -6.0f;
  values.v[kParamOutputGain] = 12.0f;
  s = refreshed(values);
  EXPECT_FLOAT_EQ(s.inputGain, 0.5011872f);
  EXPECT_FLOAT_EQ(s.outputGain, 3.9810717f);
}

TEST(KernelSettingsRefresh, MinusEightyDecibelsIsExactlySilence) {
  Values values;
  values.v[kParamInputGain] = -80.0f;
  values.v[kParamOutputGain] = -80.0f;
  const KernelSettings s = refreshed(values);
  EXPECT_EQ(s.inputGain, 0.0f);
  EXPECT_EQ(s.outputGain, 0.0f);
}

TEST(KernelSettingsRefresh, FftSizeTruncates) {
  Values values;
  for (int i = 0; i < kFftSizeCount; ++i) {
    values.v[kParamFftSize] = static_cast<float>(i) + 0.75f * (i < 7);
    const KernelSettings s = refreshed(values);
    EXPECT_EQ(s.sizeIndex, i);
    EXPECT_EQ(s.fftSize, 32 << i);
  }
}

TEST(KernelSettingsRefresh, RestoredFftSizeOutsideTheRangeIsClamped) {
  struct Case {
    float value;
    int32_t index;
  };
  for (const Case c : {Case{1e9f, 7}, Case{8.0f, 7}, Case{kInf, 7}, Case{-5.0f, 0}, Case{-kInf, 0},
                       Case{-0.5f, 0}, Case{kNaN, 0}}) {
    Values values;
    values.v[kParamFftSize] = c.value;
    const KernelSettings s = refreshed(values);
    EXPECT_EQ(s.sizeIndex, c.index) << c.value;
    EXPECT_EQ(s.fftSize, fftSizeForIndex(c.index)) << c.value;
  }
}

TEST(KernelSettingsRefresh, ScriptIndexTruncatesAndPositionIsBeforeWhenNonZero) {
  Values values;
  values.v[kParamScriptIndex] = 2.9f;
  values.v[kParamScriptPosition] = 1.0f;
  KernelSettings s = refreshed(values);
  EXPECT_EQ(s.scriptIndex, 2);
  EXPECT_TRUE(s.scriptBefore);

  values.v[kParamScriptIndex] = 0.0f;
  values.v[kParamScriptPosition] = 0.0f;
  s = refreshed(values);
  EXPECT_EQ(s.scriptIndex, 0);
  EXPECT_FALSE(s.scriptBefore);
}

TEST(KernelSettingsRefresh, RestoredGarbageGivesSafeSettings) {
  Values values;
  values.v[kParamScriptIndex] = kNaN;
  values.v[kParamDryLevel] = kNaN;
  values.v[kParamWetLevel] = 1e30f;
  values.v[kParamInputGain] = kNaN;
  values.v[kParamOutputGain] = 1e9f;
  KernelSettings s = refreshed(values);
  EXPECT_EQ(s.scriptIndex, 0);
  EXPECT_EQ(s.dryGain, 0.0f);
  EXPECT_EQ(s.wetGain, 1.0f);
  EXPECT_EQ(s.inputGain, 0.0f);
  EXPECT_NEAR(s.outputGain, std::pow(10.0, 1.8), 1e-4);

  values.v[kParamScriptIndex] = -3.0f;
  values.v[kParamDryLevel] = -1.0f;
  values.v[kParamInputGain] = -1000.0f;
  values.v[kParamOutputGain] = -kInf;
  s = refreshed(values);
  EXPECT_EQ(s.scriptIndex, 0);
  EXPECT_EQ(s.dryGain, 0.0f);
  EXPECT_EQ(s.inputGain, 0.0f);
  EXPECT_EQ(s.outputGain, 0.0f);
}

// ---------------------------------------------------------------------------
// Meters

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
