// The complete editor through the shipped .so, used the way a user uses it:
// real pointer and key input through the X server (XTest) into the built-in
// layout, with the host idling the editor from its own thread. What the
// input did is read back through the host interface only: parameter values,
// latency, host callbacks, the preferences file and the OSC port.
// clang-format off
// gtest before the X headers, which define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
// clang-format on
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/so/FrameCounter.h"
#include "tests/so/OscLoopback.h"
#include "tests/so/PluginLoader.h"
#include "tests/support/PrivateXvfb.h"
#include "tests/support/X11Host.h"
#include "tests/support/XTestInput.h"

namespace {

using namespace std::chrono_literals;
using x11host::Picture;
using x11host::Rgb;

constexpr int kWidth = 1024;
constexpr int kHeight = 512;
constexpr int32_t kOscPortOffset = 0;
constexpr int32_t kFftSize = 3;
constexpr int32_t kViewXAxis = 4;
constexpr int32_t kInputGain = 11;
constexpr int32_t kBin0 = 32;
constexpr int32_t kBinCount = 2049;
constexpr int32_t kParameterCount = 2081;

// What the effect told its host. The render thread may call the host too
// (when idle calls are late), so the record is locked.
struct HostCall {
  int32_t opcode;
  int32_t index;
};

class HostLog {
 public:
  void record(int32_t opcode, int32_t index) {
    const std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({opcode, index});
  }
  void clear() {
    const std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
  }
  int count(int32_t opcode, const std::function<bool(int32_t)>& indexMatches) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const HostCall& c : calls_) n += c.opcode == opcode && indexMatches(c.index) ? 1 : 0;
    return n;
  }
  int count(int32_t opcode) const {
    return count(opcode, [](int32_t) { return true; });
  }

 private:
  mutable std::mutex mutex_;
  std::vector<HostCall> calls_;
};

HostLog hostLog;

