// The editor through the shipped .so, as a host on X11 drives it: a top-level
// window of the host as the parent, effEditOpen with its id, effEditIdle
// from the host's thread. Runs on a private Xvfb server.
// clang-format off
// gtest before the X headers, which define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
// clang-format on
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/so/PluginLoader.h"
#include "tests/support/PrivateXvfb.h"
#include "tests/support/X11Host.h"

namespace {

using namespace std::chrono_literals;

intptr_t host(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

using x11host::countEntries;
using x11host::Picture;
using x11host::Rgb;

std::unique_ptr<PrivateXvfb> server;

class EditorSo : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = PrivateXvfb::startForSuite();
    if (server) setenv("DISPLAY", server->display().c_str(), 1);
  }
  static void TearDownTestSuite() { server.reset(); }

  void SetUp() override {
    if (!PrivateXvfb::installed())
      GTEST_SKIP() << "Xvfb is not installed; the editor tests need an X server";
    ASSERT_NE(server, nullptr) << "Xvfb did not start";
    setenv("DISPLAY", server->display().c_str(), 1);
    // Preferences of our own, not the user's.
    configHome = ::testing::TempDir() + "veldrana-editor-" + std::to_string(getpid());
    mkdir(configHome.c_str(), 0700);
    setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
    display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    parent = makeParent();
    effect = library.entry()(host);
    ASSERT_NE(effect, nullptr);
  }

  void TearDown() override {
    if (effect) dispatch(effect, vst::effClose);
    if (display) {
      if (parent) XDestroyWindow(display, parent);
      XCloseDisplay(display);
    }
  }

  Window makeParent() { return x11host::makeHostWindow(display, 1024, 512); }

  void open(Window w) { dispatch(effect, vst::effEditOpen, 0, 0, reinterpret_cast<void*>(w)); }
  void close() { dispatch(effect, vst::effEditClose); }
  // The host's idle timer at about 30 per second.
  void idleFor(std::chrono::milliseconds time) {
    x11host::idleFor([this] { dispatch(effect, vst::effEditIdle); }, time);
  }

  std::vector<Window> children(Window w) { return x11host::childWindows(display, w); }

  // The editor's picture after a second of host idling, or once it has
  // drawn when the first frames take longer (a busy machine, a sanitizer
  // build): at most 20 s.
  Picture openAndCapture() {
    Picture picture;
    open(parent);
    idleFor(1000ms);
    const auto kids = children(parent);
    EXPECT_EQ(kids.size(), 1u);
    if (kids.size() != 1u) return picture;
    XWindowAttributes attributes{};
    EXPECT_TRUE(XGetWindowAttributes(display, kids[0], &attributes));
    EXPECT_EQ(attributes.width, 1024);
    EXPECT_EQ(attributes.height, 512);
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    for (;;) {
      picture = x11host::capture(display, kids[0], attributes.width, attributes.height);
      if (x11host::distinctColours(picture) >= 50u || std::chrono::steady_clock::now() > giveUp)
        break;
      idleFor(200ms);
    }
    close();
    return picture;
  }

  // What every picture of the built-in layout shows: the layout's
  // background colour (0.22, 0.05, 0.2) in the strip above the banner where
  // nothing else is, a lighter banner box, and plenty besides.
  void expectEditorPicture(const Picture& picture) {
    ASSERT_EQ(picture.width, 1024);
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{5, 5}, {1018, 5}, {5, 28}}) {
      const Rgb c = picture.at(x, y);
      EXPECT_NEAR(c.r, 56, 2) << x << "," << y;
      EXPECT_NEAR(c.g, 13, 2) << x << "," << y;
      EXPECT_NEAR(c.b, 51, 2) << x << "," << y;
    }
    const Rgb banner = picture.at(512, 22);
    EXPECT_GT(banner.r, 56 + 8);
    EXPECT_GT(banner.g, 13 + 8);
    EXPECT_GE(x11host::distinctColours(picture), 50u);
  }

  // Whatever the editor went through, the effect keeps processing.
  void expectAudioKeepsRunning() {
    dispatch(effect, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    dispatch(effect, vst::effSetBlockSize, 0, 256);
    dispatch(effect, vst::effMainsChanged, 0, 1);
    std::vector<float> in(256, 0.25f);
    std::vector<float> outL(256), outR(256);
    float* ins[2] = {in.data(), in.data()};
    float* outs[2] = {outL.data(), outR.data()};
    for (int i = 0; i < 20; ++i) effect->processReplacing(effect, ins, outs, 256);
    for (float v : outL) ASSERT_TRUE(std::isfinite(v));
    dispatch(effect, vst::effMainsChanged, 0, 0);
  }

  PluginLibrary library;
  vst::AEffect* effect = nullptr;
  Display* display = nullptr;
  Window parent = 0;
  std::string configHome;
};

