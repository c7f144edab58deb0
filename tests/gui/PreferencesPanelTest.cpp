// clang-format off
// gtest before the X headers, which define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <GL/glew.h>
#include <X11/Xlib.h>
// clang-format on
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/GlobalSettings.h"
#include "core/PreferencesDialog.h"
#include "core/QwkTonalmire.h"
#include "gui/Manager.h"
#include "gui/PreferencesPanel.h"
#include "gui/PreferencesPanelLayout.h"
#include "platform/Preferences.h"
#include "support/GlTestContext.h"
#include "support/PrivateXvfb.h"
#include "support/RecordingHost.h"
#include "support/ScopedEnv.h"

namespace {

using QW::GlobalSettings;
using QW::Point;
using QW::PreferencesDialog;
using QW::PreferencesPanel;
using QW::PreferencesPanelLayout;

constexpr int kAllIds[] = {PreferencesDialog::kMakerLabel,
                           PreferencesDialog::kWebAddress,
                           PreferencesDialog::kProductLabel,
                           PreferencesDialog::kVersionLabel,
                           PreferencesDialog::kPreferencesGroup,
                           PreferencesDialog::kBasePortLabel,
                           PreferencesDialog::kBasePortField,
                           PreferencesDialog::kEyeCandy,
                           PreferencesDialog::kConstantRedraw,
                           PreferencesDialog::kFloatingTooltip,
                           PreferencesDialog::kOk};

bool inside(const QW::Bounds& inner, const QW::Bounds& outer) {
  return !inner.empty() && inner.minX >= outer.minX && inner.maxX <= outer.maxX &&
         inner.minY >= outer.minY && inner.maxY <= outer.maxY;
}

Point centreOf(const QW::Bounds& box) {
  return {box.centreX(), box.centreY()};
}

TEST(PreferencesPanelLayout, FitsAndCentresTheDialogInLargeAndSmallWindows) {
  for (const QW::Size window : {QW::Size{1024, 512}, QW::Size{512, 256}, QW::Size{300, 200}}) {
    SCOPED_TRACE(std::to_string(window.width) + "x" + std::to_string(window.height));
    const PreferencesPanelLayout layout(window);
    const QW::Bounds all = QW::Bounds::fromRect(0, 0, window.width, window.height);
    EXPECT_TRUE(inside(layout.panel(), all));
    EXPECT_NEAR(layout.panel().centreX(), window.width / 2.0f, 1.0f);
    EXPECT_NEAR(layout.panel().centreY(), window.height / 2.0f, 1.0f);
    EXPECT_TRUE(inside(layout.titleBar(), layout.panel()));
    for (const int id : kAllIds) {
      EXPECT_TRUE(inside(layout.box(id), layout.panel())) << id;
      EXPECT_LE(layout.box(id).maxY, layout.titleBar().minY) << id;
    }
    // The group box holds its controls, each check box its square.
    const QW::Bounds group = layout.box(PreferencesDialog::kPreferencesGroup);
    EXPECT_TRUE(inside(layout.box(PreferencesDialog::kBasePortField), group));
    for (const int id : {PreferencesDialog::kEyeCandy, PreferencesDialog::kConstantRedraw,
                         PreferencesDialog::kFloatingTooltip}) {
      EXPECT_TRUE(inside(layout.box(id), group)) << id;
      EXPECT_TRUE(inside(layout.checkSquare(id), layout.box(id))) << id;
    }
  }
  const PreferencesPanelLayout large({1024, 512});
  EXPECT_FLOAT_EQ(large.scale(), 2.0f);
  EXPECT_FLOAT_EQ(large.panel().width(), 400.0f);
  // Dialog units run downwards from the client area's top left.
  const QW::Bounds ok = large.box(PreferencesDialog::kOk);
  EXPECT_FLOAT_EQ(ok.minX - large.panel().minX, 160.0f);
  EXPECT_FLOAT_EQ(ok.width(), 80.0f);
  EXPECT_FLOAT_EQ(large.titleBar().minY - ok.maxY, 354.0f);
  EXPECT_LT(PreferencesPanelLayout({300, 200}).scale(), 2.0f);
  EXPECT_TRUE(large.box(999).empty());
}

TEST(PreferencesPanelLayout, PointsHitTheClickableControlsOnly) {
  const PreferencesPanelLayout layout({1024, 512});
  for (const int id : {PreferencesDialog::kWebAddress, PreferencesDialog::kBasePortField,
                       PreferencesDialog::kEyeCandy, PreferencesDialog::kConstantRedraw,
                       PreferencesDialog::kFloatingTooltip, PreferencesDialog::kOk}) {
    EXPECT_EQ(layout.hitTest(centreOf(layout.box(id))), id);
  }
  // The text of a check box counts as the check box.
  const QW::Bounds eye = layout.box(PreferencesDialog::kEyeCandy);
  EXPECT_EQ(layout.hitTest({eye.maxX - 2.0f, eye.centreY()}), PreferencesDialog::kEyeCandy);
  for (const int id : {PreferencesDialog::kProductLabel, PreferencesDialog::kVersionLabel,
                       PreferencesDialog::kBasePortLabel}) {
    EXPECT_EQ(layout.hitTest(centreOf(layout.box(id))), PreferencesPanelLayout::kNoControl) << id;
  }
  EXPECT_EQ(layout.hitTest(centreOf(layout.titleBar())), PreferencesPanelLayout::kNoControl);
  EXPECT_EQ(layout.hitTest({5.0f, 5.0f}), PreferencesPanelLayout::kNoControl);
}

// Preferences of a temporary folder and the process-wide switches restored
// afterwards, so no test sees or changes the user's settings.
class SettingsSandbox {
 public:
  SettingsSandbox() {
    GlobalSettings::oscBasePort = 7000;
    QW::loadEditorPreferences(stored());
  }
  ~SettingsSandbox() {
    GlobalSettings::oscBasePort = savedPort_;
    GlobalSettings::eyeCandy = savedEyeCandy_;
    GlobalSettings::constantRedraw = savedRedraw_;
    GlobalSettings::floatingTooltip = savedFloating_;
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  platform::Preferences stored() const {
    return platform::Preferences(folder_ + "/Quillworks/Veldrana/preferences");
  }

 private:
  static std::string makeFolder() {
    char pattern[] = "/tmp/veldrana-panel-XXXXXX";
    return mkdtemp(pattern) ? pattern : "";
  }

  std::string folder_ = makeFolder();
  const ScopedEnv configHome_{"XDG_CONFIG_HOME", folder_.c_str()};
  const int32_t savedPort_ = GlobalSettings::oscBasePort;
  const bool savedEyeCandy_ = GlobalSettings::eyeCandy;
  const bool savedRedraw_ = GlobalSettings::constantRedraw;
  const bool savedFloating_ = GlobalSettings::floatingTooltip;
};

// An element of the editor behind the panel.
class Backdrop : public QW::ControlBase {
 public:
  explicit Backdrop(QW::Manager* manager) : ControlBase(manager) {
    setBounds(QW::Bounds::fromRect(0, 0, 1024, 512));
  }
  void mouseDown(Point, uint32_t, int) override { ++presses; }
  int presses = 0;
};

class PreferencesPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox = std::make_unique<SettingsSandbox>();
    effect = std::make_unique<QwkTonalmire>(RecordingHost::callback());
    manager = std::make_unique<QW::Manager>(effect.get());
    manager->setWindowSize({1024, 512});
    manager->computeViewGeometry();
    backdrop = manager->create<Backdrop>();
    manager->root()->add(backdrop);
    panel = manager->create<PreferencesPanel>(effect.get());
    manager->root()->addFirst(panel);
    panel->setOpenUrl([this](const std::string& url) {
      opened.push_back(url);
      return true;
    });
  }

