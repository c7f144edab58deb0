#include <gtest/gtest.h>

#include <cstring>

#include "core/CFTypes.h"
#include "core/GlobalSettings.h"
#include "core/ParamSpec.h"
#include "core/ViewState.h"
#include "osc/OSCHelper.h"
#include "tests/core/TestEffect.h"

namespace {

TEST(Dispatcher, AnswersTheFixedQueriesAndCanDo) {
  EffectFixture f;
  const struct {
    int32_t opcode;
    intptr_t value, expected;
  } answers[] = {{vst::effIdentify, 0, vst::fourCC('N', 'v', 'E', 'f')},
                 {vst::effGetPlugCategory, 0, vst::kPlugCategEffect},
                 {vst::effKeysRequired, 0, 1},
                 {vst::effGetCurrentMidiProgram, 0, -1},
                 {vst::effSetTotalSampleToProcess, 12345, 12345},
                 {vst::effGetNumProgramCategories, 0, 1},
                 {vst::effConnectInput, 0, 1},
                 {vst::effGetProgram, 0, 0}};
  for (const auto& a : answers) EXPECT_EQ(f.dispatch(a.opcode, 0, a.value), a.expected) << a.opcode;
  EXPECT_EQ(f.dispatch(vst::effCanBeAutomated, 2080), 1);
  EXPECT_EQ(f.dispatch(vst::effSetBlockSizeAndSampleRate, 0, 256, nullptr, 48000.0f), 1);
  EXPECT_EQ(f.effect->getSampleRate(), 48000.0f);
  EXPECT_EQ(f.effect->getBlockSize(), 256);
  char text[256] = {};
  for (int32_t opcode : {9, 16, 17, 27, 33, 41, 53, 62, 70, 80, 200, -1})
    EXPECT_EQ(f.dispatch(opcode, 0, 0, text), 0) << opcode;
  char yes[] = "receiveVstMidiEvent", upper[] = "ReceiveVstMidiEvent";
  EXPECT_EQ(f.dispatch(vst::effCanDo, 0, 0, yes), 1);
  EXPECT_EQ(f.dispatch(vst::effCanDo, 0, 0, upper), 0);
  EXPECT_EQ(f.dispatch(vst::effCanDo, 0, 0, nullptr), 0);
  f.dispatch(vst::effMainsChanged, 0, 1);
  EXPECT_GE(f.host.count(vst::audioMasterWantMidi), 1);
}

TEST(Dispatcher, BadParameterIndicesAndNullPointersAreIgnored) {
  EffectFixture f;
  vst::AEffect* e = f.aeffect();
  for (int32_t index : {-1, 2081, INT32_MIN}) {
    char text[64];
    std::memset(text, 'x', sizeof text);
    for (int32_t opcode : {vst::effGetParamLabel, vst::effGetParamDisplay, vst::effGetParamName}) {
      EXPECT_EQ(f.dispatch(opcode, index, 0, text), 0);
      EXPECT_EQ(text[0], '\0');
    }
    e->setParameter(e, index, 0.5f);
    EXPECT_EQ(e->getParameter(e, index), 0.0f);
  }
  for (int32_t opcode : {vst::effGetParamDisplay, vst::effGetProgramName, vst::effSetProgramName,
                         vst::effGetEffectName, vst::effGetChunk, vst::effProcessEvents})
    EXPECT_EQ(f.dispatch(opcode, 0, 0, nullptr), 0) << opcode;
  EXPECT_EQ(f.host.count(vst::audioMasterAutomate), 0);
}

TEST(Dispatcher, LatencyFollowsFftSizeWithOneNotificationPerChange) {
  EffectFixture f;
  vst::AEffect* e = f.aeffect();
  f.host.clear();
  e->setParameter(e, kParamFftSize, 6.0f / 7.0f);
  e->setParameter(e, kParamFftSize, 6.1f / 7.0f);
  EXPECT_EQ(f.host.count(vst::audioMasterIOChanged), 1);
  for (int k = 0; k < 8; ++k) {
    e->setParameter(e, kParamFftSize, static_cast<float>(k) / 7.0f);
    EXPECT_EQ(e->initialDelay, 32 << k);
  }
  EXPECT_EQ(f.host.count(vst::audioMasterIOChanged), 9);
  f.host.clear();
  f.effect->setParameterPlain(kParamFftSize, 3.0f, true);
  const auto automation = f.host.calls(vst::audioMasterAutomate);
  ASSERT_EQ(automation.size(), 1u);
  EXPECT_FLOAT_EQ(automation[0].opt, 3.0f / 7.0f);
}

TEST(Dispatcher, ViewSettingsFollowTheirParameters) {
  EffectFixture f;
  ViewState* view = nullptr;
  ASSERT_EQ(f.effect->GetProperty(kQwkProperty_ViewState, 0, 0, &view), 0);
  EXPECT_TRUE(view->logX);
  EXPECT_EQ(view->minDb, -160.0f);
  f.effect->setParameterPlain(kParamViewXAxis, 1.0f, false);
  f.effect->setParameterPlain(kParamViewMaxDb, -6.0f, false);
  EXPECT_FALSE(view->logX);
  EXPECT_EQ(view->maxDb, -6.0f);
}

TEST(Dispatcher, PropertiesAndValueNames) {
  EffectFixture f;
  uint32_t count = 0;
  EXPECT_EQ(f.effect->GetProperty(kQwkProperty_ParameterCount, 0, 0, &count), 0);
  EXPECT_EQ(count, 2081u);
  const ParamSpec* table = nullptr;
  ASSERT_EQ(f.effect->GetProperty(kQwkProperty_ParameterTable, 0, 0, &table), 0);
  EXPECT_STREQ(table[kParamCount - 1].name, "Bin 2048 Level");
  void* out = nullptr;
  EXPECT_EQ(f.effect->GetProperty(12345, 0, 0, &out), kAudioUnitErr_InvalidProperty);
  CFArray* names = nullptr;
  ASSERT_EQ(f.effect->GetParameterValueStrings(0, kParamScriptIndex, &names), 0);
  ASSERT_EQ(names->count(), 7u);  // "Off" and the six built-in scripts
  EXPECT_STREQ(names->stringAt(6)->c_str(), "Gate");
  names->release();
  EXPECT_EQ(f.effect->GetParameterValueStrings(0, kParamDryLevel, &names),
            kAudioUnitErr_InvalidParameter);
}

TEST(Dispatcher, OscPortFollowsOffsetAndBasePort) {
  EffectFixture f;
  QW::GlobalSettings::oscBasePort = 7000;
  QW::OSCHelper* osc = f.effect->oscHelper();
  EXPECT_EQ(osc->Port(), 0);
  f.effect->setParameterPlain(kParamOscPortOffset, 5.0f, false);
  EXPECT_EQ(osc->Port(), 7005);
  f.effect->setParameterPlain(kParamOscPortOffset, 0.0f, false);
  EXPECT_EQ(osc->Port(), 0);
}

}  // namespace
