// clang-format off
// gtest before the X headers, which define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <GL/glew.h>
#include <X11/Xlib.h>
// clang-format on
#include <stdlib.h>
#include <unistd.h>

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
#include "support/RecordingHost.h"
#include "support/ScopedEnv.h"
#include "support/XvfbSuite.h"

namespace {

using QW::GlobalSettings;
using QW::Point;
using QW::PreferencesDialog;
using QW::PreferencesPanel;
using QW::PreferencesPanelLayout;

Point at(int id, QW::Size window = {1024, 512}) {
  const QW::Bounds box = PreferencesPanelLayout(window).box(id);
  return {box.centreX(), box.centreY()};
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
    manager.setWindowSize({1024, 512});
    manager.computeViewGeometry();
    manager.root()->add(backdrop);
    panel = QW::openPreferencesPanel(manager, &effect);
    panel->close();
    panel->setOpenUrl([this](const std::string& url) {
      opened.push_back(url);
      return true;
    });
    panel->open();  // again, now with the browser above
  }

  // A press and release through the manager, as the window delivers them.
  void clickAt(Point p) {
    manager.mouseDown(p, 0, 1);
    manager.mouseUp(p, 0);
  }
  void keys(const std::string& keys) {
    for (const char c : keys) manager.keyPressed(static_cast<unsigned char>(c));
  }
  double stored(const char* key) { return sandbox.stored().readNumber(key, -1); }

  SettingsSandbox sandbox;
  RecordingHost host;
  QwkTonalmire effect{RecordingHost::callback()};
  QW::Manager manager{&effect};
  Backdrop* backdrop = manager.create<Backdrop>();
  PreferencesPanel* panel = nullptr;
  std::vector<std::string> opened;
};

TEST_F(PreferencesPanelTest, ModalWhileOpenAndInvisibleWhileClosed) {
  EXPECT_TRUE(panel->isOpen());
  EXPECT_EQ(manager.root()->children().front(), panel);
  EXPECT_EQ(QW::openPreferencesPanel(manager, &effect), panel);
  for (const Point p : {Point{10, 10}, Point{-5, 600}, at(PreferencesDialog::kProductLabel)}) {
    EXPECT_EQ(manager.root()->hitTest(p), panel);
    clickAt(p);
    EXPECT_EQ(manager.keyFocus(), panel);
  }
  manager.mouseDown({1020, 2}, 0, 1);
  EXPECT_FALSE(manager.isResizing());
  manager.mouseUp({1020, 2}, 0);
  EXPECT_EQ(backdrop->presses, 0);

  clickAt(at(PreferencesDialog::kOk));
  EXPECT_FALSE(panel->isOpen());
  EXPECT_EQ(manager.keyFocus(), nullptr);
  EXPECT_EQ(manager.root()->hitTest(at(PreferencesDialog::kOk)), backdrop);
  clickAt({512, 256});
  EXPECT_EQ(backdrop->presses, 1);
  EXPECT_FALSE(manager.keyPressed('5'));
}

TEST_F(PreferencesPanelTest, ControlsActAndAreStoredAtOnce) {
  clickAt(at(PreferencesDialog::kWebAddress));
  EXPECT_EQ(opened, (std::vector<std::string>{PreferencesDialog::kWebAddressUrl}));
  clickAt(at(PreferencesDialog::kEyeCandy));
  EXPECT_FALSE(GlobalSettings::eyeCandy);
  EXPECT_EQ(stored("Enable eye candy"), 0);
  clickAt(at(PreferencesDialog::kFloatingTooltip));
  EXPECT_EQ(stored("Enable floating tooltip"), 1);
  // Half the window: points are mapped back onto the same controls.
  manager.setWindowSize({512, 256});
  const Point eye = at(PreferencesDialog::kEyeCandy);
  clickAt({eye.x / 2.0f, eye.y / 2.0f});
  EXPECT_TRUE(GlobalSettings::eyeCandy);
  EXPECT_TRUE(panel->isOpen());
}

TEST_F(PreferencesPanelTest, TypedPortIsStoredOnReturnAndForgottenOnEscape) {
  const struct {
    const char* typed;
    int closingKey;
    int port;
  } cases[] = {{"9000", 13, 9000}, {"0", 13, 9000}, {"1234", 27, 9000}, {"12a.3", 13, 123}};
  for (const auto& c : cases) {
    panel->open();
    // The whole text is selected at first: the first digit replaces it.
    keys(c.typed);
    EXPECT_TRUE(manager.keyPressed(c.closingKey));
    EXPECT_FALSE(panel->isOpen());
    EXPECT_EQ(GlobalSettings::oscBasePort, c.port) << c.typed;
    EXPECT_EQ(stored("OSC Base Port"), c.port) << c.typed;
  }
  panel->open();
  EXPECT_EQ(panel->model()->portText, "123");
  clickAt(at(PreferencesDialog::kBasePortField));
  keys("4567890123\b");
  EXPECT_EQ(panel->model()->portText.size(), PreferencesPanel::kMaxPortDigits - 1);
}

