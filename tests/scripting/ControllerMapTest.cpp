// The built-in script's controller map: which controller each parameter
// below "Bin 0 Level" gets, and the plain value a controller value gives,
// computed here from the mapping rule.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "ScriptTestSupport.h"

using namespace scripting_test;

namespace {

// Every parameter counts as used, so parameters 0..31 take the controllers
// from 0 up, skipping these.
std::vector<int> expectedControllers() {
  const std::set<int> skipped = {1, 7, 10, 64, 99, 98, 6, 38};
  std::vector<int> controllers;
  for (int cc = 0; controllers.size() < static_cast<size_t>(kParamBin0Level); ++cc)
    if (!skipped.count(cc)) controllers.push_back(cc);
  return controllers;
}

double expectedPlain(const ParamSpec& row, int value) {
  const double lo = row.minValue, hi = row.maxValue;
  double x;
  if (lo < 0 && hi > 0)
    x = value <= 64 ? value * (1.0 / 128) : 0.5 + (value - 64) * 0.5 / 63;
  else if (row.unit == 23)
    x = value;
  else
    x = value * (1.0 / 127);
  switch (row.unit) {
    case 8:
      return lo * std::pow(hi / lo, x);
    case 23:
      return x + 1;
    case 2:
      return x > 0 ? 1 : 0;
    case 1:
      return std::floor(lo + (hi - lo) * x + 0.5);
    default:
      return lo + (hi - lo) * x;
  }
}

TEST(BuiltInControllerMap, EveryParameterBelowTheBinsGetsItsControllerAndScaling) {
  RecordingHost host;
  const auto effect = makeEffect();
  // A second instance stores the expected plain values the same way, so the
  // comparison is exact whatever the stored form of a unit.
  const auto reference = makeEffect();
  QwkTonalmire::BrvkLuaMIDIHelper& helper = helperOf(*effect);
  const std::vector<int> controllers = expectedControllers();
  ASSERT_EQ(controllers.size(), 32u);
  EXPECT_EQ(controllers.back(), 35);

  for (int index = 0; index < kParamBin0Level; ++index) {
    const ParamSpec& row = effect->parameterTable()[index];
    for (int value : {0, 1, 63, 64, 65, 127}) {
      // A different starting value, so that a missed controller shows.
      effect->setParameterPlain(index, row.maxValue, false);
      if (value == 127) effect->setParameterPlain(index, row.minValue, false);
      helper.HandleMessage(
          midi(0xB0, 3, static_cast<uint8_t>(controllers[index]), static_cast<uint8_t>(value)));
      reference->setParameterPlain(index, static_cast<float>(expectedPlain(row, value)), false);
      EXPECT_EQ(effect->getParameterPlain(index), reference->getParameterPlain(index))
          << "parameter " << index << " (" << row.name << ") controller " << controllers[index]
          << " value " << value;
    }
  }
}

TEST(BuiltInControllerMap, SkippedAndUnmappedControllersChangeNothing) {
  RecordingHost host;
  const auto effect = makeEffect();
  QwkTonalmire::BrvkLuaMIDIHelper& helper = helperOf(*effect);
  std::vector<float> before;
  for (int i = 0; i < kParamCount; ++i) before.push_back(effect->getParameterPlain(i));
  for (int cc : {1, 7, 10, 64, 38, 99, 98, 6, 38, 40, 100, 127})
    helper.HandleMessage(midi(0xB0, 0, static_cast<uint8_t>(cc), 100));
  for (int i = 0; i < kParamCount; ++i) EXPECT_EQ(effect->getParameterPlain(i), before[i]) << i;
}

TEST(BuiltInControllerMap, ScriptIndexUsesTheRangeKnownAfterLoading) {
  RecordingHost host;
  const auto effect = makeEffect();
  // "Script Index" (13) gets controller 17; its maximum (6) is only set
  // after the scripts have loaded.
  helperOf(*effect).HandleMessage(midi(0xB0, 0, 17, 127));
  EXPECT_EQ(effect->getParameterPlain(kParamScriptIndex), 6.0f);
}

TEST(BuiltInControllerMap, ControllerChangesAreAnnouncedToTheHost) {
  RecordingHost host;
  const auto effect = makeEffect();
  host.clear();
  helperOf(*effect).HandleMessage(midi(0xB0, 0, 2, 127));  // "Dry Level"
  ASSERT_EQ(host.count(vst::audioMasterAutomate), 1);
  EXPECT_EQ(host.calls(vst::audioMasterAutomate)[0].index, kParamDryLevel);
}

}  // namespace
