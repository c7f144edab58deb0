#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "core/CFTypes.h"
#include "core/ParameterInfo.h"
#include "core/QwkAuBase.h"
#include "core/ViewState.h"
#include "tests/core/TestEffect.h"

namespace {

TEST(Normalization, IndexedRoundsHertzSweepsLogarithmicallyOthersAreLinear) {
  EffectFixture f;
  for (const auto& [normalized, plain] : {std::pair{0.5f, 4.0f}, std::pair{0.49f, 3.0f}}) {
    f.effect->setParameter(kParamFftSize, normalized);
    EXPECT_EQ(f.effect->getParameterPlain(kParamFftSize), plain) << normalized;
  }
  f.effect->setParameter(kParamInputGain, 0.25f);
  EXPECT_FLOAT_EQ(f.effect->getParameterPlain(kParamInputGain), -80.0f + 0.25f * 116.0f);
  EXPECT_FLOAT_EQ(f.effect->getParameter(kParamViewSmoothing), 500.0f / 2000.0f);
  AudioUnitParameterInfo info{};
  info.unit = kAudioUnitParameterUnit_Hertz;
  info.minValue = 20.0f;
  info.maxValue = 20000.0f;
  EXPECT_NEAR(fromNormalized(0.5f, info), std::sqrt(20.0f * 20000.0f), 0.01f);
  EXPECT_NEAR(toNormalized(200.0f, info), 1.0f / 3.0f, 1e-6f);
  info = {};  // an empty indexed range, as "Script Index" without scripts
  info.unit = kAudioUnitParameterUnit_Indexed;
  EXPECT_EQ(toNormalized(0.0f, info), 0.0f);
  EXPECT_EQ(fromNormalized(0.7f, info), 0.0f);
}

// Each row sets its parameter (unless the default is shown) and reads the
// display and, where given, the label.
TEST(Display, ByUnitMagnitudeSignAndName) {
  EffectFixture f;
  const struct {
    int32_t index;
    std::optional<float> plain;
    const char* display;
    const char* label;
  } cases[] = {
      {kParamViewSmoothing, 500.0f, "500.0", "ms"},
      {kParamInputGain, -12.5f, "-12.50", "dB"},
      {kParamDryLevel, 0.25f, "0.250", ""},
      {kParamViewSmoothing, 1999.6f, "2000", nullptr},
      {kParamViewSmoothing, 0.0f, "Off", nullptr},
      {kParamInputGain, -80.0f, "-inf", nullptr},
      {kParamOscPortOffset, 12.0f, "12", nullptr},
      {kParamFftSize, std::nullopt, "1024", nullptr},
      {kParamViewXAxis, 1.0f, "Linear", nullptr},
      {kParamScriptPosition, std::nullopt, "After", nullptr},
      {kParamScripted1, -7.0f, "-7", nullptr},
      {kParamScriptIndex, 3.0f, "Low Pass", nullptr},
      {kParamFftSize, -5.0f, "-5", nullptr},  // outside the name list: the number
      {kParamFftSize, std::nanf(""), "32", nullptr},
  };
  for (const auto& c : cases) {
    if (c.plain) f.effect->setParameterPlain(c.index, *c.plain, false);
    EXPECT_EQ(displayOf(*f.effect, c.index), c.display) << c.index << " at " << c.plain.value_or(0);
    if (c.label) {
      EXPECT_EQ(labelOf(*f.effect, c.index), c.label) << c.index;
    }
  }
  EXPECT_EQ(nameOf(*f.effect, kParamCount - 1), "Bin 2048 Level");
  EXPECT_EQ(nameOf(*f.effect, kParamViewMinLinear), "View Min Linear");  // at most 15
}

// A small effect of its own to reach the units Veldrana lacks.
class UnitsEffect : public QwkAuBase {
 public:
  static constexpr ParamSpec kTable[2] = {{"Switch", kAudioUnitParameterUnit_Boolean, 0, 1, 0},
                                          {"Pan", kAudioUnitParameterUnit_Pan, -1, 1, 0}};
  UnitsEffect() : QwkAuBase(nullptr, kTable, 2) {}
  ViewState* ViewStateAddress() override { return &view; }
  ViewState view{};
};

TEST(Display, BooleansAndPans) {
  UnitsEffect e;
  e.setParameterPlain(0, 0.2f, false);
  EXPECT_EQ(displayOf(e, 0), "On");
  e.setParameterPlain(0, 0.0f, false);
  EXPECT_EQ(displayOf(e, 0), "Off");
  EXPECT_EQ(labelOf(e, 1), "L/R");
}

TEST(ClampedSet, KeepsValuesInRangeAndAnnounces) {
  EffectFixture f;
  const ParameterInfo info = f.effect->parameterInfo(kParamInputGain);
  for (const auto& [set, got] :
       {std::pair{100.0f, 36.0f}, std::pair{-1000.0f, -80.0f}, std::pair{std::nanf(""), -80.0f}}) {
    info.setClamped(set);
    EXPECT_EQ(f.effect->getParameterPlain(kParamInputGain), got) << set;
  }
  const auto automation = f.host.calls(vst::audioMasterAutomate);
  ASSERT_EQ(automation.size(), 3u);
  EXPECT_FLOAT_EQ(automation[0].opt, 1.0f);
}

}  // namespace
