// The editor through the shipped .so, as a host on X11 drives it and a user
// uses it: a top-level window of the host as the parent, effEditOpen with
// its id, effEditIdle from the host's thread, real pointer and key input
// through the X server (XTest), on a private Xvfb server. What the input
// did is read back through the host interface and the pixels the server
// holds.
// clang-format off
// gtest before the X headers, which define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
// clang-format on
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/so/FrameCounter.h"
#include "tests/so/PluginLoader.h"
#include "tests/support/X11Host.h"
#include "tests/support/XTestInput.h"
#include "tests/support/XvfbSuite.h"

namespace {

using namespace std::chrono_literals;
using x11host::countEntries;
using x11host::Picture;
using x11host::Rgb;

constexpr int kWidth = 1024;
constexpr int kHeight = 512;
constexpr int32_t kInputGain = 11;
constexpr int32_t kBin0 = 32;
constexpr int32_t kBinCount = 2049;

// Where the built-in layout puts things, in layout coordinates (origin at
// the bottom left). Everything hangs off the spectrum display's bottom
// edge, which depends on the label font, so it is measured on screen.
struct Layout {
  float displayY = 0.0f;
  static constexpr float kDisplayHeight = 335.0f;

  static int screenY(float y) { return kHeight - static_cast<int>(std::lround(y)); }
  // Button i of the row above the display: Prefs, All Zero, All One, Zero
  // Odd, Zero Even, Invert.
  int buttonX(int i) const { return 20 + 80 * i + 35; }
  int buttonY() const { return screenY(displayY + 355.0f); }
  // A height in the lower half of the display.
  int drawY() const { return screenY(displayY + 40.0f); }
  // The "Process" group's controls sit at x = 30, y = displayY - 55.
  int inputKnobX() const { return 48; }
  int inputKnobY() const { return screenY(displayY - 55.0f + 31.5f); }
};

class EditorSo : public XvfbSuite {
 protected:
  void SetUp() override {
    XvfbSuite::SetUp();
    if (stopped()) return;
    setenv("DISPLAY", serverDisplay().c_str(), 1);
    // Preferences and scripts of this test alone.
    home = ::testing::TempDir() + "veldrana-editor-" + std::to_string(getpid());
    mkdir(home.c_str(), 0700);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("VELDRANA_SCRIPTS_DIR", (home + "/no-scripts").c_str(), 1);
    display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    ASSERT_TRUE(XTestInput::available(display)) << "the X server has no XTest";
    input = std::make_unique<XTestInput>(display);
    parent = x11host::makeHostWindow(display, kWidth, kHeight);
    hostLog().clear();
  }
  void TearDown() override {
    if (effect) {
      dispatch(effect, vst::effEditClose);
      dispatch(effect, vst::effClose);
    }
    if (display) {
      if (parent) XDestroyWindow(display, parent);
      XCloseDisplay(display);
    }
    std::system(("rm -rf '" + home + "'").c_str());
  }

  // Read when the editor opens.
  void writePreferences(const std::string& text) const {
    std::system(("mkdir -p '" + home + "/config/Quillworks/Veldrana'").c_str());
    std::ofstream(home + "/config/Quillworks/Veldrana/preferences") << text;
  }
  vst::AEffect* fx() {
    if (!effect) {
      effect = library.entry()(recordingHost);
      if (effect) resume(effect);
    }
    return effect;
  }

  void open(Window w) { dispatch(fx(), vst::effEditOpen, 0, 0, reinterpret_cast<void*>(w)); }
  void close() { dispatch(fx(), vst::effEditClose); }
  std::vector<Window> children(Window w) {
    XSync(display, False);
    return x11host::childWindows(display, w);
  }
  // The host's idle timer at about 30 per second.
  void idleFor(std::chrono::milliseconds time) {
    x11host::idleFor([this] { dispatch(effect, vst::effEditIdle); }, time);
  }
  void idleUntil(const std::function<bool()>& done) {
    x11host::idleUntil([this] { dispatch(effect, vst::effEditIdle); }, done, 5s);
  }