intptr_t host(vst::AEffect*, int32_t opcode, int32_t index, intptr_t, void*, float) {
  hostLog.record(opcode, index);
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

bool isBin(int32_t index) {
  return index >= kBin0 && index < kBin0 + kBinCount;
}

// Whether the service on 127.0.0.1:port answers a "/ping" within about
// three seconds.
bool pingAnswered(int port) {
  return OscClient().pingAnswered(port, "/pong", 200, 3000);
}

// Where the built-in layout puts things. Everything hangs off the spectrum
// display's bottom edge, which depends on the label font's height (the
// groups' height includes their labels), so it is measured on screen.
// Layout coordinates have the origin at the bottom left.
struct Layout {
  float displayY = 0.0f;
  static constexpr float kDisplayX = 10.0f;
  static constexpr float kDisplayWidth = 1004.0f;
  static constexpr float kDisplayHeight = 335.0f;

  static int screenY(float y) { return kHeight - static_cast<int>(std::lround(y)); }

  // Button i of the row above the display: Prefs, All Zero, All One,
  // Zero Odd, Zero Even, Invert.
  int buttonX(int i) const { return 20 + 80 * i + 35; }
  int buttonY() const { return screenY(displayY + 340.0f + 15.0f); }

  // The middle of bin k's column on the linear axis.
  static int binX(int k, int binCount) {
    return static_cast<int>(
        std::floor(kDisplayX + (static_cast<float>(k) + 0.5f) * kDisplayWidth / binCount));
  }
  // A height in the lower half of the display, and the level it stands for.
  int drawY() const { return screenY(displayY + 40.0f); }
  static float drawLevel() { return 2.0f * 40.0f / kDisplayHeight; }

  // "Process" sits at (20, 30) by its outline, whose bottom is the labels'
  // bottom minus the 10-pixel margin; "Mix" has the same labels, and the
  // display starts 5 pixels below the top of "Mix". Hence the group's
  // controls sit at x = 30 and y = displayY - 55.
  float processY() const { return displayY - 55.0f; }
  int fftSizeX() const { return 30 + 48 + 25; }
  float fftSizeCentreY() const { return processY() + 6.0f; }
  int inputKnobX() const { return 30 + 18; }
  int inputKnobY() const { return screenY(processY() + 13.0f + 18.5f); }
  int outputKnobX() const { return 30 + 108 + 18; }
};

std::unique_ptr<PrivateXvfb> server;

class EditorUse : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!PrivateXvfb::installed()) return;
    server = std::make_unique<PrivateXvfb>();
    if (server->display().empty()) server.reset();
  }
  static void TearDownTestSuite() { server.reset(); }

  void SetUp() override {
    if (!PrivateXvfb::installed())
      GTEST_SKIP() << "Xvfb is not installed; the editor tests need an X server";
    ASSERT_NE(server, nullptr) << "Xvfb did not start";
    setenv("DISPLAY", server->display().c_str(), 1);
    // Preferences and scripts of this test alone.
    static int serial = 0;
    userHome = ::testing::TempDir() + "veldrana-use-" + std::to_string(getpid()) + "-" +
               std::to_string(++serial);
    mkdir(userHome.c_str(), 0700);
    setenv("XDG_CONFIG_HOME", (userHome + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (userHome + "/data").c_str(), 1);
    setenv("VELDRANA_SCRIPTS_DIR", (userHome + "/no-scripts").c_str(), 1);
    display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    ASSERT_TRUE(XTestInput::available(display)) << "the X server has no XTest";
    input = std::make_unique<XTestInput>(display);
    parent = makeParent();
    hostLog.clear();
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
    std::system(("rm -rf '" + userHome + "'").c_str());
  }

  std::string preferencesPath() const {
    return userHome + "/config/Quillworks/Veldrana/preferences";
  }
  // Preferences read when the effect starts and the editor opens.
  void writePreferences(const std::string& text) const {
    std::system(("mkdir -p '" + userHome + "/config/Quillworks/Veldrana'").c_str());
    std::ofstream(preferencesPath()) << text;
  }

  void makeEffect() {
    effect = library.entry()(host);
    ASSERT_NE(effect, nullptr);
    dispatch(effect, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    dispatch(effect, vst::effSetBlockSize, 0, 512);
    dispatch(effect, vst::effMainsChanged, 0, 1);
  }

  Window makeParent() { return x11host::makeHostWindow(display, kWidth, kHeight); }

  // The host's idle timer at about 30 per second.
  void idleFor(std::chrono::milliseconds time) {
    const auto end = std::chrono::steady_clock::now() + time;
    do {
      dispatch(effect, vst::effEditIdle);
      std::this_thread::sleep_for(33ms);
    } while (std::chrono::steady_clock::now() < end);
  }
  void idleUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (!done() && std::chrono::steady_clock::now() < end) idleFor(0ms);
  }

  // Opens the editor in the host window, lets it draw, and finds the
  // display from the picture.
  void openEditor() {
    if (!effect) makeEffect();
    ASSERT_NE(effect, nullptr);
    dispatch(effect, vst::effEditOpen, 0, 0, reinterpret_cast<void*>(parent));
    idleFor(700ms);
    const std::vector<Window> kids = x11host::childWindows(display, parent);
    ASSERT_EQ(kids.size(), 1u);
    editorWindow = kids[0];
    measureLayout();
  }

  Picture capture() { return x11host::capture(display, editorWindow, kWidth, kHeight); }

  static bool samePixels(const Picture& a, const Picture& b) {
    return std::equal(a.pixels.begin(), a.pixels.end(), b.pixels.begin(), b.pixels.end(),
                      [](Rgb p, Rgb q) { return p.r == q.r && p.g == q.g && p.b == q.b; });
  }

  // The picture once the editor has caught up with the input: two captures
  // a few frames apart that agree (at most 20 s, for slow machines and
  // sanitizer builds).
  Picture settledCapture() {
    Picture last = capture();
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    for (;;) {
      idleFor(300ms);
      Picture next = capture();
      if (samePixels(next, last) || std::chrono::steady_clock::now() > giveUp) return next;
      last = std::move(next);
    }
  }

  // With every bin at level 1 the lower half of the display is one column
  // of opaque slider colour (purple, around (102..127, 25, 115..127)) at
  // the display's left edge: its last row is the display's bottom.
  // A slow machine (or a sanitizer build) may take a while for the first
  // frame, so the picture is looked at until the bars show, for up to 20 s.
  void measureLayout() {
    auto isSlider = [](const Rgb& c) { return c.r > 85 && c.b > 85 && c.g < 60; };
    int first = -1;
    int last = -1;
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (first < 0 && std::chrono::steady_clock::now() < giveUp) {
      const Picture picture = capture();
      ASSERT_FALSE(picture.pixels.empty());
      for (int y = 0; y < kHeight; ++y) {
        if (!isSlider(picture.at(12, y))) continue;
        if (first < 0) first = y;
        last = y;
      }
      if (first < 0) idleFor(100ms);
    }
    ASSERT_GE(first, 0) << "no bin-level bars at the display's left edge";
    EXPECT_NEAR(last - first + 1, Layout::kDisplayHeight / 2.0f, 2.0f);
    layout.displayY = static_cast<float>(kHeight - 1 - last);
    // The groups' row below starts at y = 30 and is at least a knob unit
    // (50 pixels) plus margins high.
    EXPECT_GT(layout.displayY, 90.0f);
    EXPECT_LT(layout.displayY, 130.0f);
  }

  float parameter(int32_t index) const { return effect->getParameter(effect, index); }
  float bin(int k) const { return parameter(kBin0 + k); }
  void setParameter(int32_t index, float normalized) {
    effect->setParameter(effect, index, normalized);
  }

  void clickButton(int i) {
    input->click(layout.buttonX(i), layout.buttonY());
    idleFor(150ms);
  }

  // Where no element is: the background right of the button row.
  void pointerAway() {
    input->moveTo(1018, 5);
    idleFor(100ms);
  }

  // Pixels of a and b that differ by more than rounding, in rows fromY..toY.
  static int differing(const Picture& a, const Picture& b, int fromY = 0, int toY = kHeight) {
    int n = 0;
    for (int y = fromY; y < toY; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const Rgb p = a.at(x, y);
        const Rgb q = b.at(x, y);
        n += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b) > 6 ? 1 : 0;
      }
    }
    return n;
  }

  int editorWidth() {
    XWindowAttributes a{};
    XGetWindowAttributes(display, editorWindow, &a);
    return a.width;
  }

  PluginLibrary library;
  vst::AEffect* effect = nullptr;
  std::string userHome;
  Display* display = nullptr;
  Window parent = 0;
  Window editorWindow = 0;
  std::unique_ptr<XTestInput> input;
  Layout layout;
};