// The panel as drawn over an editor of one colour, without fonts (boxes
// only), in a real GLX context.
class PreferencesPanelDrawing : public XvfbSuite {
 protected:
  void SetUp() override {
    XvfbSuite::SetUp();
    if (stopped()) return;
    ASSERT_TRUE(window.open(serverDisplay()));
    manager = std::make_unique<QW::Manager>(nullptr);
    manager->setWindowSize({1024, 512});
    manager->computeViewGeometry();
    panel = QW::openPreferencesPanel(*manager, nullptr);
    panel->close();
  }
  void TearDown() override { manager.reset(); }

  void drawFrame() {
    glClearColor(0.8f, 0.2f, 0.2f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    manager->root()->drawOverlay();
  }
  static gltest::Rgb pixel(Point p) {
    return gltest::readPixel(static_cast<int>(p.x), static_cast<int>(p.y));
  }
  void click(int id) {
    panel->mouseDown(at(id), 0, 1);
    panel->mouseUp(at(id), 0);
  }
  // Pixels inside a check box's square as dark as its tick.
  static int tickPixels(int id) {
    const QW::Bounds square = PreferencesPanelLayout({1024, 512}).checkSquare(id);
    int dark = 0;
    for (int y = static_cast<int>(square.minY) + 2; y < static_cast<int>(square.maxY) - 1; ++y)
      for (int x = static_cast<int>(square.minX) + 2; x < static_cast<int>(square.maxX) - 1; ++x) {
        const gltest::Rgb c = pixel({static_cast<float>(x), static_cast<float>(y)});
        dark += c[0] < 100 && c[1] < 100 && c[2] < 100;
      }
    return dark;
  }

  SettingsSandbox sandbox;
  gltest::EditorWindow window{1024, 512};
  std::unique_ptr<QW::Manager> manager;
  PreferencesPanel* panel = nullptr;
};

TEST_F(PreferencesPanelDrawing, DimsTheEditorDrawsTheDialogOnTopAndShowsItsStates) {
  using gltest::near;
  const gltest::Rgb editor{204, 51, 51}, dimmed{92, 23, 23};
  drawFrame();
  EXPECT_TRUE(near(pixel({10, 10}), editor));
  panel->open();
  drawFrame();
  EXPECT_TRUE(near(pixel({10, 10}), dimmed));
  EXPECT_TRUE(near(pixel({1013, 501}), dimmed));
  const PreferencesPanelLayout layout({1024, 512});
  // Between the version text and the group box there is only the face.
  EXPECT_TRUE(
      near(pixel({layout.panel().centreX(), layout.titleBar().minY - 140.0f}), {43, 36, 51}));
  EXPECT_TRUE(
      near(pixel({layout.titleBar().centreX(), layout.titleBar().centreY()}), {82, 56, 97}));
  EXPECT_TRUE(near(pixel(at(PreferencesDialog::kBasePortField)), {204, 204, 217}));
  EXPECT_TRUE(near(pixel(at(PreferencesDialog::kOk)), {63, 60, 66}));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_FALSE(glIsEnabled(GL_BLEND)) << "the overlay expects blending off afterwards";
  // The check boxes show their state.
  EXPECT_GT(tickPixels(PreferencesDialog::kEyeCandy), 0);
  EXPECT_EQ(tickPixels(PreferencesDialog::kFloatingTooltip), 0);
  click(PreferencesDialog::kEyeCandy);
  click(PreferencesDialog::kFloatingTooltip);
  drawFrame();
  EXPECT_EQ(tickPixels(PreferencesDialog::kEyeCandy), 0);
  EXPECT_GT(tickPixels(PreferencesDialog::kFloatingTooltip), 0);
  // A held button shows it is pressed; its release closes the panel.
  panel->mouseDown(at(PreferencesDialog::kOk), 0, 1);
  drawFrame();
  EXPECT_TRUE(near(pixel(at(PreferencesDialog::kOk)), {140, 75, 36}));
  panel->mouseUp(at(PreferencesDialog::kOk), 0);
  drawFrame();
  EXPECT_FALSE(panel->isOpen());
  EXPECT_TRUE(near(pixel({10, 10}), editor));
}

}  // namespace