  void TearDown() override {
    manager.reset();
    effect.reset();
    sandbox.reset();
  }

  platform::Preferences stored() const { return sandbox->stored(); }

  Point at(int id) const { return centreOf(PreferencesPanelLayout({1024, 512}).box(id)); }

  // A press and release through the manager, as the window delivers them.
  void click(int id) { clickAt(at(id)); }
  void clickAt(Point p) {
    manager->mouseDown(p, 0, 1);
    manager->mouseUp(p, 0);
  }

  void keys(const std::string& keys) {
    for (const char c : keys) manager->keyPressed(static_cast<unsigned char>(c));
  }

  std::unique_ptr<SettingsSandbox> sandbox;
  RecordingHost host;
  std::unique_ptr<QwkTonalmire> effect;
  std::unique_ptr<QW::Manager> manager;
  Backdrop* backdrop = nullptr;
  PreferencesPanel* panel = nullptr;
  std::vector<std::string> opened;
};

TEST_F(PreferencesPanelTest, ModalWhileOpenAndInvisibleWhileClosed) {
  EXPECT_FALSE(panel->isOpen());
  EXPECT_EQ(panel->model(), nullptr);
  for (const Point p : {Point{10, 10}, Point{512, 256}, at(PreferencesDialog::kOk)}) {
    EXPECT_EQ(manager->root()->hitTest(p), backdrop);
  }
  clickAt({512, 256});
  EXPECT_EQ(backdrop->presses, 1);
  EXPECT_FALSE(manager->keyPressed('5'));

  panel->open();
  EXPECT_TRUE(panel->isOpen());
  EXPECT_EQ(manager->keyFocus(), panel);
  for (const Point p : {Point{10, 10}, Point{512, 256}, Point{1000, 500}, Point{-5, 600},
                        at(PreferencesDialog::kOk)}) {
    EXPECT_EQ(manager->root()->hitTest(p), panel);
  }
  // Presses anywhere stay with the panel, which keeps the keys although the
  // manager drops the focus on every press.
  for (const Point p : {Point{10, 10}, Point{512, 256}, at(PreferencesDialog::kProductLabel)}) {
    clickAt(p);
    EXPECT_TRUE(panel->isOpen());
    EXPECT_EQ(manager->keyFocus(), panel);
  }
  EXPECT_EQ(backdrop->presses, 1);
  // The resize corner too.
  manager->mouseDown({1020, 2}, 0, 1);
  EXPECT_FALSE(manager->isResizing());
  EXPECT_EQ(manager->trackedElement(), panel);
  manager->mouseUp({1020, 2}, 0);
  // The window losing the focus does not close it either.
  manager->dropKeyFocus();
  EXPECT_TRUE(panel->isOpen());

  click(PreferencesDialog::kOk);
  EXPECT_FALSE(panel->isOpen());
  EXPECT_EQ(panel->model()->result(), PreferencesDialog::kClosedOk);
  EXPECT_EQ(manager->keyFocus(), nullptr);
  EXPECT_EQ(manager->trackedElement(), nullptr);
  clickAt({512, 256});
  EXPECT_EQ(backdrop->presses, 2);
  manager->mouseDown({1020, 2}, 0, 1);
  EXPECT_TRUE(manager->isResizing());
  manager->mouseUp({1020, 2}, 0);
}