  // Opens the editor in the host window, lets it draw, and finds the
  // display from the picture: with every bin at level 1 the lower half of
  // the display is a column of slider purple at its left edge, whose last
  // row is the display's bottom (waited for up to 20 s on slow builds).
  void openEditor() {
    open(parent);
    idleFor(700ms);
    const std::vector<Window> kids = children(parent);
    ASSERT_EQ(kids.size(), 1u);
    editorWindow = kids[0];
    int first = -1, last = -1;
    for (const auto giveUp = std::chrono::steady_clock::now() + 20s;
         first < 0 && std::chrono::steady_clock::now() < giveUp; idleFor(100ms)) {
      const Picture picture = capture();
      ASSERT_FALSE(picture.pixels.empty());
      for (int y = 0; y < kHeight; ++y) {
        const Rgb c = picture.at(12, y);
        if (c.r <= 85 || c.b <= 85 || c.g >= 60) continue;
        if (first < 0) first = y;
        last = y;
      }
    }
    ASSERT_GE(first, 0) << "no bin-level bars at the display's left edge";
    EXPECT_NEAR(last - first + 1, Layout::kDisplayHeight / 2.0f, 2.0f);
    layout.displayY = static_cast<float>(kHeight - 1 - last);
    EXPECT_GT(layout.displayY, 90.0f);
    EXPECT_LT(layout.displayY, 130.0f);
  }

  Picture capture() { return x11host::capture(display, editorWindow, kWidth, kHeight); }
  // The picture once the editor has caught up: two captures a few frames
  // apart that agree (at most 20 s).
  Picture settledCapture() {
    Picture last = capture();
    for (const auto giveUp = std::chrono::steady_clock::now() + 20s;;) {
      idleFor(300ms);
      Picture next = capture();
      if (differing(next, last, 0, kHeight, 0) == 0 || std::chrono::steady_clock::now() > giveUp)
        return next;
      last = std::move(next);
    }
  }
  // Pixels of a and b in rows fromY..toY that differ by more than tolerance.
  static int differing(const Picture& a, const Picture& b, int fromY = 0, int toY = kHeight,
                       int tolerance = 6) {
    int n = 0;
    for (int y = fromY; y < toY; ++y) {
      for (int x = 0; x < a.width; ++x) {
        const Rgb p = a.at(x, y), q = b.at(x, y);
        n += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b) > tolerance ? 1 : 0;
      }
    }
    return n;
  }

  float parameter(int32_t index) { return fx()->getParameter(effect, index); }
  float bin(int k) { return parameter(kBin0 + k); }
  void setParameter(int32_t index, float value) { fx()->setParameter(effect, index, value); }
  void clickButton(int i) {
    input->click(layout.buttonX(i), layout.buttonY());
    idleFor(150ms);
  }
  // Where no element is: the background right of the button row.
  void pointerAway() {
    input->moveTo(1018, 5);
    idleFor(100ms);
  }

  PluginLibrary library;
  vst::AEffect* effect = nullptr;
  std::string home;
  Display* display = nullptr;
  Window parent = 0;
  Window editorWindow = 0;
  std::unique_ptr<XTestInput> input;
  Layout layout;
};

// The layout's background colour (0.22, 0.05, 0.2) beside the banner, where
// nothing else is, and plenty besides; the pointer light and the normal
// maps change the picture somewhere.
TEST_F(EditorSo, DrawsTheLayoutInAChildOfTheHostWindowWithEyeCandyOnAndOff) {
  std::vector<Picture> pictures;
  for (const char* preferences : {"", "Enable eye candy=0\n"}) {
    writePreferences(preferences);
    openEditor();
    pictures.push_back(capture());
    close();
    EXPECT_TRUE(children(parent).empty());
    const Rgb c = pictures.back().at(1018, 5);
    EXPECT_LE(std::abs(c.r - 56) + std::abs(c.g - 13) + std::abs(c.b - 51), 6);
    EXPECT_GE(x11host::distinctColours(pictures.back()), 50u);
  }
  EXPECT_GT(differing(pictures[0], pictures[1]), 1000);
}

TEST_F(EditorSo, OpeningAndClosingInAnyOrderLeavesNothingBehind) {
  // Libraries may set up per-process state on first use: count after that.
  close();
  open(parent);
  open(parent);
  idleFor(100ms);
  EXPECT_EQ(children(parent).size(), 1u);
  close();
  close();
  EXPECT_TRUE(children(parent).empty());
  const int threads = countEntries("/proc/self/task");
  const int files = countEntries("/proc/self/fd");
  for (int i = 0; i < 50; ++i) {
    open(parent);
    dispatch(effect, vst::effEditIdle);
    if (i % 10 == 0) std::this_thread::sleep_for(40ms);  // sometimes mid-frame, sometimes not
    EXPECT_EQ(children(parent).size(), 1u);
    close();
    EXPECT_TRUE(children(parent).empty());
  }
  EXPECT_EQ(countEntries("/proc/self/task"), threads);
  EXPECT_EQ(countEntries("/proc/self/fd"), files);
}

