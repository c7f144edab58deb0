// Tooltip ids and texts of the manager, and what it learns from the effect,
// without a display.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "gui/Manager.h"
#include "support/RecordingHost.h"

namespace {

class ManagerTooltip : public ::testing::Test {
 protected:
  void SetUp() override { setenv("XDG_CONFIG_HOME", "/nonexistent-veldrana-test", 1); }
};

TEST_F(ManagerTooltip, StringsGetNegativeIdsOnceEach) {
  QW::Manager manager(nullptr);
  EXPECT_EQ(manager.tooltipString(QW::Manager::kPreferencesTooltip), "Preferences");
  EXPECT_EQ(manager.tooltipString(QW::Manager::kCapturePresetTooltip), "Capture preset");
  EXPECT_EQ(manager.tooltipString(QW::Manager::kNoTooltip), "");
  EXPECT_EQ(manager.hoveredId(), QW::Manager::kNoTooltip);
  EXPECT_EQ(manager.editedParameter(), -1);

  // Known texts give their id back; new ones go below the smallest id.
  EXPECT_EQ(manager.addTooltip("Preferences"), -2);
  EXPECT_EQ(manager.addTooltip("Capture preset"), -3);
  EXPECT_EQ(manager.addTooltip("Load preset"), -4);
  EXPECT_EQ(manager.addTooltip("Save preset"), -5);
  EXPECT_EQ(manager.addTooltip("Load preset"), -4);
  EXPECT_EQ(manager.tooltipString(-4), "Load preset");
  EXPECT_EQ(manager.tooltipString(-5), "Save preset");
  EXPECT_EQ(manager.tooltipString(-6), "");
}

TEST_F(ManagerTooltip, ParameterTooltipTextAndDescriptorsComeFromTheEffect) {
  RecordingHost host;
  QwkTonalmire effect(RecordingHost::callback());
  QW::Manager manager(&effect);
  ASSERT_EQ(manager.parameterCount(), kParamCount);
  EXPECT_EQ(manager.viewState(), effect.ViewStateAddress());
  const QW::ParameterDescriptor* fft = manager.parameter(kParamFftSize);
  ASSERT_NE(fft, nullptr);
  EXPECT_STREQ(fft->name(), "FFT Size");
  EXPECT_EQ(manager.parameter(kParamCount), nullptr);
  EXPECT_EQ(manager.parameter(-1), nullptr);

  // Name, display and label, each after a blank.
  EXPECT_EQ(manager.parameterTooltipText(kParamInputGain), "Input Gain 0.000 dB");
  EXPECT_EQ(manager.parameterTooltipText(kParamFftSize), "FFT Size 1024 ");
  effect.setParameterPlain(kParamInputGain, -6.0f, false);
  EXPECT_EQ(manager.parameterTooltipText(kParamInputGain), "Input Gain -6.000 dB");
  EXPECT_EQ(manager.parameterTooltipText(kParamCount), "");

  // Every manager has a number of its own.
  QW::Manager second(&effect);
  EXPECT_GT(second.instanceNumber(), manager.instanceNumber());
}

}  // namespace