TEST_F(PreferencesPanelTest, ClicksLandOnTheSameControlsInAResizedWindow) {
  panel->open();
  // Half the size: the picture is scaled, points are mapped back.
  manager->setWindowSize({512, 256});
  const Point eye = at(PreferencesDialog::kEyeCandy);
  clickAt({eye.x / 2.0f, eye.y / 2.0f});
  EXPECT_FALSE(GlobalSettings::eyeCandy);
  const Point ok = at(PreferencesDialog::kOk);
  clickAt({ok.x / 2.0f, ok.y / 2.0f});
  EXPECT_FALSE(panel->isOpen());
}

TEST_F(PreferencesPanelTest, CheckBoxesToggleAndAreStoredAtOnce) {
  panel->open();
  ASSERT_TRUE(panel->model()->checked(PreferencesDialog::kEyeCandy));
  click(PreferencesDialog::kEyeCandy);
  EXPECT_TRUE(panel->isOpen());
  EXPECT_FALSE(GlobalSettings::eyeCandy);
  EXPECT_FALSE(panel->model()->checked(PreferencesDialog::kEyeCandy));
  EXPECT_EQ(stored().readNumber("Enable eye candy", -1), 0);

  click(PreferencesDialog::kFloatingTooltip);
  click(PreferencesDialog::kConstantRedraw);
  EXPECT_EQ(stored().readNumber("Enable floating tooltip", -1), 1);
  EXPECT_EQ(stored().readNumber("Enable constant redraw", -1), 0);

  click(PreferencesDialog::kEyeCandy);
  EXPECT_TRUE(GlobalSettings::eyeCandy);
  EXPECT_EQ(stored().readNumber("Enable eye candy", -1), 1);

  // A press dragged off the box before the release changes nothing.
  const Point on = at(PreferencesDialog::kEyeCandy);
  manager->mouseDown(on, 0, 1);
  manager->mouseDragged({on.x, on.y + 100.0f}, 0);
  manager->mouseUp({on.x, on.y + 100.0f}, 0);
  EXPECT_TRUE(GlobalSettings::eyeCandy);
  EXPECT_TRUE(panel->isOpen());
}