TEST_F(EditorUse, DrawingBinLevelsWithThePointerAndResettingOneWithAlt) {
  openEditor();
  // The bins are evenly spaced only on the linear axis; the default is "Log".
  EXPECT_EQ(parameter(kViewXAxis), 0.0f);
  setParameter(kViewXAxis, 1.0f);
  EXPECT_EQ(effect->initialDelay, 1024);  // "FFT Size" 1024: 513 bins
  constexpr int kBins = 513;
  idleFor(100ms);

  const int y = layout.drawY();
  hostLog.clear();
  input->moveTo(Layout::binX(5, kBins), y);
  input->press();
  input->moveInSteps(Layout::binX(5, kBins), y, Layout::binX(10, kBins), y, 10);
  idleFor(100ms);
  input->release();
  // Each bin the pointer crosses gets its own edit; the release ends the last.
  idleUntil([] {
    return hostLog.count(vst::audioMasterEndEdit, isBin) > 0 &&
           hostLog.count(vst::audioMasterBeginEdit, isBin) ==
               hostLog.count(vst::audioMasterEndEdit, isBin);
  });

  for (int k = 5; k <= 10; ++k) EXPECT_NEAR(bin(k), Layout::drawLevel(), 0.02f) << "bin " << k;
  EXPECT_EQ(bin(4), 1.0f);
  EXPECT_EQ(bin(11), 1.0f);
  // One gesture for the host, but the drawn levels are not automation.
  EXPECT_GE(hostLog.count(vst::audioMasterBeginEdit, isBin), 1);
  EXPECT_EQ(hostLog.count(vst::audioMasterBeginEdit, isBin),
            hostLog.count(vst::audioMasterEndEdit, isBin));
  EXPECT_EQ(hostLog.count(vst::audioMasterAutomate, isBin), 0);

  // Alt-click on a drawn bin: back to its default, announced to the host.
  hostLog.clear();
  input->keyDown(XK_Alt_L);
  input->click(Layout::binX(7, kBins), y);
  input->keyUp(XK_Alt_L);
  idleUntil([] { return hostLog.count(vst::audioMasterAutomate) > 0; });
  idleFor(100ms);
  EXPECT_EQ(bin(7), 1.0f);
  EXPECT_NEAR(bin(6), Layout::drawLevel(), 0.02f);
  EXPECT_NEAR(bin(8), Layout::drawLevel(), 0.02f);
  EXPECT_EQ(hostLog.count(vst::audioMasterAutomate, [](int32_t i) { return i == kBin0 + 7; }), 1);
  EXPECT_EQ(hostLog.count(vst::audioMasterAutomate, [](int32_t i) { return i != kBin0 + 7; }), 0);

  // Alt-drag changes nothing.
  input->keyDown(XK_Alt_L);
  input->moveTo(Layout::binX(20, kBins), y);
  input->press();
  input->moveInSteps(Layout::binX(20, kBins), y, Layout::binX(30, kBins), y, 10);
  input->release();
  input->keyUp(XK_Alt_L);
  idleFor(200ms);
  for (int k = 20; k <= 30; ++k) EXPECT_EQ(bin(k), 1.0f) << "bin " << k;
}

