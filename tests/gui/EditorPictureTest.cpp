// The editor on a real (private, virtual) X server: a small layout of each
// control kind in a window of the test's own, looked at through the
// server's copy of the window in each way of drawing it.
// clang-format off
// gtest before the X headers, which define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
// clang-format on
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "gui/Manager.h"
#include "support/RecordingHost.h"
#include "support/ScopedEnv.h"
#include "support/TestLayout.h"
#include "support/X11Host.h"
#include "support/XvfbSuite.h"

namespace {

using namespace std::chrono_literals;
using testlayout::kHeight;
using testlayout::kWidth;

using x11host::Picture;
using x11host::Rgb;

class EditorPicture : public XvfbSuite {
 protected:
  void SetUp() override {
    XvfbSuite::SetUp();
    if (stopped()) return;
    displayVariable.emplace("DISPLAY", serverDisplay().c_str());
    mkdir(configHome.c_str(), 0700);  // preferences of our own, not the user's
    display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    parent = x11host::makeHostWindow(display, kWidth, kHeight);
    editor = std::make_unique<testlayout::Editor>(&effect);
  }

  void TearDown() override {
    editor.reset();
    if (display) {
      if (parent) XDestroyWindow(display, parent);
      XCloseDisplay(display);
    }
    std::system(("rm -rf '" + configHome + "'").c_str());
  }

  // Opens the editor and idles it, as a host does, until it has drawn.
  void openAndWaitForFrames() {
    editor->open(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)));
    ASSERT_NE(editor->manager(), nullptr);
    idleUntil([this] { return editor->manager()->framesDrawn() >= 3; });
    ASSERT_GE(editor->manager()->framesDrawn(), 3u);
  }
  void idleUntil(const std::function<bool()>& done) {
    x11host::idleUntil([this] { editor->idle(); }, done, 5s);
  }

  // The background colour where nothing is drawn, the label's white box
  // from the layer picture, and more than a handful of colours.
  void expectLayoutPicture() {
    const auto kids = x11host::childWindows(display, parent);
    ASSERT_EQ(kids.size(), 1u);
    const Picture picture = x11host::capture(display, kids[0], kWidth, kHeight);
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{700, 100}, {5, 5}, {1018, 500}}) {
      const Rgb c = picture.at(x, y);
      const int* bg = testlayout::kBackgroundRgb;
      EXPECT_LE(std::abs(c.r - bg[0]) + std::abs(c.g - bg[1]) + std::abs(c.b - bg[2]), 6)
          << x << "," << y;
    }
    const QW::Bounds label = editor->elements().label->absoluteBounds();
    ASSERT_FALSE(label.empty()) << "the label has no size: no label font was found";
    const Rgb white =
        picture.at(static_cast<int>(label.minX) + 1, kHeight - static_cast<int>(label.centreY()));
    EXPECT_GT(std::min({white.r, white.g, white.b}), 230);
    EXPECT_GE(x11host::distinctColours(picture), 20u);
  }

  std::optional<ScopedEnv> displayVariable;
  const std::string configHome =
      ::testing::TempDir() + "veldrana-picture-" + std::to_string(getpid());
  const ScopedEnv configVariable{"XDG_CONFIG_HOME", configHome.c_str()};
  Display* display = nullptr;
  Window parent = 0;
  RecordingHost host;
  QwkTonalmire effect{RecordingHost::callback()};
  std::unique_ptr<testlayout::Editor> editor;
};

TEST_F(EditorPicture, ShowsTheLayoutOverTheBackgroundInEveryDrawingMode) {
  // Without framebuffer objects the layer picture is drawn off-screen and
  // copied: the picture is the same.
  for (const bool offscreen : {false, true}) {
    editor->configure = [offscreen](QW::Manager& m) { m.setPreferOffscreenLayer(offscreen); };
    openAndWaitForFrames();
    EXPECT_EQ(editor->manager()->usesFramebuffer(), !offscreen);
    expectLayoutPicture();
    editor->close();
  }
}

}  // namespace
