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
#include "platform/GlxContext.h"
#include "platform/X11ChildWindow.h"
#include "tests/support/PrivateXvfb.h"
#include "tests/support/RecordingHost.h"

namespace {

constexpr int kWidth = 120;
constexpr int kHeight = 120;

using Rgb = std::array<int, 3>;

std::unique_ptr<PrivateXvfb> server;

class ControlDrawing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!PrivateXvfb::installed()) return;
    server = std::make_unique<PrivateXvfb>();
    if (server->display().empty()) server.reset();
  }
  static void TearDownTestSuite() { server.reset(); }

  void SetUp() override {
    if (!PrivateXvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_NE(server, nullptr) << "Xvfb did not start";
    display = XOpenDisplay(server->display().c_str());
    ASSERT_NE(display, nullptr);
    parent =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, kWidth, kHeight, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);
    std::string whyNot;
    const char* old = getenv("DISPLAY");
    if (old) savedDisplay = old;
    hadDisplay = old != nullptr;
    setenv("DISPLAY", server->display().c_str(), 1);
    window = platform::X11ChildWindow::create(parent, kWidth, kHeight, whyNot);
    ASSERT_NE(window, nullptr) << whyNot;
    context = platform::GlxWindowContext::create(window->id(), whyNot);
    ASSERT_NE(context, nullptr) << whyNot;
    glewExperimental = GL_TRUE;
    ASSERT_EQ(glewInit(), static_cast<GLenum>(GLEW_OK));

    glViewport(0, 0, kWidth, kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, kWidth, 0.0, kHeight, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDrawBuffer(GL_BACK);
    glReadBuffer(GL_BACK);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);

    manager = std::make_unique<QW::Manager>(effect.get());
    manager->setWindowSize({kWidth, kHeight});
  }

  void TearDown() override {
    manager.reset();
    context.reset();
    window.reset();
    if (display) {
      if (parent) XDestroyWindow(display, parent);
      XCloseDisplay(display);
    }
    if (hadDisplay)
      setenv("DISPLAY", savedDisplay.c_str(), 1);
    else
      unsetenv("DISPLAY");
  }

  Rgb pixel(int x, int y) {
    glFinish();
    unsigned char rgba[4] = {};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return {rgba[0], rgba[1], rgba[2]};
  }

  static ::testing::AssertionResult near(const Rgb& actual, const Rgb& expected) {
    for (size_t k = 0; k < 3; ++k)
      if (std::abs(actual[k] - expected[k]) > 3)
        return ::testing::AssertionFailure()
               << "(" << actual[0] << ", " << actual[1] << ", " << actual[2] << ") is not ("
               << expected[0] << ", " << expected[1] << ", " << expected[2] << ")";
    return ::testing::AssertionSuccess();
  }

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
  std::unique_ptr<QW::Manager> manager;
  Display* display = nullptr;
  Window parent = 0;
  std::unique_ptr<platform::X11ChildWindow> window;
  std::unique_ptr<platform::GlxWindowContext> context;
  std::string savedDisplay;
  bool hadDisplay = false;
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