TEST_F(EditorUse, ScriptButtonsRewriteAllBinLevels) {
  openEditor();
  auto expectBins = [this](const std::function<float(int)>& expected, const char* after) {
    int wrong = 0;
    for (int k = 0; k < kBinCount; ++k) {
      if (bin(k) != expected(k)) {
        if (++wrong <= 3) ADD_FAILURE() << after << ": bin " << k << " is " << bin(k);
      }
    }
    EXPECT_EQ(wrong, 0) << after;
  };

  hostLog.clear();
  clickButton(1);  // All Zero
  expectBins([](int) { return 0.0f; }, "All Zero");
  clickButton(5);  // Invert
  expectBins([](int) { return 1.0f; }, "Invert");
  clickButton(3);  // Zero Odd
  expectBins([](int k) { return k % 2 == 1 ? 0.0f : 1.0f; }, "Zero Odd");
  clickButton(4);  // Zero Even
  expectBins([](int) { return 0.0f; }, "Zero Even");
  clickButton(2);  // All One
  expectBins([](int) { return 1.0f; }, "All One");
  // 2049 values a press: the host is not flooded with automation.
  EXPECT_EQ(hostLog.count(vst::audioMasterAutomate, isBin), 0);
}

TEST_F(EditorUse, FftSizeDropDownChangesTheLatency) {
  openEditor();
  ASSERT_EQ(effect->initialDelay, 1024);
  const int x = layout.fftSizeX();
  const float field = layout.fftSizeCentreY();
  constexpr float kRow = 12.0f;  // one item per field height

  // The list opens with the current item ("1024", item 5) over the field;
  // "4096" (item 7) is two rows further down.
  hostLog.clear();
  input->moveTo(x, Layout::screenY(field));
  input->press();
  idleFor(150ms);
  input->moveInSteps(x, Layout::screenY(field), x, Layout::screenY(field - 2 * kRow), 4);
  idleFor(100ms);
  input->release();
  idleUntil([this] { return effect->initialDelay != 1024; });
  EXPECT_EQ(effect->initialDelay, 4096);
  EXPECT_EQ(parameter(kFftSize), 1.0f);
  EXPECT_GE(hostLog.count(vst::audioMasterIOChanged), 1);
  EXPECT_GE(hostLog.count(vst::audioMasterAutomate, [](int32_t i) { return i == kFftSize; }), 1);

  // From "4096" (now over the field) five rows up is "128" (item 2).
  input->moveTo(x, Layout::screenY(field));
  input->press();
  idleFor(150ms);
  input->moveInSteps(x, Layout::screenY(field), x, Layout::screenY(field + 5 * kRow), 5);
  idleFor(100ms);
  input->release();
  idleUntil([this] { return effect->initialDelay != 4096; });
  EXPECT_EQ(effect->initialDelay, 128);
  EXPECT_NEAR(parameter(kFftSize), 2.0f / 7.0f, 1e-6f);

  // Pressed and released outside the list: nothing chosen.
  input->moveTo(x, Layout::screenY(field));
  input->press();
  idleFor(150ms);
  input->moveInSteps(x, Layout::screenY(field), x + 300, Layout::screenY(field + 100), 5);
  idleFor(100ms);
  input->release();
  idleFor(200ms);
  EXPECT_EQ(effect->initialDelay, 128);
}