// Dragging the bottom-right corner 200 pixels to the left: the window keeps
// its 2:1 shape and the host's window follows, also without idle calls.
TEST_F(EditorSo, TheResizeCornerWorksAlsoWhenTheHostNeverCallsIdle) {
  open(parent);
  const auto kids = children(parent);
  ASSERT_EQ(kids.size(), 1u);
  // Input before the first picture may arrive before the editor listens.
  for (const auto giveUp = std::chrono::steady_clock::now() + 20s;
       std::chrono::steady_clock::now() < giveUp &&
       x11host::distinctColours(x11host::capture(display, kids[0], kWidth, kHeight)) < 50u;)
    std::this_thread::sleep_for(100ms);
  input->drag(1020, 510, 820, 510, 1);
  // The editor's window is resized first, the host's after it.
  XWindowAttributes child{}, host{};
  vst::ERect* rect = nullptr;
  for (int i = 0; i < 400; ++i) {
    XGetWindowAttributes(display, kids[0], &child);
    XGetWindowAttributes(display, parent, &host);
    dispatch(effect, vst::effEditGetRect, 0, 0, &rect);
    if (child.width == 824 && host.width == 824 && rect->right == 824) break;
    std::this_thread::sleep_for(25ms);
  }
  for (const auto& [width, height] :
       {std::pair(child.width, child.height), std::pair(host.width, host.height),
        std::pair<int, int>(rect->right, rect->bottom)}) {
    EXPECT_EQ(width, 824);
    EXPECT_EQ(height, 412);
  }
}

TEST_F(EditorSo, BadVanishingAndMissingParentsDisplaysAndGlxAreSurvived) {
  const auto expectRefusal = [&](Window w, const char* what) {
    ::testing::internal::CaptureStderr();
    open(w);
    idleFor(300ms);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Error: "), std::string::npos) << what << ": " << err;
    // Whatever the editor went through, the effect keeps processing.
    const std::vector<float> in(256, 0.25f);
    for (int i = 0; i < 20; ++i)
      for (float v : process(effect, in.data(), 256)) ASSERT_TRUE(std::isfinite(v)) << what;
    close();
  };
  expectRefusal(0, "no parent");
  expectRefusal(0x3fffff0, "no such window");
  unsetenv("DISPLAY");
  expectRefusal(parent, "no display");
  EXPECT_TRUE(children(parent).empty());
  {
    const PrivateXvfb noGlx({"-extension", "GLX"});
    ASSERT_FALSE(noGlx.display().empty()) << "Xvfb without GLX did not start";
    Display* other = XOpenDisplay(noGlx.display().c_str());
    ASSERT_NE(other, nullptr);
    const Window otherParent = x11host::makeHostWindow(other, kWidth, kHeight);
    setenv("DISPLAY", noGlx.display().c_str(), 1);
    expectRefusal(otherParent, "no GLX");
    EXPECT_TRUE(x11host::childWindows(other, otherParent).empty());
    XCloseDisplay(other);
  }
  // The render thread keeps going for a while with its window gone.
  setenv("DISPLAY", serverDisplay().c_str(), 1);
  open(parent);
  idleFor(100ms);
  EXPECT_EQ(children(parent).size(), 1u);
  XDestroyWindow(display, parent);
  XSync(display, False);
  idleFor(200ms);
  std::this_thread::sleep_for(200ms);
  close();
  parent = x11host::makeHostWindow(display, kWidth, kHeight);
  open(parent);
  idleFor(100ms);
  EXPECT_EQ(children(parent).size(), 1u);
}

