#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "core/GlobalSettings.h"
#include "core/PreferencesDialog.h"
#include "osc/OSCHelper.h"
#include "tests/core/TestEffect.h"

namespace {

using QW::GlobalSettings;
using QW::PreferencesDialog;

struct DialogFixture : ::testing::Test {
  void SetUp() override {
    char pattern[] = "/tmp/veldrana-dialog-XXXXXX";
    path = std::string(mkdtemp(pattern)) + "/preferences";
    GlobalSettings::oscBasePort = 7000;
    QW::loadEditorPreferences(platform::Preferences(path));
  }
  platform::Preferences prefs() const { return platform::Preferences(path); }
  std::string path;
};

TEST_F(DialogFixture, DefaultsWithoutStoredValues) {
  EXPECT_TRUE(GlobalSettings::eyeCandy);
  EXPECT_TRUE(GlobalSettings::constantRedraw);
  EXPECT_FALSE(GlobalSettings::floatingTooltip);
  PreferencesDialog dialog(nullptr, prefs());
  EXPECT_EQ(dialog.productText(), "Veldrana");
  EXPECT_EQ(dialog.versionText(), "1.0.5");
  EXPECT_EQ(dialog.portText, "7000");
  EXPECT_TRUE(dialog.checked(PreferencesDialog::kEyeCandy));
  EXPECT_FALSE(dialog.checked(PreferencesDialog::kFloatingTooltip));
}

TEST_F(DialogFixture, OkWithANewPortStoresItAndMovesTheService) {
  EffectFixture f;
  f.effect->setParameterPlain(kParamOscPortOffset, 3.0f, false);
  EXPECT_EQ(f.effect->oscHelper()->Port(), 7003);
  PreferencesDialog dialog(f.effect.get(), prefs());
  dialog.portText = "9000";
  EXPECT_EQ(dialog.command(PreferencesDialog::kOk), PreferencesDialog::kClosedOk);
  EXPECT_EQ(GlobalSettings::oscBasePort, 9000);
  EXPECT_EQ(prefs().readNumber("OSC Base Port", 7000), 9000);
  EXPECT_EQ(f.effect->oscHelper()->Port(), 9003);
}

TEST_F(DialogFixture, OkWithZeroOrTextChangesNothing) {
  for (const char* entry : {"0", "-5", "abc", ""}) {
    PreferencesDialog dialog(nullptr, prefs());
    dialog.portText = entry;
    EXPECT_EQ(dialog.command(PreferencesDialog::kOk), PreferencesDialog::kClosedOk) << entry;
    EXPECT_EQ(GlobalSettings::oscBasePort, 7000) << entry;
    EXPECT_EQ(prefs().readNumber("OSC Base Port", -1), -1) << entry;
  }
}

TEST_F(DialogFixture, CheckBoxesAreStoredAtOnceAndSurviveEscape) {
  PreferencesDialog dialog(nullptr, prefs());
  dialog.command(PreferencesDialog::kEyeCandy);
  dialog.command(PreferencesDialog::kFloatingTooltip);
  EXPECT_FALSE(GlobalSettings::eyeCandy);
  EXPECT_TRUE(GlobalSettings::floatingTooltip);
  EXPECT_EQ(dialog.command(PreferencesDialog::kCancel), PreferencesDialog::kClosedCancel);
  EXPECT_EQ(prefs().readNumber("Enable eye candy", 1), 0);
  EXPECT_EQ(prefs().readNumber("Enable floating tooltip", 0), 1);
  EXPECT_EQ(prefs().readNumber("Enable constant redraw", -1), -1);
  QW::loadEditorPreferences(prefs());
  EXPECT_FALSE(GlobalSettings::eyeCandy);
  EXPECT_TRUE(GlobalSettings::constantRedraw);
}

}  // namespace
