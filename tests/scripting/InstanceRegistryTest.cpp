#include <gtest/gtest.h>

#include "ScriptTestSupport.h"
#include "core/ViewState.h"
#include "scripting/InstanceRegistry.h"

using namespace scripting_test;

namespace {

struct TwoInstances : ::testing::Test {
  RecordingHost host;
  std::unique_ptr<QwkTonalmire> a = makeEffect();
  std::unique_ptr<QwkTonalmire> b = makeEffect();
  void SetUp() override { b->setParameterPlain(kParamOscPortOffset, 5.0f, false); }
  std::string runInA(const std::string& code) { return runLua(helperOf(*a), code); }
};

TEST_F(TwoInstances, BothJoinTheRegistryAndLeaveOnDestruction) {
  auto& registry = QW::InstanceRegistry::instance();
  EXPECT_TRUE(registry.Contains(a.get()));
  EXPECT_TRUE(registry.Contains(b.get()));
  const QwkTonalmire* gone = b.get();
  b.reset();
  EXPECT_FALSE(registry.Contains(gone));
}

TEST_F(TwoInstances, SetOthersParameterChangesOnlyTheInstanceWithThatKey) {
  EXPECT_EQ(runInA("setOthersParameter(5, 'Dry Level', 0.25)"), "");
  EXPECT_FLOAT_EQ(b->getParameterPlain(kParamDryLevel), 0.25f);
  EXPECT_EQ(a->getParameterPlain(kParamDryLevel), 0.0f);
  EXPECT_EQ(runInA("setOthersParameter('5', 2, 0.5)"), "");
  EXPECT_FLOAT_EQ(b->getParameterPlain(kParamWetLevel), 0.5f);
  EXPECT_EQ(a->getParameterPlain(kParamWetLevel), 1.0f);
}

TEST_F(TwoInstances, GetOthersParameterReadsTheMatchingInstance) {
  b->setParameterPlain(kParamInputGain, -6.0f, false);
  EXPECT_EQ(luaNumber(helperOf(*a), "getOthersParameter(5.7, 'Input Gain')"), -6.0);
  b.reset();
  EXPECT_EQ(luaNumber(helperOf(*a), "getOthersParameter(5, 'Input Gain')"), 0.0);
}

TEST_F(TwoInstances, AKeyThatIsNoNumberCountsAsZero) {
  // a's own "OSC Port Offset" is 0, so it is the match.
  EXPECT_EQ(runInA("setOthersParameter({}, 'Dry Level', 0.75)"), "");
  EXPECT_FLOAT_EQ(a->getParameterPlain(kParamDryLevel), 0.75f);
  EXPECT_EQ(b->getParameterPlain(kParamDryLevel), 0.0f);
}

TEST_F(TwoInstances, IndicatorsOfOthersAreTheirDisplayBytes) {
  EXPECT_EQ(runInA("setOthersGUIBoolValue(5, 3, 'on')"), "");
  EXPECT_EQ(b->ViewStateAddress()->guiBool[3], 1);
  EXPECT_EQ(a->ViewStateAddress()->guiBool[3], 0);
  EXPECT_EQ(luaString(helperOf(*a), "getOthersGUIBoolValue(5, 3)"), "true");
  EXPECT_EQ(luaString(helperOf(*b), "getGUIBoolValue(3)"), "true");
  EXPECT_EQ(runInA("setOthersGUIBoolValue(5, 3, false)"), "");
  EXPECT_EQ(b->ViewStateAddress()->guiBool[3], 0);
}

}  // namespace