// A host closes the editor whenever its user closes the window, also with
// the button still down drawing bin levels: the gesture it heard begin
// must end.
TEST_F(EditorSo, ClosingTheEditorInTheMiddleOfAGestureEndsIt) {
  openEditor();
  const auto begun = [] { return hostLog().count(vst::audioMasterBeginEdit); };
  const auto ended = [] { return hostLog().count(vst::audioMasterEndEdit); };
  input->moveTo(500, layout.drawY());
  input->press();
  input->moveTo(540, layout.drawY() - 20);
  idleUntil([&] { return begun() > 0; });
  ASSERT_GT(begun(), 0) << "the press began no gesture";
  EXPECT_EQ(ended(), begun() - 1);
  close();
  EXPECT_EQ(ended(), begun()) << "closing left the gesture open";
  input->release();
}

TEST_F(EditorSo, ScriptButtonsRewriteAllBinLevelsWithoutFloodingTheHost) {
  openEditor();
  const struct {
    int button;
    const char* name;
    float odd, even;
  } presses[] = {{1, "All Zero", 0, 0},
                 {5, "Invert", 1, 1},
                 {3, "Zero Odd", 0, 1},
                 {4, "Zero Even", 0, 0},
                 {2, "All One", 1, 1}};
  for (const auto& press : presses) {
    clickButton(press.button);
    int wrong = 0;
    for (int k = 0; k < kBinCount; ++k) wrong += bin(k) != (k % 2 ? press.odd : press.even);
    EXPECT_EQ(wrong, 0) << press.name;
  }
  EXPECT_EQ(hostLog().count(vst::audioMasterAutomate), 0);
}

// An open editor that nothing changes hands the server (almost) no frames;
// each kind of change still shows, and what it settles on is what drawing
// afresh (the window exposed) shows. Audio changes only the spectra and the
// meters, which frames redraw in parts; anything else redraws the whole.
TEST_F(EditorSo, AnIdleEditorDrawsOnlyWhenWhatItShowsChanges) {
  // Without the safety frame a change that goes unnoticed never shows.
  setenv("VELDRANA_SAFETY_FRAME", "0", 1);
  openEditor();
  unsetenv("VELDRANA_SAFETY_FRAME");
  pointerAway();
  idleFor(1500ms);  // the pointer light and the tooltip fade settle
  const uint64_t before = swapCount();
  idleFor(3000ms);
  // Every frame would be about 90.
  EXPECT_LE(swapCount() - before, 2u) << "frames drawn while nothing changed";

  // Noise in bursts, each quieter, with frames between them, so that frames
  // in parts see the meters and the spectra move.
  const auto playNoise = [&](float level) {
    std::vector<float> noise(512);
    uint32_t state = 1;
    for (float& sample : noise) {
      state = state * 1664525u + 1013904223u;
      sample = level * (static_cast<float>(state >> 8) / static_cast<float>(1u << 24) - 0.5f);
    }
    for (int burst = 0; burst < 4; ++burst) {
      for (int block = 0; block < 10; ++block) process(effect, noise.data(), 512);
      idleFor(150ms);
      for (float& sample : noise) sample *= 0.5f;
    }
  };
  const struct {
    const char* what;
    bool inParts;
    std::function<void()> make;
  } changes[] = {
      {"audio through the effect", true, [&] { playNoise(1.0f); }},
      {"a knob's parameter set by the host", false, [&] { setParameter(kInputGain, 0.9f); }},
      {"bin levels set by the host", false,
       [&] {
         for (int k = 0; k < 300; ++k) setParameter(kBin0 + k, 0.0f);
       }},
      // What lies below the spectra changed since they were last kept.
      {"audio again, over the new levels", true, [&] { playNoise(0.05f); }},
      {"the pointer over a knob", false,
       [&] { input->moveTo(layout.inputKnobX(), layout.inputKnobY()); }},
  };
  for (const auto& change : changes) {
    SCOPED_TRACE(change.what);
    const Picture shown = settledCapture();
    const uint64_t scissorsBefore = scissorCount();
    change.make();
    Picture changed = capture();
    idleUntil([&] {
      changed = capture();
      return differing(shown, changed) > 20;
    });
    EXPECT_GT(differing(shown, changed), 20) << "the change never showed";
    const Picture settled = settledCapture();
    EXPECT_EQ(scissorCount() > scissorsBefore, change.inParts) << "drawn in parts or whole";
    XClearArea(display, editorWindow, 0, 0, 0, 0, True);
    XFlush(display);
    idleFor(300ms);
    EXPECT_EQ(differing(settled, settledCapture()), 0) << "a fresh drawing shows something else";
  }
}

}  // namespace
