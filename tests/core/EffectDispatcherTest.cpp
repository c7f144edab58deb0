#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/CFTypes.h"
#include "core/GlobalSettings.h"
#include "core/ParamSpec.h"
#include "core/ViewState.h"
#include "osc/OSCHelper.h"
#include "tests/core/TestEffect.h"

namespace {

TEST(Dispatcher, AnswersTheFixedQueriesCanDoProgramsMidiAndRect) {
  EffectFixture f;
  // The effect record, names and versions: see the .so tests.
  EXPECT_EQ(f.aeffect()->object, static_cast<AudioEffect*>(f.effect.get()));
  char text[256] = {};
  EXPECT_EQ(f.dispatch(vst::effIdentify), vst::fourCC('N', 'v', 'E', 'f'));
  EXPECT_EQ(f.dispatch(vst::effGetPlugCategory), vst::kPlugCategEffect);
  EXPECT_EQ(f.dispatch(vst::effCanBeAutomated, 2080), 1);
  EXPECT_EQ(f.dispatch(vst::effKeysRequired), 1);
  EXPECT_EQ(f.dispatch(vst::effGetCurrentMidiProgram), -1);
  EXPECT_EQ(f.dispatch(vst::effSetTotalSampleToProcess, 0, 12345), 12345);
  EXPECT_EQ(f.dispatch(vst::effGetTailSize), 0);
  EXPECT_EQ(f.dispatch(vst::effGetNumProgramCategories), 1);
  EXPECT_EQ(f.dispatch(vst::effConnectInput), 1);
  EXPECT_EQ(f.dispatch(vst::effConnectOutput), 1);
  EXPECT_EQ(f.dispatch(vst::effSetBlockSizeAndSampleRate, 0, 256, nullptr, 48000.0f), 1);
  EXPECT_EQ(f.effect->getSampleRate(), 48000.0f);
  EXPECT_EQ(f.effect->getBlockSize(), 256);
  for (int32_t opcode : {9,  16, 17, 18, 20, 21, 27, 33, 34, 36, 41, 42, 44, 50, 53, 56,  62,
                         64, 65, 66, 67, 68, 70, 71, 72, 74, 75, 76, 77, 78, 79, 80, 200, -1})
    EXPECT_EQ(f.dispatch(opcode, 0, 0, text), 0) << opcode;

  char yes[] = "receiveVstMidiEvent", other[] = "receiveVstEvents", upper[] = "ReceiveVstMidiEvent";
  EXPECT_EQ(f.dispatch(vst::effCanDo, 0, 0, yes), 1);
  for (char* no : {other, upper, static_cast<char*>(nullptr)})
    EXPECT_EQ(f.dispatch(vst::effCanDo, 0, 0, no), 0);

  for (intptr_t program : {1, -1}) {
    f.dispatch(vst::effSetProgram, 0, program);
    EXPECT_EQ(f.dispatch(vst::effGetProgram), 0);
  }

  f.host.clear();
  f.dispatch(vst::effMainsChanged, 0, 1);
  EXPECT_GE(f.host.count(vst::audioMasterWantMidi), 1);
  f.host.clear();
  f.dispatch(vst::effMainsChanged, 0, 0);
  EXPECT_EQ(f.host.count(vst::audioMasterWantMidi), 0);

  vst::ERect* rect = nullptr;
  EXPECT_EQ(f.dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ((std::vector<int>{rect->top, rect->left, rect->bottom, rect->right}),
            (std::vector<int>{0, 0, 512, 1024}));
  EXPECT_EQ(f.dispatch(vst::effEditGetRect, 0, 0, nullptr), 0);
}

TEST(HostileHost, BadParameterIndicesAreIgnored) {
  EffectFixture f;
  vst::AEffect* e = f.aeffect();
  const auto before = f.effect->getParameterPlain(kParamBin0Level);
  for (int32_t index : {-1, 2081, 1000000, INT32_MIN}) {
    char text[64];
    std::memset(text, 'x', sizeof text);
    for (int32_t opcode : {vst::effGetParamLabel, vst::effGetParamDisplay, vst::effGetParamName}) {
      EXPECT_EQ(f.dispatch(opcode, index, 0, text), 0);
      EXPECT_EQ(text[0], '\0');
      EXPECT_EQ(f.dispatch(opcode, index, 0, nullptr), 0);
    }
    e->setParameter(e, index, 0.5f);
    EXPECT_EQ(e->getParameter(e, index), 0.0f);
    f.effect->setParameterPlain(index, 0.5f, true);
  }
  EXPECT_EQ(f.effect->getParameterPlain(kParamBin0Level), before);
  for (int32_t opcode :
       {vst::effGetParamLabel, vst::effGetParamDisplay, vst::effGetParamName,
        vst::effGetProgramName, vst::effSetProgramName, vst::effGetProgramNameIndexed,
        vst::effGetEffectName, vst::effGetVendorString, vst::effGetProductString, vst::effGetChunk,
        vst::effProcessEvents, vst::effGetSpeakerArrangement})
    EXPECT_EQ(f.dispatch(opcode, 0, 0, nullptr), 0) << opcode;
  EXPECT_EQ(f.host.count(vst::audioMasterAutomate), 0);
}

TEST(Latency, FollowsFftSizeWithOneNotificationPerChange) {
  EffectFixture f;
  vst::AEffect* e = f.aeffect();
  f.host.clear();
  e->setParameter(e, kParamFftSize, 6.0f / 7.0f);
  EXPECT_EQ(e->initialDelay, 2048);
  EXPECT_EQ(f.host.count(vst::audioMasterIOChanged), 1);
  e->setParameter(e, kParamFftSize, 6.0f / 7.0f);
  e->setParameter(e, kParamFftSize, 6.1f / 7.0f);
  EXPECT_EQ(f.host.count(vst::audioMasterIOChanged), 1);
  for (int k = 0; k < 8; ++k) {
    e->setParameter(e, kParamFftSize, static_cast<float>(k) / 7.0f);
    EXPECT_EQ(e->initialDelay, 32 << k);
  }
  // One for 1024 -> 2048, then eight for 2048 -> 32 -> 64 ... -> 4096.
  EXPECT_EQ(f.host.count(vst::audioMasterIOChanged), 9);
  f.dispatch(vst::effSetProgram, 0, 0);
  EXPECT_EQ(f.host.count(vst::audioMasterIOChanged), 9);
}

TEST(Automation, PlainSetsAnnounceNormalizedValues) {
  EffectFixture f;
  f.host.clear();
  f.effect->setParameterPlain(kParamFftSize, 3.0f, true);
  f.effect->setParameterPlain(kParamDryLevel, 0.5f, false);
  const auto automation = f.host.calls(vst::audioMasterAutomate);
  ASSERT_EQ(automation.size(), 1u);
  EXPECT_EQ(automation[0].index, kParamFftSize);
  EXPECT_FLOAT_EQ(automation[0].opt, 3.0f / 7.0f);
  EXPECT_EQ(f.aeffect()->initialDelay, 256);
}

TEST(ViewSettings, FollowTheirParameters) {
  EffectFixture f;
  ViewState* view = nullptr;
  ASSERT_EQ(f.effect->GetProperty(kQwkProperty_ViewState, 0, 0, &view), 0);
  ASSERT_EQ(view, f.effect->ViewStateAddress());
  EXPECT_EQ(view->displaySizeIndex, 5);
  EXPECT_TRUE(view->logX);
  EXPECT_TRUE(view->logY);
  EXPECT_EQ(view->minDb, -160.0f);
  EXPECT_EQ(view->smoothing, 500.0f);
  f.effect->setParameterPlain(kParamViewXAxis, 1.0f, false);
  EXPECT_FALSE(view->logX);
  EXPECT_EQ(displayOf(*f.effect, kParamViewXAxis), "Linear");
  f.effect->setParameterPlain(kParamViewMaxDb, -6.0f, false);
  f.effect->setParameterPlain(kParamViewMinLinear, 0.25f, false);
  f.effect->setParameterPlain(kParamViewSmoothing, 0.0f, false);
  EXPECT_EQ(view->maxDb, -6.0f);
  EXPECT_EQ(view->minLinear, 0.25f);
  EXPECT_EQ(view->smoothing, 0.0f);
}

TEST(Properties, SizesAndAnswers) {
  EffectFixture f;
  uint32_t count = 0;
  EXPECT_EQ(f.effect->GetProperty(kQwkProperty_ParameterCount, 0, 0, &count), 0);
  EXPECT_EQ(count, 2081u);
  uint32_t size = 0;
  bool writable = true;
  EXPECT_EQ(f.effect->GetPropertyInfo(64005, 0, 0, &size, &writable), 0);
  EXPECT_EQ(size, 8u);
  EXPECT_FALSE(writable);
  void* out = nullptr;
  EXPECT_EQ(f.effect->GetProperty(64005, 0, 0, &out), kAudioUnitErr_InvalidProperty);
  EXPECT_EQ(f.effect->GetPropertyInfo(64008, 0, 0, &size, &writable), 0);
  EXPECT_EQ(size, 1u);
  EXPECT_TRUE(writable);
  EXPECT_EQ(f.effect->GetPropertyInfo(33, 0, 0, &size, &writable), 0);
  EXPECT_EQ(size, 24u);
  EXPECT_EQ(f.effect->GetPropertyInfo(64012, 0, 0, &size, &writable),
            kAudioUnitErr_InvalidProperty);
  EXPECT_EQ(f.effect->GetProperty(12345, 0, 0, &out), kAudioUnitErr_InvalidProperty);

  const ParamSpec* table = nullptr;
  ASSERT_EQ(f.effect->GetProperty(kQwkProperty_ParameterTable, 0, 0, &table), 0);
  EXPECT_STREQ(table[kParamFftSize].name, "FFT Size");
  EXPECT_STREQ(table[kParamCount - 1].name, "Bin 2048 Level");
  EXPECT_EQ(table[kParamScriptIndex].maxValue, 6.0f);  // the six built-in scripts

  const char* name = nullptr;
  for (uint32_t property : {64002u, 64003u, 64004u}) {
    ASSERT_EQ(f.effect->GetProperty(property, 0, 0, &name), 0);
    EXPECT_STREQ(name, "Veldrana");
  }
  double rate = 0;
  f.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 96000.0f);
  EXPECT_EQ(f.effect->GetProperty(2, 0, 0, &rate), 0);
  EXPECT_EQ(rate, 96000.0);
  int32_t offset = -1;
  f.effect->setParameterPlain(kParamOscPortOffset, 9.0f, false);
  EXPECT_EQ(f.effect->GetProperty(kQwkProperty_OscPortOffset, 0, 0, &offset), 0);
  EXPECT_EQ(offset, 9);
  f.effect->setParameterPlain(kParamOscPortOffset, 0.0f, false);
  EXPECT_EQ(f.effect->WriteProperty(64008, 0, &offset, 1), kAudioUnitErr_InvalidProperty);
}

TEST(Properties, StringFromValue) {
  EffectFixture f;
  const float zero = 0.0f, minusEighty = -80.0f, one = 1.0f;
  AudioUnitParameterStringFromValue query{kParamViewSmoothing, &zero, nullptr};
  ASSERT_EQ(f.effect->GetProperty(33, 0, 0, &query), 0);
  ASSERT_NE(query.outString, nullptr);
  EXPECT_STREQ(query.outString->c_str(), "Off");
  query.outString->release();
  query = {kParamInputGain, &minusEighty, nullptr};
  ASSERT_EQ(f.effect->GetProperty(33, 0, 0, &query), 0);
  EXPECT_STREQ(query.outString->c_str(), "-inf");
  query.outString->release();
  query = {kParamInputGain, &one, nullptr};
  ASSERT_EQ(f.effect->GetProperty(33, 0, 0, &query), 0);
  EXPECT_EQ(query.outString, nullptr);
  query = {kParamDryLevel, nullptr, nullptr};
  EXPECT_EQ(f.effect->GetProperty(33, 0, 0, &query), kAudioUnitErr_InvalidParameter);
  query = {99999, nullptr, nullptr};
  EXPECT_EQ(f.effect->GetProperty(33, 0, 0, &query), kAudioUnitErr_InvalidParameter);
}

TEST(Properties, ValueNameLists) {
  EffectFixture f;
  CFArray* names = nullptr;
  ASSERT_EQ(f.effect->ReadProperty(16, kParamFftSize, &names), 0);
  ASSERT_EQ(names->count(), 8u);
  EXPECT_STREQ(names->stringAt(7)->c_str(), "4096");
  names->release();
  ASSERT_EQ(f.effect->GetParameterValueStrings(0, kParamScriptIndex, &names), 0);
  const char* expected[] = {"Off",       "Shift",     "Reverse", "Low Pass",
                            "High Pass", "Band Pass", "Gate"};
  ASSERT_EQ(names->count(), 7u);
  for (size_t i = 0; i < 7; ++i) EXPECT_STREQ(names->stringAt(i)->c_str(), expected[i]);
  names->release();
  ASSERT_EQ(f.effect->GetParameterValueStrings(0, kParamScriptPosition, &names), 0);
  EXPECT_STREQ(names->stringAt(1)->c_str(), "Before");
  names->release();
  EXPECT_EQ(f.effect->GetParameterValueStrings(1, kParamFftSize, &names),
            kAudioUnitErr_InvalidParameter);
  EXPECT_EQ(f.effect->GetParameterValueStrings(0, kParamDryLevel, &names),
            kAudioUnitErr_InvalidParameter);
}

TEST(OscPort, FollowsOffsetAndBasePort) {
  EffectFixture f;
  QW::GlobalSettings::oscBasePort = 7000;
  QW::OSCHelper* osc = f.effect->oscHelper();
  EXPECT_EQ(osc->Port(), 0);
  f.effect->setParameterPlain(kParamOscPortOffset, 5.0f, false);
  EXPECT_EQ(osc->Port(), 7005);
  f.effect->setParameterPlain(kParamOscPortOffset, 0.0f, false);
  EXPECT_EQ(osc->Port(), 0);
  f.effect->setParameterPlain(kParamOscPortOffset, 3.0f, false);
  QW::GlobalSettings::oscBasePort = 9000;
  f.dispatch(vst::effSetProgram, 0, 0);
  EXPECT_EQ(osc->Port(), 9003);
  QW::GlobalSettings::oscBasePort = 7000;
}

TEST(Construction, StartsFromTheDefaults) {
  EffectFixture f;
  char name[64] = {};
  f.dispatch(vst::effGetProgramName, 0, 0, name);
  EXPECT_STREQ(name, "Defaults");
  EXPECT_EQ(f.effect->getParameterPlain(kParamWetLevel), 1.0f);
  EXPECT_EQ(f.effect->getParameterPlain(kParamDryLevel), 0.0f);
  for (int n = 0; n <= 2048; ++n) ASSERT_EQ(f.effect->getParameterPlain(kParamBin0Level + n), 1.0f);
  // Construction tells the host nothing but asks for its version at most.
  EXPECT_EQ(f.host.count(vst::audioMasterIOChanged), 0);
  EXPECT_EQ(f.host.count(vst::audioMasterAutomate), 0);
}

}  // namespace