TEST_F(EditorUse, PrefsPanelStoresTheBasePortAndMovesTheOscService) {
  const int32_t firstBase = oscBasePort() + 100;
  const int32_t newBase = oscBasePort() + 150;
  constexpr int32_t kOffset = 7;
  writePreferences("OSC Base Port=" + std::to_string(firstBase) + "\n");
  makeEffect();
  setParameter(kOscPortOffset, kOffset / 100.0f);
  ASSERT_TRUE(pingAnswered(firstBase + kOffset)) << "the service did not start on its first port";
  openEditor();

  clickButton(0);  // Prefs: the panel opens with the port selected.
  idleFor(200ms);
  input->type(std::to_string(newBase));
  idleFor(150ms);
  // The panel is 400 x 410 pixels, centred: OK is at (472..552, 59..83).
  input->click(512, Layout::screenY(71.0f));
  idleFor(300ms);

  std::ifstream file(preferencesPath());
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_NE(text.str().find("OSC Base Port=" + std::to_string(newBase) + "\n"), std::string::npos)
      << text.str();
  EXPECT_TRUE(pingAnswered(newBase + kOffset));
  EXPECT_FALSE(pingAnswered(firstBase + kOffset));

  // The panel has closed: the buttons answer again.
  clickButton(1);  // All Zero
  EXPECT_EQ(bin(0), 0.0f);
}

TEST_F(EditorUse, AllZeroChangesTheLowerHalfOfTheDisplayOnly) {
  // Without the pointer light the picture depends on nothing but the state.
  writePreferences("Enable eye candy=0\n");
  openEditor();
  pointerAway();
  const Picture before = settledCapture();
  clickButton(1);  // All Zero
  ASSERT_EQ(bin(100), 0.0f);
  pointerAway();
  const Picture after = settledCapture();
  ASSERT_EQ(before.pixels.size(), after.pixels.size());

  // Lower half of the display (screen rows), inside its left and right edges.
  const int lowerTop = Layout::screenY(layout.displayY + Layout::kDisplayHeight / 2.0f) + 2;
  const int lowerBottom = Layout::screenY(layout.displayY) - 2;
  const int columns = 1000;
  EXPECT_GT(differing(before, after, lowerTop, lowerBottom),
            (lowerBottom - lowerTop) * columns * 9 / 10);
  // The strip above the button row: banner and background.
  const int stripBottom = Layout::screenY(layout.displayY + 340.0f + 30.0f);
  EXPECT_EQ(differing(before, after, 0, stripBottom), 0);
}

TEST_F(EditorUse, LeavingTheWindowUnlightsTheHoveredButtonAndHidesItsTooltip) {
  writePreferences("Enable eye candy=0\n");
  openEditor();
  pointerAway();
  const Picture idle = settledCapture();
  input->moveTo(layout.buttonX(0), layout.buttonY());
  const Picture hovered = settledCapture();
  // "Preferences" in the banner, the button lit.
  const int bannerBottom = Layout::screenY(487.0f);
  EXPECT_GT(differing(idle, hovered, 0, bannerBottom), 50);
  EXPECT_GT(differing(idle, hovered, bannerBottom, kHeight), 200);

  // Off the host window altogether: no motion reaches the editor from there.
  input->moveTo(1200, 700);
  EXPECT_EQ(differing(idle, settledCapture()), 0);

  // Through another element on the way out.
  input->moveTo(layout.inputKnobX(), layout.inputKnobY());
  idleFor(150ms);
  input->moveTo(layout.inputKnobX(), 700);
  EXPECT_EQ(differing(idle, settledCapture()), 0);
}