TEST_F(PreferencesPanelTest, TypedPortIsStoredOnReturnOrOk) {
  panel->open();
  ASSERT_EQ(panel->model()->portText, "7000");
  // The whole text is selected at first: the first digit replaces it.
  keys("9000");
  EXPECT_EQ(panel->model()->portText, "9000");
  EXPECT_TRUE(manager->keyPressed(13));
  EXPECT_FALSE(panel->isOpen());
  EXPECT_EQ(panel->model()->result(), PreferencesDialog::kClosedOk);
  EXPECT_EQ(GlobalSettings::oscBasePort, 9000);
  EXPECT_EQ(stored().readNumber("OSC Base Port", -1), 9000);

  // Reopened, the panel shows what is stored now.
  panel->open();
  EXPECT_EQ(panel->model()->portText, "9000");
  keys("0");
  EXPECT_EQ(panel->model()->portText, "0");
  click(PreferencesDialog::kOk);
  EXPECT_FALSE(panel->isOpen());
  EXPECT_EQ(GlobalSettings::oscBasePort, 9000);
  EXPECT_EQ(stored().readNumber("OSC Base Port", -1), 9000);
}

TEST_F(PreferencesPanelTest, EscapeCancelsTypingButKeepsToggles) {
  panel->open();
  click(PreferencesDialog::kFloatingTooltip);
  keys("1234");
  EXPECT_TRUE(manager->keyPressed(27));
  EXPECT_FALSE(panel->isOpen());
  EXPECT_EQ(panel->model()->result(), PreferencesDialog::kClosedCancel);
  EXPECT_TRUE(GlobalSettings::floatingTooltip);
  EXPECT_EQ(stored().readNumber("Enable floating tooltip", -1), 1);
  EXPECT_EQ(GlobalSettings::oscBasePort, 7000);
  EXPECT_EQ(stored().readNumber("OSC Base Port", -1), -1);

  // A fresh opening forgets what was typed and shows the stored switches.
  panel->open();
  EXPECT_EQ(panel->model()->portText, "7000");
  EXPECT_TRUE(panel->model()->checked(PreferencesDialog::kFloatingTooltip));
  EXPECT_EQ(panel->model()->result(), PreferencesDialog::kOpen);
}

