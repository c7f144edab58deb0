#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "core/ParamIds.h"
#include "dsp/BrevikKernel.h"
#include "dsp/KernelSettings.h"
#include "dsp/SpectralTables.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
const double kTop = std::pow(10.0, 1.8);  // +36 dB, the top of both gains

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

struct RefreshCase {
  std::vector<std::pair<int32_t, float>> values;
  double dry, wet, input, output;
  int32_t sizeIndex = 5, scriptIndex = 0;
  bool scriptBefore = false;
};

TEST(KernelSettings, RefreshGivesTheKernelsSettings) {
  std::vector<RefreshCase> cases = {
      {{}, 0, 1, 1, 1},
      {{{kParamDryLevel, 0.5f}, {kParamWetLevel, 0.8f}}, 0.125, 0.512, 1, 1},  // cubed
      {{{kParamInputGain, -6.0f}, {kParamOutputGain, 12.0f}}, 0, 1, 0.5011872, 3.9810717},
      {{{kParamInputGain, 100.0f}, {kParamOutputGain, 100.0f}}, 0, 1, kTop, kTop},
      {{{kParamInputGain, -80.0f}, {kParamOutputGain, -80.0f}}, 0, 1, 0, 0},
      {{{kParamScriptIndex, 2.9f}, {kParamScriptPosition, 1.0f}}, 0, 1, 1, 1, 5, 2, true},
      {{{kParamScriptIndex, kNaN},
        {kParamDryLevel, kNaN},
        {kParamWetLevel, 1e30f},
        {kParamInputGain, kNaN},
        {kParamOutputGain, 1e9f}},
       0,
       1,
       0,
       kTop},
      {{{kParamScriptIndex, -3.0f},
        {kParamDryLevel, -1.0f},
        {kParamInputGain, -1000.0f},
        {kParamOutputGain, -kInf}},
       0,
       1,
       0,
       0},
  };
  // The size truncates; restored sizes outside the range are clamped.
  for (int32_t i = 0; i < kFftSizeCount; ++i)
    cases.push_back({{{kParamFftSize, i + (i < 7 ? 0.75f : 0.0f)}}, 0, 1, 1, 1, i});
  for (const auto& [value, index] : std::vector<std::pair<float, int32_t>>{
           {1e9f, 7}, {8.0f, 7}, {kInf, 7}, {-5.0f, 0}, {-0.5f, 0}, {kNaN, 0}})
    cases.push_back({{{kParamFftSize, value}}, 0, 1, 1, 1, index});
  for (const RefreshCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << (&c - cases.data()));
    Values values;
    for (const auto& [index, value] : c.values) values.v[index] = value;
    KernelSettings s;
    refreshKernelSettings(s, values.v);
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
}

// Meters move towards the latest frame's peaks with a 30 ms time constant,
// stay finite whatever the sample rate and recover from a poisoned value.
TEST(KernelSettings, MetersFollowThePeaksSafely) {
  static const SpectralTables tables;
  Values values;
  SpectralContext context;
  tables.attach(context);
  refreshKernelSettings(context.settings, values.v);
  context.settings.sizeIndex = 0, context.settings.fftSize = 32;
  CBrevikKernel left(nullptr, &context, 0), right(nullptr, &context, 1);
  CBrevikKernel* kernels[] = {&left, &right};
  for (const auto& [kernel, peak] : {std::pair{&left, 0.8f}, std::pair{&right, -0.4f}}) {
    float in[16] = {}, out[16];
    in[9] = peak;
    bool silence = true;
    kernel->Process(in, out, 16, 1, silence);  // completes a frame
  }
  ViewState view{};
  view.inputMeter[1] = 1.0f;
  updateMeters(view, kernels, 2, 1440, 48000.0f);  // exactly one time constant
  const double d = std::exp(-1.0);
  EXPECT_NEAR(view.inputMeter[0], 0.8 * (1.0 - d), 1e-6);
  EXPECT_NEAR(view.inputMeter[1], 0.4 + 0.6 * d, 1e-6);
  EXPECT_NEAR(view.outputMeter[0], left.outputPeak() * (1.0 - d), 1e-6);
  EXPECT_EQ(view.rawSpectrum[1], right.shownRawSpectrum());
  view.outputMeter[1] = kNaN;
  for (const float rate : {44100.0f, 0.0f, -48000.0f, kNaN, kInf, 1e-30f, 1e30f}) {
    updateMeters(view, kernels, 2, 256, rate);
    for (int c = 0; c < 2; ++c)
      ASSERT_TRUE(std::isfinite(view.inputMeter[c]) && std::isfinite(view.outputMeter[c])) << rate;
  }
}

}  // namespace
