#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>

#include "core/CFTypes.h"
#include "core/ParameterInfo.h"
#include "core/QwkAuBase.h"
#include "core/ViewState.h"
#include "tests/core/TestEffect.h"

namespace {

TEST(Normalization, IndexedRoundsHalvesUpward) {
  EffectFixture f;
  f.effect->setParameter(kParamFftSize, 0.5f);
  EXPECT_EQ(f.effect->getParameterPlain(kParamFftSize), 4.0f);
  f.effect->setParameter(kParamFftSize, 0.49f);
  EXPECT_EQ(f.effect->getParameterPlain(kParamFftSize), 3.0f);
  f.effect->setParameter(kParamScripted1, 0.0f);
  EXPECT_EQ(f.effect->getParameterPlain(kParamScripted1), -100.0f);
  EXPECT_FLOAT_EQ(f.effect->getParameter(kParamScripted1), 0.0f);
}

TEST(Normalization, LinearUnitsMapTheRange) {
  EffectFixture f;
  f.effect->setParameter(kParamInputGain, 0.25f);
  EXPECT_FLOAT_EQ(f.effect->getParameterPlain(kParamInputGain), -80.0f + 0.25f * 116.0f);
  EXPECT_FLOAT_EQ(f.effect->getParameter(kParamInputGain), 0.25f);
  EXPECT_FLOAT_EQ(f.effect->getParameter(kParamViewSmoothing), 500.0f / 2000.0f);
}

TEST(Normalization, HertzSweepsLogarithmically) {
  AudioUnitParameterInfo info{};
  info.unit = kAudioUnitParameterUnit_Hertz;
  info.minValue = 20.0f;
  info.maxValue = 20000.0f;
  EXPECT_NEAR(fromNormalized(0.5f, info), std::sqrt(20.0f * 20000.0f), 0.01f);
  EXPECT_NEAR(toNormalized(200.0f, info), 1.0f / 3.0f, 1e-6f);
  EXPECT_NEAR(toNormalized(fromNormalized(0.8f, info), info), 0.8f, 1e-5f);
}

TEST(Normalization, EmptyRangeAnswersTheMinimum) {
  AudioUnitParameterInfo info{};  // "Script Index" while no script is loaded
  info.unit = kAudioUnitParameterUnit_Indexed;
  EXPECT_EQ(toNormalized(0.0f, info), 0.0f);
  EXPECT_EQ(fromNormalized(0.7f, info), 0.0f);
}

TEST(Normalization, NoClampingInEitherDirection) {
  AudioUnitParameterInfo info{};
  info.unit = kAudioUnitParameterUnit_Generic;
  info.minValue = 0.0f;
  info.maxValue = 2.0f;
  EXPECT_FLOAT_EQ(fromNormalized(1.5f, info), 3.0f);
  EXPECT_FLOAT_EQ(toNormalized(-2.0f, info), -1.0f);
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
      {kParamOutputGain, -79.9f, "-79.90", nullptr},
      {kParamOscPortOffset, 0.0f, "Off", nullptr},
      {kParamOscPortOffset, 12.0f, "12", nullptr},
      {kParamFftSize, std::nullopt, "1024", nullptr},
      {kParamViewXAxis, 1.0f, "Linear", nullptr},
      {kParamScriptPosition, std::nullopt, "After", nullptr},
      {kParamScripted1, -7.0f, "-7", nullptr},
      {kParamScriptIndex, std::nullopt, "Off", nullptr},
      {kParamScriptIndex, 3.0f, "Low Pass", nullptr},
      // Outside the name list: the number. (A restored "Script Index" of
      // 1e6 is covered with the chunk tests.)
      {kParamFftSize, -5.0f, "-5", nullptr},
      {kParamFftSize, std::nanf(""), "32", nullptr},
  };
  for (const auto& c : cases) {
    if (c.plain) f.effect->setParameterPlain(c.index, *c.plain, false);
    EXPECT_EQ(displayOf(*f.effect, c.index), c.display) << c.index << " at " << c.plain.value_or(0);
    if (c.label) {
      EXPECT_EQ(labelOf(*f.effect, c.index), c.label) << c.index;
    }
  }
}