TEST_F(PreferencesPanelTest, WebAddressOpensTheBrowserAndStaysOpen) {
  panel->open();
  click(PreferencesDialog::kWebAddress);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], PreferencesDialog::kWebAddressUrl);
  EXPECT_TRUE(panel->isOpen());
  // Clicks on the texts, the caption and the dimmed editor do nothing.
  click(PreferencesDialog::kProductLabel);
  click(PreferencesDialog::kBasePortLabel);
  clickAt(centreOf(PreferencesPanelLayout({1024, 512}).titleBar()));
  clickAt({20.0f, 20.0f});
  EXPECT_EQ(opened.size(), 1u);
  EXPECT_TRUE(panel->isOpen());
  EXPECT_TRUE(GlobalSettings::eyeCandy);
  EXPECT_EQ(stored().readNumber("OSC Base Port", -1), -1);
}

TEST_F(PreferencesPanelTest, PortFieldTakesDigitsOnlyAndBackspace) {
  panel->open();
  // Clicking into the field puts the caret after the text.
  click(PreferencesDialog::kBasePortField);
  EXPECT_EQ(manager->keyFocus(), panel);
  EXPECT_TRUE(manager->keyPressed('1'));
  EXPECT_EQ(panel->model()->portText, "70001");
  EXPECT_TRUE(manager->keyPressed(8));
  EXPECT_TRUE(manager->keyPressed(8));
  EXPECT_EQ(panel->model()->portText, "700");
  for (const int key : {'a', '-', '.', ' ', 'Z'}) {
    EXPECT_FALSE(manager->keyPressed(key)) << key;
  }
  EXPECT_EQ(panel->model()->portText, "700");
  for (int i = 0; i < 4; ++i) manager->keyPressed(8);
  EXPECT_EQ(panel->model()->portText, "");
  keys("12345678901234");
  EXPECT_EQ(panel->model()->portText.size(), PreferencesPanel::kMaxPortDigits);
  EXPECT_TRUE(panel->isOpen());

  // Backspace on the selected text at opening clears it.
  manager->keyPressed(27);
  panel->open();
  manager->keyPressed(8);
  EXPECT_EQ(panel->model()->portText, "");
}

TEST_F(PreferencesPanelTest, OpeningHookMakesOnePanelInFrontAndReusesIt) {
  // A manager of its own, without a panel yet.
  QW::Manager other(effect.get());
  other.setWindowSize({1024, 512});
  other.computeViewGeometry();
  Backdrop* behind = other.create<Backdrop>();
  other.root()->add(behind);
  PreferencesPanel* first = QW::openPreferencesPanel(other, effect.get());
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->isOpen());
  EXPECT_EQ(other.root()->children().front(), first);
  EXPECT_EQ(other.root()->hitTest({100, 100}), first);
  EXPECT_EQ(other.keyFocus(), first);
  first->keyPressed(27);
  EXPECT_EQ(other.root()->hitTest({100, 100}), behind);
  PreferencesPanel* second = QW::openPreferencesPanel(other, effect.get());
  EXPECT_EQ(second, first);
  EXPECT_EQ(other.root()->children().size(), 2u);
  EXPECT_TRUE(second->isOpen());
}

// ---- Drawn for real: a GLX context on a private Xvfb server ----

constexpr int kDrawWidth = 1024;
constexpr int kDrawHeight = 512;

using gltest::near;
using gltest::Rgb;

std::unique_ptr<PrivateXvfb> drawingServer;