// An open editor that nothing changes hands the server (almost) no frames;
// each kind of change still shows, and what it settles on is what drawing
// afresh (the window exposed) shows. Audio changes only the spectra and the
// meters, which frames redraw in parts; anything else redraws the whole.
TEST_F(EditorUse, AnIdleEditorDrawsOnlyWhenWhatItShowsChanges) {
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

  // Blocks of noise at a level of its own each time, so the spectra move.
  const auto playNoise = [&](float level) {
    std::vector<float> noise(2 * 512);
    uint32_t state = 1;
    for (float& sample : noise) {
      state = state * 1664525u + 1013904223u;
      sample = level * (static_cast<float>(state >> 8) / static_cast<float>(1u << 24) - 0.5f);
    }
    std::vector<float> out(2 * 512);
    float* ins[2] = {noise.data(), noise.data() + 512};
    float* outs[2] = {out.data(), out.data() + 512};
    // In bursts, each quieter, so that frames in parts see the meters and
    // the spectra move.
    for (int burst = 0; burst < 4; ++burst) {
      for (int block = 0; block < 10; ++block) effect->processReplacing(effect, ins, outs, 512);
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

TEST_F(EditorUse, PrefsPanelTakesThePressInTheResizeCorner) {
  openEditor();
  clickButton(0);  // Prefs
  idleFor(200ms);
  // Would make the window 824 wide.
  input->drag(1020, 510, 820, 510);
  idleFor(300ms);
  input->key(XK_Escape);
  idleFor(200ms);
  // The panel has closed: this one resizes, to 924 if the first did not.
  input->drag(1020, 510, 920, 510);
  idleUntil([this] { return editorWidth() != kWidth; });
  EXPECT_EQ(editorWidth(), 924);
}

TEST_F(EditorUse, BadInputLeavesEveryParameterInRange) {
  openEditor();
  const int y = layout.drawY();
  const int middleY = Layout::screenY(layout.displayY + Layout::kDisplayHeight / 2.0f);

  // Drags that leave the window, both ways and beyond the screen's edges.
  input->moveTo(500, y);
  input->press();
  input->moveInSteps(500, y, 1270, 790, 20);
  input->moveInSteps(1270, 790, 0, 0, 20);
  idleFor(50ms);
  input->release();
  input->moveTo(layout.inputKnobX(), layout.inputKnobY());
  input->press();
  input->moveInSteps(layout.inputKnobX(), layout.inputKnobY(), layout.inputKnobX(), 0, 20);
  input->moveInSteps(layout.inputKnobX(), 0, 1279, 799, 20);
  input->release();
  idleFor(100ms);

  // Modifiers pressed and released in the middle of drags, overlapping,
  // with the pointer going up and down through both halves of the display.
  const unsigned long modifiers[] = {XK_Shift_L, XK_Control_L, XK_Alt_L};
  struct KeyStep {
    int modifier;
    bool down;
  };
  const KeyStep steps[] = {{0, true}, {1, true}, {0, false}, {2, true}, {1, false}, {2, false}};
  for (int round = 0; round < 3; ++round) {
    int x = 100 + 250 * round;
    input->moveTo(x, y);
    input->press();
    bool up = false;
    for (const KeyStep& step : steps) {
      const unsigned long key = modifiers[(round + step.modifier) % 3];
      if (step.down)
        input->keyDown(key);
      else
        input->keyUp(key);
      const int fromY = up ? middleY - 150 : y;
      const int toY = up ? y : middleY - 150;
      input->moveInSteps(x, fromY, x + 30, toY, 5);
      x += 30;
      up = !up;
      dispatch(effect, vst::effEditIdle);
    }
    input->release();
    idleFor(50ms);
  }

  // 10 000 wheel notches within about a second, over the display and over
  // two knobs, some with Shift held.
  struct Spot {
    int x, y;
  };
  const Spot spots[] = {{300, y},
                        {700, middleY - 60},
                        {layout.inputKnobX(), layout.inputKnobY()},
                        {layout.outputKnobX(), layout.inputKnobY()}};
  for (int batch = 0; batch < 40; ++batch) {
    const Spot spot = spots[batch % 4];
    input->moveTo(spot.x + batch % 7, spot.y);
    if (batch % 5 == 0) input->keyDown(XK_Shift_L);
    for (int i = 0; i < 250; ++i) {
      // Mostly forward, so the knobs travel to their end.
      const unsigned int wheel = i % 4 == 3 ? 5 : 4;
      XTestFakeButtonEvent(display, wheel, True, CurrentTime);
      XTestFakeButtonEvent(display, wheel, False, CurrentTime);
    }
    if (batch % 5 == 0) input->keyUp(XK_Shift_L);
    input->sync();
    dispatch(effect, vst::effEditIdle);
    std::this_thread::sleep_for(20ms);
  }
  // The editor may still be working through the queue on a slow machine.
  idleUntil([&] { return parameter(kInputGain) != 80.0f / 116.0f; });
  idleFor(500ms);

  int outOfRange = 0;
  for (int32_t i = 0; i < kParameterCount; ++i) {
    const float v = parameter(i);
    if (!std::isfinite(v) || v < 0.0f || v > 1.0f) {
      if (++outOfRange <= 5) ADD_FAILURE() << "parameter " << i << " is " << v;
    }
  }
  EXPECT_EQ(outOfRange, 0);
  // The wheel did reach the knob, and the editor still answers a click.
  EXPECT_NE(parameter(kInputGain), 80.0f / 116.0f);
  clickButton(2);  // All One
  for (int k = 0; k < kBinCount; k += 97) EXPECT_EQ(bin(k), 1.0f) << "bin " << k;
}

}  // namespace