TEST(Display, NamesAreCutAtFifteenCharacters) {
  EffectFixture f;
  EXPECT_EQ(nameOf(*f.effect, kParamBin0Level), "Bin 0 Level");
  EXPECT_EQ(nameOf(*f.effect, kParamCount - 1), "Bin 2048 Level");
  EXPECT_EQ(nameOf(*f.effect, kParamViewMinLinear), "View Min Linear");
  EXPECT_EQ(nameOf(*f.effect, 31), "Dummyd");
}

// A small effect of its own to reach the units and lists Veldrana lacks.
class UnitsEffect : public QwkAuBase {
 public:
  static const ParamSpec kTable[3];
  UnitsEffect() : QwkAuBase(nullptr, kTable, 3) {}
  ViewState* ViewStateAddress() override { return &view; }
  int32_t GetParameterValueStrings(uint32_t scope, uint32_t parameter, CFArray** out) override {
    if (scope != 0 || parameter != 2) return kAudioUnitErr_InvalidParameter;
    const char* names[] = {"short", "a value name of 24 chars"};
    *out = CFArray::createWithStrings(names, 2);
    return 0;
  }
  ViewState view{};
};
const ParamSpec UnitsEffect::kTable[3] = {
    {"Switch", kAudioUnitParameterUnit_Boolean, 0, 1, 0},
    {"Pan", kAudioUnitParameterUnit_Pan, -1, 1, 0},
    {"Choice", kAudioUnitParameterUnit_Indexed, 0, 1, 0},
};

TEST(Display, BooleansPansAndNamesOfTwentyFourCharactersOrMore) {
  UnitsEffect e;
  e.setParameterPlain(0, 0.2f, false);
  EXPECT_EQ(displayOf(e, 0), "On");
  e.setParameterPlain(0, 0.0f, false);
  EXPECT_EQ(displayOf(e, 0), "Off");
  EXPECT_EQ(labelOf(e, 1), "L/R");
  EXPECT_EQ(displayOf(e, 2), "short");
  e.setParameterPlain(2, 1.0f, false);
  EXPECT_EQ(displayOf(e, 2), "");
}

TEST(ClampedSet, KeepsValuesInRangeAndAnnounces) {
  EffectFixture f;
  const ParameterInfo info = f.effect->parameterInfo(kParamInputGain);
  info.setClamped(100.0f);
  EXPECT_EQ(f.effect->getParameterPlain(kParamInputGain), 36.0f);
  info.setClamped(-1000.0f);
  EXPECT_EQ(f.effect->getParameterPlain(kParamInputGain), -80.0f);
  info.setClamped(std::nanf(""));
  EXPECT_EQ(f.effect->getParameterPlain(kParamInputGain), -80.0f);
  const auto automation = f.host.calls(vst::audioMasterAutomate);
  ASSERT_EQ(automation.size(), 3u);
  EXPECT_EQ(automation[0].index, kParamInputGain);
  EXPECT_FLOAT_EQ(automation[0].opt, 1.0f);
}

TEST(CFTypes, ConstantStringsAreSharedAndArraysOwnCopies) {
  static const char kLiteral[] = "constant";
  CFString* a = CFString::constant(kLiteral);
  EXPECT_EQ(a, CFString::constant(kLiteral));
  const uint32_t before = a->retainCount();
  a->retain();
  a->release();
  EXPECT_EQ(a->retainCount(), before);

  const char* texts[] = {"x", "y"};
  CFArray* array = CFArray::createWithStrings(texts, 2);
  EXPECT_EQ(array->count(), 2u);
  EXPECT_STREQ(array->stringAt(1)->c_str(), "y");
  EXPECT_EQ(array->stringAt(0)->retainCount(), 1u);
  EXPECT_EQ(array->stringAt(2), nullptr);
  array->release();
}

}  // namespace
