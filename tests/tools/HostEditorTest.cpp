// `editor`: the plug-in's editor in a window of the host's own, on a private
// Xvfb server, and its screenshot read back from the PNG the host wrote.
#include <fcntl.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "tests/support/PrivateXvfb.h"
#include "tests/support/ScopedEnv.h"
#include "tests/tools/HostTestSupport.h"
#include "tests/tools/VeldranaHome.h"

namespace hosttest {
namespace {

using namespace std::chrono_literals;

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;

  size_t pixels() const { return static_cast<size_t>(width) * height; }
  // Pixels of the box [x0, x1) × [y0, y1), rows counted from the top.
  size_t countNearIn(int x0, int y0, int x1, int y1, int r, int g, int b, int tolerance) const {
    size_t n = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        const size_t i = (static_cast<size_t>(y) * width + x) * 3;
        if (std::abs(rgb[i] - r) <= tolerance && std::abs(rgb[i + 1] - g) <= tolerance &&
            std::abs(rgb[i + 2] - b) <= tolerance)
          ++n;
      }
    }
    return n;
  }
};

// Decodes with libpng itself, so a file that only looks like a PNG fails.
Picture readPng(const std::string& path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str()))
    throw std::runtime_error("cannot read " + path + " as PNG: " + image.message);
  const bool rgb8 = (image.format & PNG_FORMAT_FLAG_COLOR) != 0 &&
                    (image.format & PNG_FORMAT_FLAG_ALPHA) == 0 &&
                    (image.format & PNG_FORMAT_FLAG_LINEAR) == 0;
  Picture picture;
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  image.format = PNG_FORMAT_RGB;
  picture.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    throw std::runtime_error("cannot decode " + path + ": " + image.message);
  }
  if (!rgb8) throw std::runtime_error(path + " is not an 8-bit RGB PNG");
  return picture;
}

// Pixels of the box [x0, x1) × [y0, y1) where the two pictures differ by
// more than `tolerance` in any colour.
size_t countDifferentIn(const Picture& a, const Picture& b, int x0, int y0, int x1, int y1,
                        int tolerance) {
  size_t n = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      const size_t i = (static_cast<size_t>(y) * a.width + x) * 3;
      for (size_t c = 0; c < 3; ++c) {
        if (std::abs(a.rgb[i + c] - b.rgb[i + c]) > tolerance) {
          ++n;
          break;
        }
      }
    }
  }
  return n;
}

// Broadband noise, so a live spectrum covers the whole display.
Audio whiteNoise(int channels, int sampleRate, size_t frames) {
  Audio audio;
  audio.channels = channels;
  audio.sampleRate = sampleRate;
  audio.samples.resize(frames * static_cast<size_t>(channels));
  uint32_t state = 12345;
  for (float& sample : audio.samples) {
    state = state * 1664525u + 1013904223u;
    sample = (static_cast<float>(state >> 8) / static_cast<float>(1u << 24) - 0.5f);
  }
  return audio;
}

std::unique_ptr<PrivateXvfb> server;

class HostEditor : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (PrivateXvfb::installed()) server = std::make_unique<PrivateXvfb>();
  }
  static void TearDownTestSuite() { server.reset(); }

  void SetUp() override {
    if (!PrivateXvfb::installed())
      GTEST_SKIP() << "Xvfb is not installed; the editor tests need an X server";
    ASSERT_TRUE(server && !server->display().empty()) << "Xvfb did not start";
  }

  // The host's environment: our X server and a Veldrana user of our own.
  std::map<std::string, std::string> environment(
      const std::map<std::string, std::string>& extra = {}) const {
    auto variables = home.environment();
    variables["DISPLAY"] = server->display();
    for (const auto& [name, value] : extra) variables[name] = value;
    return variables;
  }

  VeldranaHome home;
  ScratchDir dir;
};