TEST_F(EditorSo, DrawsTheLayoutInAChildOfTheHostWindowWithEyeCandyOnAndOff) {
  vst::ERect* rect = nullptr;
  ASSERT_EQ(dispatch(effect, vst::effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(std::vector<int>({rect->top, rect->left, rect->bottom, rect->right}),
            std::vector<int>({0, 0, 512, 1024}));
  const Picture lit = openAndCapture();
  expectEditorPicture(lit);
  EXPECT_TRUE(children(parent).empty());
  const std::string folder = configHome + "/Quillworks/Veldrana";
  std::system(("mkdir -p '" + folder + "'").c_str());
  std::ofstream(folder + "/preferences") << "Enable eye candy=0\n";
  const Picture flat = openAndCapture();
  std::remove((folder + "/preferences").c_str());
  expectEditorPicture(flat);
  // The pointer light and the normal maps change the picture somewhere.
  ASSERT_EQ(lit.pixels.size(), flat.pixels.size());
  size_t differing = 0;
  for (size_t i = 0; i < lit.pixels.size(); ++i) {
    const Rgb a = lit.pixels[i];
    const Rgb b = flat.pixels[i];
    if (std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) > 6) ++differing;
  }
  EXPECT_GT(differing, 1000u);
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
  XSync(display, False);
  EXPECT_TRUE(children(parent).empty());
  const int threads = countEntries("/proc/self/task");
  const int files = countEntries("/proc/self/fd");
  for (int i = 0; i < 50; ++i) {
    open(parent);
    dispatch(effect, vst::effEditIdle);
    if (i % 10 == 0) std::this_thread::sleep_for(40ms);  // sometimes mid-frame, sometimes not
    EXPECT_EQ(children(parent).size(), 1u);
    close();
  }
  XSync(display, False);
  EXPECT_TRUE(children(parent).empty());
  EXPECT_EQ(countEntries("/proc/self/task"), threads);
  EXPECT_EQ(countEntries("/proc/self/fd"), files);
}

TEST_F(EditorSo, InputIsHandledAlsoWhenTheHostNeverCallsIdle) {
  open(parent);
  const auto kids = children(parent);
  ASSERT_EQ(kids.size(), 1u);
  // Input sent before the editor has drawn may arrive before it listens
  // (a sanitizer build starts slowly): wait for its first picture.
  for (const auto giveUp = std::chrono::steady_clock::now() + 20s;
       std::chrono::steady_clock::now() < giveUp;) {
    std::this_thread::sleep_for(100ms);
    if (x11host::distinctColours(x11host::capture(display, kids[0], 1024, 512)) >= 50u) break;
  }
  // Drag the bottom-right corner 200 pixels to the left: the window keeps
  // its 2:1 shape, and the host's window follows by the same amount.
  XTestFakeMotionEvent(display, -1, 1020, 510, CurrentTime);
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  XTestFakeMotionEvent(display, -1, 820, 510, CurrentTime);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XSync(display, False);
  XWindowAttributes child{};
  for (int i = 0; i < 400; ++i) {
    std::this_thread::sleep_for(25ms);
    XGetWindowAttributes(display, kids[0], &child);
    if (child.width != 1024) break;
  }
  XWindowAttributes host{};
  XGetWindowAttributes(display, parent, &host);
  vst::ERect* rect = nullptr;
  dispatch(effect, vst::effEditGetRect, 0, 0, &rect);
  for (const auto& [width, height] :
       {std::pair(child.width, child.height), std::pair(host.width, host.height),
        std::pair<int, int>(rect->right, rect->bottom)}) {
    EXPECT_EQ(width, 824);
    EXPECT_EQ(height, 412);
  }
  close();
}

TEST_F(EditorSo, BadAndVanishingParentsAreSurvived) {
  for (const Window bad : {Window{0}, Window{0x3fffff0}}) {  // none, and no such window
    ::testing::internal::CaptureStderr();
    open(bad);
    dispatch(effect, vst::effEditIdle);
    close();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Error: "), std::string::npos) << bad << ": " << err;
  }
  open(parent);
  idleFor(100ms);
  EXPECT_EQ(children(parent).size(), 1u);
  XDestroyWindow(display, parent);
  XSync(display, False);
  parent = 0;
  // The render thread keeps going for a while with its window gone.
  idleFor(200ms);
  std::this_thread::sleep_for(200ms);
  close();
  parent = makeParent();
  open(parent);
  idleFor(100ms);
  EXPECT_EQ(children(parent).size(), 1u);
  close();
}

TEST_F(EditorSo, WithoutADisplayOrGlxOpenRefusesWithAnErrorLineAndAudioKeepsRunning) {
  unsetenv("DISPLAY");
  ::testing::internal::CaptureStderr();
  open(parent);
  dispatch(effect, vst::effEditIdle);
  std::string err = ::testing::internal::GetCapturedStderr();
  setenv("DISPLAY", server->display().c_str(), 1);
  EXPECT_NE(err.find("Error: "), std::string::npos) << err;
  expectAudioKeepsRunning();
  close();
  EXPECT_TRUE(children(parent).empty());

  const PrivateXvfb noGlx({"-extension", "GLX"});
  ASSERT_FALSE(noGlx.display().empty()) << "Xvfb without GLX did not start";
  Display* other = XOpenDisplay(noGlx.display().c_str());
  ASSERT_NE(other, nullptr);
  const Window otherParent = x11host::makeHostWindow(other, 1024, 512);
  setenv("DISPLAY", noGlx.display().c_str(), 1);
  ::testing::internal::CaptureStderr();
  open(otherParent);
  idleFor(300ms);
  err = ::testing::internal::GetCapturedStderr();
  setenv("DISPLAY", server->display().c_str(), 1);
  EXPECT_NE(err.find("Error: "), std::string::npos) << err;
  expectAudioKeepsRunning();
  close();
  EXPECT_TRUE(x11host::childWindows(other, otherParent).empty());
  XDestroyWindow(other, otherParent);
  XCloseDisplay(other);
}

// With no font at all the editor still opens and draws everything but text.
// (fontconfig reads its configuration once per process, so this holds its
// ground only when the test runs in a process of its own, as under ctest.)
TEST_F(EditorSo, WithoutAnyFontTheEditorStillDraws) {
  const std::string config = configHome + "/no-fonts.conf";
  {
    std::ofstream file(config);
    file << "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n";
  }
  setenv("FONTCONFIG_FILE", config.c_str(), 1);
  const Picture picture = openAndCapture();
  unsetenv("FONTCONFIG_FILE");
  ASSERT_EQ(picture.width, 1024);
  const Rgb corner = picture.at(5, 5);
  EXPECT_NEAR(corner.r, 56, 2);
  EXPECT_NEAR(corner.g, 13, 2);
  EXPECT_NEAR(corner.b, 51, 2);
  EXPECT_GE(x11host::distinctColours(picture), 50u);
  expectAudioKeepsRunning();
}

}  // namespace
