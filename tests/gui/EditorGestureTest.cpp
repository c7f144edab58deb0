// The editor on a real (private, virtual) X server with real input: a small
// layout of each control kind in a window of the test's own, driven with
// XTest pointer and key events the way a user would, and looked at through
// the server's copy of the window.
// clang-format off
// gtest before the X headers, which define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
// clang-format on
#include <X11/keysym.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "gui/Manager.h"
#include "support/PrivateXvfb.h"
#include "support/RecordingHost.h"
#include "support/ScopedEnv.h"
#include "support/TestLayout.h"
#include "support/X11Host.h"
#include "support/XTestInput.h"

namespace {

using namespace std::chrono_literals;
using testlayout::kHeight;
using testlayout::kWidth;

using x11host::Picture;
using x11host::Rgb;

std::unique_ptr<PrivateXvfb> server;

class EditorGesture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server = PrivateXvfb::startForSuite(); }
  static void TearDownTestSuite() { server.reset(); }

  void SetUp() override {
    if (!PrivateXvfb::installed())
      GTEST_SKIP() << "Xvfb is not installed; the editor tests need an X server";
    ASSERT_NE(server, nullptr) << "Xvfb did not start";
    displayVariable.emplace("DISPLAY", server->display().c_str());
    // Preferences of our own, not the user's.
    configHome = ::testing::TempDir() + "veldrana-gesture-" + std::to_string(getpid());
    mkdir(configHome.c_str(), 0700);
    configVariable.emplace("XDG_CONFIG_HOME", configHome.c_str());

    display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    ASSERT_TRUE(XTestInput::available(display)) << "the X server lacks the XTest extension";
    input = std::make_unique<XTestInput>(display);
    parent = makeParent();
    effect = std::make_unique<QwkTonalmire>(RecordingHost::callback());
    editor = std::make_unique<testlayout::Editor>(effect.get());
  }

  void TearDown() override {
    editor.reset();
    effect.reset();
    input.reset();
    if (display) {
      if (parent) XDestroyWindow(display, parent);
      XCloseDisplay(display);
    }
    configVariable.reset();
    displayVariable.reset();
  }

  Window makeParent() { return x11host::makeHostWindow(display, kWidth, kHeight); }

  static void* handle(Window w) { return reinterpret_cast<void*>(static_cast<uintptr_t>(w)); }

  // Opens the editor and idles it, as a host does, until it has drawn.
  void openAndWaitForFrames() {
    editor->open(handle(parent));
    ASSERT_NE(editor->manager(), nullptr);
    idleUntil([this] { return editor->manager()->framesDrawn() >= 3; });
    ASSERT_GE(editor->manager()->framesDrawn(), 3u);
  }

  // The host's idle calls until done() or 5 s.
  void idleUntil(const std::function<bool()>& done) {
    x11host::idleUntil([this] { editor->idle(); }, done, 5s);
  }

  void idleFor(std::chrono::milliseconds time) {
    x11host::idleFor([this] { editor->idle(); }, time);
  }

  // A design point (origin bottom left) as a screen point.
  static int screenY(float designY) { return kHeight - static_cast<int>(designY); }

  const QW::ParameterDescriptor& descriptor(int32_t index) {
    return *editor->manager()->parameter(index);
  }

  float normalised(int32_t index) {
    const QW::ParameterDescriptor& d = descriptor(index);
    return d.normalise(d.plain());
  }

  std::vector<Window> children(Window w) { return x11host::childWindows(display, w); }

  Picture capture() {
    const auto kids = children(parent);
    EXPECT_EQ(kids.size(), 1u);
    if (kids.size() != 1u) return {};
    return x11host::capture(display, kids[0], kWidth, kHeight);
  }

  // The background colour where nothing is drawn, the label's white box
  // from the layer picture, and more than a handful of colours.
  void expectLayoutPicture(const Picture& picture) {
    ASSERT_EQ(picture.width, kWidth);
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{700, 100}, {5, 5}, {1018, 500}}) {
      const Rgb c = picture.at(x, y);
      EXPECT_NEAR(c.r, testlayout::kBackgroundRgb[0], 2) << x << "," << y;
      EXPECT_NEAR(c.g, testlayout::kBackgroundRgb[1], 2) << x << "," << y;
      EXPECT_NEAR(c.b, testlayout::kBackgroundRgb[2], 2) << x << "," << y;
    }
    const QW::Bounds label = editor->elements().label->absoluteBounds();
    ASSERT_FALSE(label.empty()) << "the label has no size: no label font was found";
    const Rgb white = picture.at(static_cast<int>(label.minX) + 1, screenY(label.centreY()));
    EXPECT_GT(white.r, 230);
    EXPECT_GT(white.g, 230);
    EXPECT_GT(white.b, 230);
    EXPECT_GE(x11host::distinctColours(picture), 20u);
  }

  int hostCalls(int32_t opcode, int32_t index) {
    int n = 0;
    for (const HostCall& call : host.calls(opcode)) n += call.index == index ? 1 : 0;
    return n;
  }

  std::optional<ScopedEnv> displayVariable;
  std::optional<ScopedEnv> configVariable;
  std::string configHome;
  Display* display = nullptr;
  Window parent = 0;
  std::unique_ptr<XTestInput> input;
  RecordingHost host;
  std::unique_ptr<QwkTonalmire> effect;
  std::unique_ptr<testlayout::Editor> editor;
};