TEST_F(HostEditor, VeldranaScreenshotShowsItsEditor) {
  ASSERT_TRUE(fileExists(Paths::veldrana())) << "build the Veldrana target first";
  const std::string png = dir.path("veldrana.png");
  const RunResult result =
      // Three seconds of idle calls: a loaded machine's software GL may take
      // a second or more over the editor's first picture.
      runHost({"editor", Paths::veldrana(), "--frames", "90", "--screenshot", png}, environment());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("1024x512"), std::string::npos) << result.out;
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"veldrana.png"}) << "a temporary file is left";

  const Picture picture = readPng(png);
  ASSERT_EQ(picture.width, 1024);
  ASSERT_EQ(picture.height, 512);
  // The layout's background colour shows beside the banner at the top,
  // where nothing else is drawn; a black or white picture means the
  // editor's window never reached the screenshot. Below, the controls and
  // the spectrum display make a picture that is mostly something else.
  EXPECT_EQ(picture.countNearIn(0, 0, 16, 6, 56, 13, 51, 2), 16u * 6u);
  EXPECT_EQ(picture.countNearIn(1008, 0, 1024, 6, 56, 13, 51, 2), 16u * 6u);
  EXPECT_LT(picture.countNearIn(0, 0, picture.width, picture.height, 56, 13, 51, 2),
            picture.pixels() / 2);
}

TEST_F(HostEditor, SizeOptionSizesTheWindowAndTheScreenshot) {
  const std::string png = dir.path("small.png");
  const Json report = runHostJson(
      {"editor", Paths::veldrana(), "--size", "320x200", "--frames", "5", "--screenshot", png},
      environment());
  EXPECT_EQ(report["width"].number, 320);
  EXPECT_EQ(report["height"].number, 200);
  EXPECT_EQ(report["idleCalls"].number, 5);
  EXPECT_EQ(report["stoppedBy"].string, "screenshot");
  EXPECT_EQ(report["screenshot"].string, png);
  const Picture picture = readPng(png);
  EXPECT_EQ(picture.width, 320);
  EXPECT_EQ(picture.height, 200);
}

TEST_F(HostEditor, SecondsEndTheRunAtAboutThirtyIdleCallsASecond) {
  const Json report = runHostJson({"editor", Paths::veldrana(), "--seconds", "0.5"}, environment());
  EXPECT_EQ(report["stoppedBy"].string, "time");
  EXPECT_GE(report["wallSeconds"].number, 0.5);
  EXPECT_GE(report["idleCalls"].number, 5);
  EXPECT_LE(report["idleCalls"].number, 17);
  EXPECT_EQ(report["screenshot"].type, Json::Type::kNull);
}

// Without --seconds or --screenshot nothing but the user ends the run.
TEST_F(HostEditor, SigtermWhilePlayingStopsTheAudioAndTheEditor) {
  writeAudio(dir.path("noise.wav"), whiteNoise(2, 44100, 4410));
  RunningProgram editor(
      {Paths::host(), "editor", Paths::veldrana(), "--play", dir.path("noise.wav"), "--json"},
      environment());
  // Long enough for several passes even when a busy machine makes loading
  // and opening the editor slow.
  std::this_thread::sleep_for(4s);
  ASSERT_FALSE(editor.finished()) << "the editor ended by itself";
  kill(editor.pid(), SIGTERM);
  const RunResult result = editor.wait(10s);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.signal, 0);
  const Json report = parseJson(result.out);
  EXPECT_EQ(report["stoppedBy"].string, "SIGTERM");
  EXPECT_GT(report["idleCalls"].number, 10);
  // The file is a tenth of a second long, so it was played more than once.
  EXPECT_GT(report["play"]["passes"].number, 1);
}

TEST_F(HostEditor, WithoutDisplayFailsCleanly) {
  const ScopedEnv display("DISPLAY", nullptr);  // the host inherits no trace of it
  const std::string png = dir.path("none.png");
  const RunResult result =
      runHost({"editor", Paths::veldrana(), "--screenshot", png}, home.environment());
  expectCleanFailure(result, "DISPLAY is not set");
  EXPECT_TRUE(dir.entries().empty());
}

