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
    QW::loadEditorPreferences(prefs());
  }
  platform::Preferences prefs() const { return platform::Preferences(path); }
  std::string path;
};

TEST_F(DialogFixture, OkWithANewPortStoresItAndMovesTheService) {
  EffectFixture f;
  f.effect->setParameterPlain(kParamOscPortOffset, 3.0f, false);
  for (const char* ignored : {"0", "-5", "abc"}) {
    PreferencesDialog dialog(nullptr, prefs());
    dialog.portText = ignored;
    EXPECT_EQ(dialog.command(PreferencesDialog::kOk), PreferencesDialog::kClosedOk) << ignored;
    EXPECT_EQ(prefs().readNumber("OSC Base Port", -1), -1) << ignored;
  }
  PreferencesDialog dialog(f.effect.get(), prefs());
  EXPECT_EQ(dialog.portText, "7000");
  dialog.portText = "9000";
  EXPECT_EQ(dialog.command(PreferencesDialog::kOk), PreferencesDialog::kClosedOk);
  EXPECT_EQ(GlobalSettings::oscBasePort, 9000);
  EXPECT_EQ(prefs().readNumber("OSC Base Port", 7000), 9000);
  EXPECT_EQ(f.effect->oscHelper()->Port(), 9003);
}

TEST_F(DialogFixture, CheckBoxesAreStoredAtOnceAndSurviveCancel) {
  EXPECT_TRUE(GlobalSettings::eyeCandy);  // the defaults without stored values
  EXPECT_FALSE(GlobalSettings::floatingTooltip);
  PreferencesDialog dialog(nullptr, prefs());
  EXPECT_EQ(dialog.versionText(), "1.0.5");
  dialog.command(PreferencesDialog::kEyeCandy);
  dialog.command(PreferencesDialog::kFloatingTooltip);
  EXPECT_EQ(dialog.command(PreferencesDialog::kCancel), PreferencesDialog::kClosedCancel);
  EXPECT_EQ(prefs().readNumber("Enable eye candy", 1), 0);
  EXPECT_EQ(prefs().readNumber("Enable constant redraw", -1), -1);
  QW::loadEditorPreferences(prefs());
  EXPECT_FALSE(GlobalSettings::eyeCandy);
  EXPECT_TRUE(GlobalSettings::floatingTooltip);
}

}  // namespace