TEST_F(EditorGesture, KnobDragsAndFineAdjustmentTakesOverWithoutAJump) {
  openAndWaitForFrames();
  const int32_t p = testlayout::knobParameter();
  const QW::ParameterDescriptor& d = descriptor(p);
  const QW::Bounds box = editor->elements().knob->absoluteBounds();
  const int x = static_cast<int>(box.centreX());
  const int y = screenY(box.centreY());

  d.setPlain(d.minimum(), false);
  host.clear();
  input->drag(x, y, x, y - 100);
  idleUntil([&] { return hostCalls(vst::audioMasterEndEdit, p) > 0; });
  EXPECT_NEAR(normalised(p), 0.5f, 0.01f);
  // One gesture for the host, with automation inside it.
  EXPECT_EQ(hostCalls(vst::audioMasterBeginEdit, p), 1);
  EXPECT_EQ(hostCalls(vst::audioMasterEndEdit, p), 1);
  EXPECT_GT(hostCalls(vst::audioMasterAutomate, p), 0);

  // Half way up, then Shift: the next 100 pixels add a tenth as much, from
  // where the value was when Shift went down.
  d.setPlain(d.minimum(), false);
  input->moveTo(x + 5, y);
  input->press();
  input->moveInSteps(x + 5, y, x + 5, y - 50, 5);
  idleFor(100ms);
  input->keyDown(XK_Shift_L);
  input->moveInSteps(x + 5, y - 50, x + 5, y - 150, 10);
  input->release();
  input->keyUp(XK_Shift_L);
  idleFor(200ms);
  EXPECT_NEAR(normalised(p), 0.30f, 0.01f);
}

TEST_F(EditorGesture, DropDownPicksAnItemFromItsList) {
  openAndWaitForFrames();
  const int32_t p = testlayout::dropDownParameter();
  ASSERT_EQ(descriptor(p).plain(), 5.0f);  // "1024", the default
  const QW::Bounds box = editor->elements().dropDown->absoluteBounds();
  const int x = static_cast<int>(box.centreX());
  // The list opens with the current item over the control; item 7 is two
  // rows further down.
  const float row = box.height();
  input->moveTo(x, screenY(box.centreY()));
  input->press();
  idleUntil([&] { return editor->elements().dropDown->isOpen(); });
  EXPECT_TRUE(editor->elements().dropDown->isOpen());
  input->moveInSteps(x, screenY(box.centreY()), x, screenY(box.centreY() - 2 * row), 4);
  idleFor(100ms);
  input->release();
  idleUntil([&] { return !editor->elements().dropDown->isOpen(); });
  EXPECT_EQ(descriptor(p).plain(), 7.0f);
  EXPECT_FALSE(editor->elements().dropDown->isOpen());
}

TEST_F(EditorGesture, TextFieldTakesATypedNumberOnReturnAndButtonsCallBack) {
  openAndWaitForFrames();
  const int32_t p = testlayout::textFieldParameter();
  const QW::Bounds field = editor->elements().textField->absoluteBounds();
  input->click(static_cast<int>(field.centreX()), screenY(field.centreY()));
  idleUntil([&] { return editor->manager()->keyFocus() == editor->elements().textField; });
  ASSERT_EQ(editor->manager()->keyFocus(), editor->elements().textField);
  input->type("12.5");
  input->key(XK_Return);
  idleUntil([&] { return descriptor(p).plain() == 12.5f; });
  EXPECT_FLOAT_EQ(descriptor(p).plain(), 12.5f);

  const QW::Bounds button = editor->elements().button->absoluteBounds();
  input->click(static_cast<int>(button.centreX()), screenY(button.centreY()));
  idleUntil([&] { return editor->buttonPresses() > 0; });
  EXPECT_EQ(editor->buttonPresses(), 1);
  // The press elsewhere took the focus from the field.
  EXPECT_EQ(editor->manager()->keyFocus(), nullptr);
}

TEST_F(EditorGesture, PictureShowsTheLayoutOverTheBackgroundInEveryDrawingMode) {
  openAndWaitForFrames();
  EXPECT_TRUE(editor->manager()->usesFramebuffer());
  expectLayoutPicture(capture());
  editor->close();

  // Without framebuffer objects the layer picture is drawn off-screen and
  // copied; the picture is the same.
  editor->configure = [](QW::Manager& m) { m.setPreferOffscreenLayer(true); };
  openAndWaitForFrames();
  EXPECT_FALSE(editor->manager()->usesFramebuffer());
  expectLayoutPicture(capture());
  editor->close();
  editor->configure = nullptr;

  const std::string folder = configHome + "/Quillworks/Veldrana";
  std::system(("mkdir -p '" + folder + "'").c_str());
  std::ofstream(folder + "/preferences") << "Enable eye candy=0\nEnable floating tooltip=1\n";
  openAndWaitForFrames();
  // Over a knob with floating tooltips on, with nothing under the pointer
  // afterwards: both draw.
  const QW::Bounds knob = editor->elements().knob->absoluteBounds();
  input->moveTo(static_cast<int>(knob.centreX()), screenY(knob.centreY()));
  idleFor(200ms);
  input->moveTo(700, 100);
  idleFor(200ms);
  expectLayoutPicture(capture());
  editor->close();
  std::remove((folder + "/preferences").c_str());
}

// Opening and closing, bad parents, odd call orders and a missing display
// are the editor's own and go through the plug-in as a host uses it: see
// the .so editor tests.

}  // namespace