TEST_F(HostEditor, EditorThatNeverOpensIsClosedAndReported) {
  const std::string log = dir.path("log");
  const RunResult result =
      runHost({"editor", Paths::gainFixture(), "--screenshot", dir.path("gain.png")},
              environment({{"VHF_LOG", log}, {"VHF_REFUSING_EDITOR", "1"}}));
  expectCleanFailure(result, "would not open its editor");
  // Closed in order: the half-open editor first, then the plug-in.
  const auto lines = readLines(log);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{"edit open", "edit close", "close"}));
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"log"});
}

// Each refusal leaves no picture, and a bad option or file is found before
// the plug-in is loaded (the fixture's log stays unwritten).
TEST_F(HostEditor, BadRequestsFailCleanlyAndEarly) {
  const std::string log = dir.path("log"), shot = dir.path("shot.png");
  const std::string gain = Paths::gainFixture(), veldrana = Paths::veldrana();
  writeText(dir.path("file"), "x");
  writeText(dir.path("text.wav"), "not audio");
  const struct {
    std::vector<std::string> args;  // after "editor"
    std::string message;
    int exitCode;
    bool loads;  // the plug-in is loaded before the failure
  } cases[] = {
      {{gain, "--screenshot", shot}, "has no editor", 3, true},
      {{gain, "--screenshot", dir.path("file/inside.png")}, "cannot write", 1, false},
      {{gain, "--play", dir.path("missing.wav"), "--screenshot", shot},
       dir.path("missing.wav"),
       1,
       false},
      {{gain, "--play", dir.path("text.wav"), "--screenshot", shot},
       dir.path("text.wav"),
       1,
       false},
      {{veldrana, "--set", "No Such Parameter=0.5", "--screenshot", shot},
       "No Such Parameter",
       1,
       true},
      {{veldrana, "--size", "wide"}, "--size", 2, false},
      {{veldrana, "--screenshot", dir.path("x.jpg")}, "writes PNG", 2, false},
      {{veldrana, "--screenshot", dir.path("png")}, "writes PNG", 2, false},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"editor"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.message);
    std::remove(log.c_str());
    const RunResult result = runHost(args, environment({{"VHF_LOG", log}}));
    expectCleanFailure(result, c.message);
    EXPECT_EQ(result.exitCode, c.exitCode);
    if (c.args[0] == gain) {
      EXPECT_EQ(fileExists(log), c.loads) << "loaded before the failure";
    }
  }
  std::vector<std::string> entries = dir.entries();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"file", "text.wav"})) << "a picture was written";
}

// The spectrum display of Veldrana's 1024x512 editor: the spectra in the
// upper half, the bin level bars in the lower half.
constexpr int kDisplayLeft = 12, kDisplayRight = 1012;
constexpr int kSpectraTop = 70, kSpectraBottom = 228;
constexpr int kLevelsRow = 320;
// The display's background, with the slack its texture needs.
constexpr int kBackground[3] = {37, 36, 34};
constexpr int kBackgroundTolerance = 8;

