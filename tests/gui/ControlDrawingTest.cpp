// The elements' own drawing for real: a GLX context on a private Xvfb
// server, pixels read back from the back buffer. No fonts: only boxes,
// fills and outlines, and the GL state each element must leave behind.
// clang-format off
// gtest before the X headers, which define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <GL/glew.h>
#include <X11/Xlib.h>
// clang-format on

#include <array>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "gui/Button.h"
#include "gui/DropDown.h"
#include "gui/Group.h"
#include "gui/Manager.h"
#include "gui/TextField.h"
#include "tests/support/GlTestContext.h"
#include "tests/support/PrivateXvfb.h"
#include "tests/support/RecordingHost.h"

namespace {

constexpr int kWidth = 120;
constexpr int kHeight = 120;

using gltest::near;
using gltest::Rgb;

std::unique_ptr<PrivateXvfb> server;

class ControlDrawing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server = PrivateXvfb::startForSuite(); }
  static void TearDownTestSuite() { server.reset(); }

  void SetUp() override {
    if (!PrivateXvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_NE(server, nullptr) << "Xvfb did not start";
    ASSERT_TRUE(editorWindow.open(server->display()));
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);

    manager = std::make_unique<QW::Manager>(effect.get());
    manager->setWindowSize({kWidth, kHeight});
  }

  void TearDown() override { manager.reset(); }

  static Rgb pixel(int x, int y) { return gltest::readPixel(x, y); }

  // What every element must leave as it found it.
  static void expectCleanState() {
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }

  RecordingHost host;
  std::unique_ptr<QwkTonalmire> effect = std::make_unique<QwkTonalmire>(RecordingHost::callback());
  gltest::EditorWindow editorWindow{kWidth, kHeight};
  std::unique_ptr<QW::Manager> manager;
};

TEST_F(ControlDrawing, TextFieldShowsFocusAndTypingInsideItsGroup) {
  auto* group = manager->create<QW::Group>();
  group->setPosition(20, 10);
  auto* field =
      manager->create<QW::TextField>(kParamInputGain, 10.0f, 10.0f, 40.0f, 20.0f, std::string());
  group->add(field);
  field->setActiveColour(0.0f, 1.0f, 0.0f);
  field->setChangedColour(1.0f, 0.0f, 0.0f);

  field->update();
  group->draw();
  expectCleanState();
  // Translated by the group: the box lies at 30..70 x 20..40.
  EXPECT_TRUE(near(pixel(50, 30), {204, 204, 217}));
  EXPECT_TRUE(near(pixel(25, 30), {0, 0, 0}));
  EXPECT_TRUE(near(pixel(75, 30), {0, 0, 0}));

  manager->setKeyFocus(field);
  group->draw();
  EXPECT_TRUE(near(pixel(50, 30), {0, 255, 0}));
  // The one-pixel rim keeps the background.
  EXPECT_TRUE(near(pixel(30, 30), {204, 204, 217}));

  field->keyPressed('4');
  group->draw();
  EXPECT_TRUE(near(pixel(50, 30), {255, 0, 0}));
  expectCleanState();
}

TEST_F(ControlDrawing, DropDownFieldAndOpenList) {
  auto* drop = manager->create<QW::OvDropDown>(kParamFftSize, 40.0f, 60.0f, 40.0f, 10.0f);
  drop->drawLabel(nullptr);
  expectCleanState();
  EXPECT_TRUE(near(pixel(60, 65), {204, 204, 217}));

  glClear(GL_COLOR_BUFFER_BIT);
  drop->drawOverlay();  // closed: nothing
  EXPECT_TRUE(near(pixel(60, 65), {0, 0, 0}));

  drop->mouseDown({60, 65}, 0, 1);  // item 5 of 8: the list spans 40..120
  drop->drawOverlay();
  expectCleanState();
  const int grey = static_cast<int>(0.6 * 0.95 * 255 + 0.5);
  EXPECT_TRUE(near(pixel(60, 45), {grey, grey, grey}));
  EXPECT_TRUE(near(pixel(60, 115), {grey, grey, grey}));
  EXPECT_TRUE(near(pixel(60, 35), {0, 0, 0}));
  EXPECT_TRUE(near(pixel(35, 65), {0, 0, 0}));
}

TEST_F(ControlDrawing, ButtonBoxIsBlendedInItsAnimatedColour) {
  auto* button =
      manager->create<QW::VeskButton>("Go", QW::Button::Callback(), 10.0f, 10.0f, 30.0f, 20.0f, -2);
  glClearColor(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  button->draw();
  expectCleanState();
  // 0.3 at alpha 0.2 over white.
  const int c = static_cast<int>((0.2 * 0.3 + 0.8) * 255 + 0.5);
  EXPECT_TRUE(near(pixel(25, 20), {c, c, c}));

  button->setVisible(false);
  glClear(GL_COLOR_BUFFER_BIT);
  button->draw();
  EXPECT_TRUE(near(pixel(25, 20), {255, 255, 255}));
}

TEST_F(ControlDrawing, NamedGroupDrawsItsOutlineOnlyWhenVisible) {
  auto* group = manager->create<QW::NamedGroup>("Box", QW::NamedGroup::Margins{5, 5, 5, 5});
  group->setPosition(20, 20);
  auto* inner =
      manager->create<QW::Button>("x", QW::Button::Callback(), 10.0f, 10.0f, 40.0f, 40.0f, -2);
  group->add(inner);
  group->prepareRendering();
  group->draw();
  expectCleanState();
  // The left edge of the frame runs along x = 25 from y = 25 to 75.
  // (A line on a pixel boundary may land on either neighbour.)
  EXPECT_GT(pixel(24, 50)[0] + pixel(25, 50)[0], 0);
  EXPECT_TRUE(near(pixel(27, 50), {0, 0, 0}));

  glClear(GL_COLOR_BUFFER_BIT);
  group->setVisible(false);
  group->draw();
  EXPECT_TRUE(near(pixel(24, 50), {0, 0, 0}));
  EXPECT_TRUE(near(pixel(25, 50), {0, 0, 0}));
}

}  // namespace