class PreferencesPanelDrawing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { drawingServer = PrivateXvfb::startForSuite(); }
  static void TearDownTestSuite() { drawingServer.reset(); }

  void SetUp() override {
    if (!PrivateXvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_NE(drawingServer, nullptr) << "Xvfb did not start";
    sandbox = std::make_unique<SettingsSandbox>();
    ASSERT_TRUE(editorWindow.open(drawingServer->display()));

    // No fonts: the panel draws its boxes only.
    manager = std::make_unique<QW::Manager>(nullptr);
    manager->setWindowSize({kDrawWidth, kDrawHeight});
    manager->computeViewGeometry();
    panel = QW::openPreferencesPanel(*manager, nullptr);
    panel->close();
  }

  void TearDown() override { manager.reset(); }

  // The editor behind the panel, then the panel's pass.
  void drawFrame() {
    glClearColor(0.8f, 0.2f, 0.2f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    manager->root()->drawOverlay();
  }

  static Rgb pixel(Point p) {
    return gltest::readPixel(static_cast<int>(p.x), static_cast<int>(p.y));
  }

  // Pixels of a check box's square that are as dark as its tick.
  int tickPixels(int id) {
    const QW::Bounds square = PreferencesPanelLayout({kDrawWidth, kDrawHeight}).checkSquare(id);
    int dark = 0;
    for (int y = static_cast<int>(square.minY) + 2; y < static_cast<int>(square.maxY) - 1; ++y) {
      for (int x = static_cast<int>(square.minX) + 2; x < static_cast<int>(square.maxX) - 1; ++x) {
        const Rgb c = pixel({static_cast<float>(x), static_cast<float>(y)});
        if (c[0] < 100 && c[1] < 100 && c[2] < 100) ++dark;
      }
    }
    return dark;
  }

  Point at(int id) const {
    return centreOf(PreferencesPanelLayout({kDrawWidth, kDrawHeight}).box(id));
  }

  std::unique_ptr<SettingsSandbox> sandbox;
  gltest::EditorWindow editorWindow{kDrawWidth, kDrawHeight};
  std::unique_ptr<QW::Manager> manager;
  PreferencesPanel* panel = nullptr;
};

TEST_F(PreferencesPanelDrawing, DimsTheEditorAndDrawsTheDialogOnTopOnlyWhileOpen) {
  const Rgb editor{204, 51, 51};
  drawFrame();
  EXPECT_TRUE(near(pixel({10, 10}), editor));
  EXPECT_TRUE(near(pixel({512, 256}), editor));

  panel->open();
  drawFrame();
  EXPECT_TRUE(near(pixel({10, 10}), {92, 23, 23}));
  EXPECT_TRUE(near(pixel({1013, 501}), {92, 23, 23}));
  const PreferencesPanelLayout layout({kDrawWidth, kDrawHeight});
  // Between the version text and the group box there is only the face.
  const Point face{layout.panel().centreX(), layout.titleBar().minY - 140.0f};
  EXPECT_TRUE(near(pixel(face), {43, 36, 51}));
  EXPECT_TRUE(near(pixel(centreOf(layout.titleBar())), {82, 56, 97}));
  EXPECT_TRUE(near(pixel(at(PreferencesDialog::kBasePortField)), {204, 204, 217}));
  EXPECT_TRUE(near(pixel(at(PreferencesDialog::kOk)), {63, 60, 66}));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_FALSE(glIsEnabled(GL_BLEND)) << "the overlay expects blending off afterwards";

  // A held button shows it is pressed.
  panel->mouseDown(at(PreferencesDialog::kOk), 0, 1);
  drawFrame();
  EXPECT_TRUE(near(pixel(at(PreferencesDialog::kOk)), {140, 75, 36}));
  panel->mouseUp(at(PreferencesDialog::kOk), 0);

  drawFrame();
  EXPECT_FALSE(panel->isOpen());
  EXPECT_TRUE(near(pixel({10, 10}), editor));
}

TEST_F(PreferencesPanelDrawing, CheckBoxesShowTheirState) {
  panel->open();
  drawFrame();
  EXPECT_GT(tickPixels(PreferencesDialog::kEyeCandy), 0);
  EXPECT_EQ(tickPixels(PreferencesDialog::kFloatingTooltip), 0);
  panel->mouseDown(at(PreferencesDialog::kEyeCandy), 0, 1);
  panel->mouseUp(at(PreferencesDialog::kEyeCandy), 0);
  panel->mouseDown(at(PreferencesDialog::kFloatingTooltip), 0, 1);
  panel->mouseUp(at(PreferencesDialog::kFloatingTooltip), 0);
  drawFrame();
  EXPECT_EQ(tickPixels(PreferencesDialog::kEyeCandy), 0);
  EXPECT_GT(tickPixels(PreferencesDialog::kFloatingTooltip), 0);
}

}  // namespace