TEST_F(HostEditor, PlayShowsLiveSpectraWithTheBandDrawnDown) {
  writeAudio(dir.path("noise.wav"), whiteNoise(2, 48000, 48000));
  const std::vector<std::string> setup{"--set", "FFT Size=0.857142", "--set",
                                       "Bin 20 Level..Bin 120 Level=0"};
  std::vector<std::string> quiet{"editor", Paths::veldrana(), "--frames",
                                 "60",     "--screenshot",    dir.path("quiet.png")};
  quiet.insert(quiet.end(), setup.begin(), setup.end());
  runHostJson(quiet, environment());
  // No --frames: while playing, the screenshot waits longer by default.
  std::vector<std::string> playing{"editor",       Paths::veldrana(),
                                   "--play",       dir.path("noise.wav"),
                                   "--screenshot", dir.path("playing.png")};
  playing.insert(playing.end(), setup.begin(), setup.end());
  const Json report = runHostJson(playing, environment());

  EXPECT_EQ(report["stoppedBy"].string, "screenshot");
  EXPECT_EQ(report["idleCalls"].number, 60);
  const Json& play = report["play"];
  EXPECT_EQ(play["path"].string, dir.path("noise.wav"));
  EXPECT_EQ(play["sampleRate"].number, 48000);
  EXPECT_EQ(play["channels"].number, 2);
  EXPECT_EQ(play["blockSize"].number, 512);
  EXPECT_GT(play["framesProcessed"].number, 0);
  EXPECT_EQ(report["set"].array.size(), 102u);
  std::vector<std::string> entries = dir.entries();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"noise.wav", "playing.png", "quiet.png"}));

  const Picture quietPicture = readPng(dir.path("quiet.png"));
  const Picture picture = readPng(dir.path("playing.png"));
  ASSERT_EQ(picture.width, 1024);
  ASSERT_EQ(picture.height, 512);
  ASSERT_EQ(quietPicture.width, 1024);
  ASSERT_EQ(quietPicture.height, 512);
  // Silence draws no spectrum; noise rises over much of the upper half.
  const size_t spectraPixels =
      static_cast<size_t>(kDisplayRight - kDisplayLeft) * (kSpectraBottom - kSpectraTop);
  EXPECT_GT(countDifferentIn(picture, quietPicture, kDisplayLeft, kSpectraTop, kDisplayRight,
                             kSpectraBottom, 12),
            spectraPixels / 10);
  // The band set to 0 is a gap in the level bars; the rest stand at 1.
  const size_t gap =
      picture.countNearIn(kDisplayLeft, kLevelsRow, kDisplayRight, kLevelsRow + 1, kBackground[0],
                          kBackground[1], kBackground[2], kBackgroundTolerance);
  const auto columns = static_cast<size_t>(kDisplayRight - kDisplayLeft);
  EXPECT_GT(gap, columns / 20);
  EXPECT_LT(gap, columns / 2);
}

TEST_F(HostEditor, PlayReportsWhatPlayedInText) {
  writeAudio(dir.path("noise.wav"), whiteNoise(1, 22050, 4000));
  const RunResult result = runHost({"editor", Paths::veldrana(), "--play", dir.path("noise.wav"),
                                    "--block", "256", "--seconds", "0.5"},
                                   environment());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("played    " + dir.path("noise.wav") + ": "), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("1 channel, 22050 Hz, 4000 frames, in a loop in blocks of 256"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("stopped by time"), std::string::npos) << result.out;
}

// Other plug-ins' editors: LSP's are drawn with X11 and Cairo, DPF's with
// OpenGL in a window of their own thread. Both must open in our window and
// show a picture, not a blank.
TEST_F(HostEditor, ThirdPartyEditorsOpenDrawAndClose) {
  const std::string lsp = Paths::lsp("comp-delay-stereo.so");
  const std::string dpf = "/usr/lib/vst/3BandEQ-vst.so";
  if (lsp.empty() && !fileExists(dpf))
    GTEST_SKIP() << "neither lsp-plugins-vst nor dpf-plugins-vst is installed";
  for (const std::string& plugin : {lsp, dpf}) {
    if (plugin.empty() || !fileExists(plugin)) continue;
    SCOPED_TRACE(plugin);
    const std::string png = dir.path("third-party.png");
    const RunResult result =
        runHost({"editor", plugin, "--frames", "20", "--screenshot", png}, environment());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.signal, 0);
    const Picture picture = readPng(png);
    ASSERT_GT(picture.pixels(), 0u);
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 2 < picture.rgb.size(); i += 3)
      colours.insert(static_cast<uint32_t>(picture.rgb[i] << 16 | picture.rgb[i + 1] << 8 |
                                           picture.rgb[i + 2]));
    EXPECT_GE(colours.size(), 20u) << "the editor's picture is nearly blank";
  }
}

}  // namespace
}  // namespace hosttest
