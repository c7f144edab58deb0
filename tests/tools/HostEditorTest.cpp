// `editor`: the plug-in's editor in a window of the host's own, on a private
// Xvfb server, and its screenshot read back from the PNG the host wrote.
#include <png.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <memory>
#include <thread>

#include "tests/support/PrivateXvfb.h"
#include "tests/support/ScopedEnv.h"
#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

using namespace std::chrono_literals;

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  // Pixels of the box [x0, x1) × [y0, y1) within `tolerance` of `colour`
  // (or, given `other`, further than it from the other picture's pixel).
  size_t count(int x0, int y0, int x1, int y1, std::array<int, 3> colour, int tolerance,
               const Picture* other = nullptr) const {
    size_t n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        const size_t i = (static_cast<size_t>(y) * width + x) * 3;
        int distance = 0;
        for (size_t c = 0; c < 3; ++c)
          distance =
              std::max(distance, std::abs(rgb[i + c] - (other ? other->rgb[i + c] : colour[c])));
        n += other ? distance > tolerance : distance <= tolerance;
      }
    return n;
  }
};

// Decoded with libpng itself, so a file that only looks like a PNG fails.
Picture readPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str()))
    throw std::runtime_error("cannot read " + path + " as PNG: " + image.message);
  Picture picture{static_cast<int>(image.width), static_cast<int>(image.height), {}};
  image.format = PNG_FORMAT_RGB;
  picture.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr))
    throw std::runtime_error("cannot decode " + path + ": " + image.message);
  return picture;
}

std::unique_ptr<PrivateXvfb> server;

class HostEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PrivateXvfb::installed()) GTEST_SKIP() << "the editor tests need Xvfb";
    if (!server) server = std::make_unique<PrivateXvfb>();  // one for all the tests
    ASSERT_TRUE(server && !server->display().empty()) << "Xvfb did not start";
  }
  Environment environment(Environment extra = {}) const {
    extra.merge(home.environment());
    extra["DISPLAY"] = server->display();
    return extra;
  }

  VeldranaHome home;
  ScratchDir dir;
};

// The layout's background shows beside the banner, where nothing else is
// drawn; below, the controls and the display make something else of most of
// the picture. A black or white picture means the window never reached it.
TEST_F(HostEditor, VeldranaScreenshotShowsItsEditor) {
  const std::string png = dir.path("veldrana.png");
  // Three seconds of idle calls: a loaded machine's software GL is slow.
  const RunResult result =
      runHost({"editor", kVeldrana, "--frames", "90", "--screenshot", png}, environment());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(dir.entries(), Args{"veldrana.png"}) << "a temporary file is left";
  const Picture picture = readPng(png);
  ASSERT_EQ(std::pair(picture.width, picture.height), std::pair(1024, 512));
  EXPECT_EQ(picture.count(0, 0, 16, 6, {56, 13, 51}, 2), 16u * 6u);
  EXPECT_EQ(picture.count(1008, 0, 1024, 6, {56, 13, 51}, 2), 16u * 6u);
  EXPECT_LT(picture.count(0, 0, 1024, 512, {56, 13, 51}, 2), 1024u * 512u / 2);
}

// Without --seconds or --screenshot only the user ends the run.
TEST_F(HostEditor, SigtermWhilePlayingStopsTheAudioAndTheEditor) {
  writeAudio(dir.path("noise.wav"), whiteNoise(2, 44100, 2205));
  RunningProgram editor({kHost, "editor", kVeldrana, "--play", dir.path("noise.wav"), "--json"},
                        environment());
  std::this_thread::sleep_for(2s);  // several passes of the 50 ms input
  ASSERT_FALSE(editor.finished()) << "the editor ended by itself";
  kill(editor.pid(), SIGTERM);
  const RunResult result = editor.wait(10s);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Json report = parseJson(result.out);
  EXPECT_EQ(report["stoppedBy"].string, "SIGTERM");
  EXPECT_GT(report["play"]["passes"].number, 1);
}

// Each refusal leaves no picture, and a bad option or file is found before
// the plug-in is loaded (the fixture's log stays unwritten).
TEST_F(HostEditor, BadRequestsFailCleanlyAndEarly) {
  const std::string log = dir.path("log"), shot = dir.path("shot.png");
  writeText(dir.path("text.wav"), "not audio");
  const struct {
    Args args;  // after "editor"
    std::string message;
    int exitCode;
    bool loads;  // the plug-in is loaded (the fixture logs) before the failure
  } cases[] = {
      {{kGain, "--screenshot", shot}, "has no editor", kExitLoad, true},
      {{kGain, "--play", dir.path("text.wav"), "--screenshot", shot}, "text.wav", 1, false},
      {{kVeldrana, "--set", "No Such=0.5", "--screenshot", shot}, "No Such", kExitFailure, false},
      {{kVeldrana, "--size", "wide"}, "--size", kExitUsage, false},
      {{kVeldrana, "--screenshot", dir.path("x.jpg")}, "writes PNG", kExitUsage, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    Args args = c.args;
    args.insert(args.begin(), "editor");
    unlink(log.c_str());
    expectCleanFailure(runHost(args, environment({{"VHF_LOG", log}})), c.message, c.exitCode);
    EXPECT_EQ(fileExists(log), c.loads) << "loaded before the failure";
  }
  EXPECT_EQ(dir.entries(), Args{"text.wav"}) << "a picture was written";
  const ScopedEnv display("DISPLAY", nullptr);  // the host inherits no trace of it
  expectCleanFailure(runHost({"editor", kVeldrana, "--screenshot", shot}, home.environment()),
                     "DISPLAY is not set");
}

// Veldrana's display: spectra in the upper half, bin level bars below.
TEST_F(HostEditor, PlayShowsLiveSpectraWithTheBandDrawnDown) {
  writeAudio(dir.path("noise.wav"), whiteNoise(2, 48000, 48000));
  const auto shoot = [&](Args args) {
    args.insert(args.begin(), {"editor", kVeldrana, "--set", "FFT Size=0.857142", "--set",
                               "Bin 20 Level..Bin 120 Level=0", "--screenshot"});
    return runHostJson(args, environment());
  };
  shoot({dir.path("quiet.png"), "--frames", "60"});
  // No --frames: while playing, the screenshot waits as long by default.
  const Json report = shoot({dir.path("playing.png"), "--play", dir.path("noise.wav")});
  EXPECT_EQ(report["idleCalls"].number, 60);
  EXPECT_GT(report["play"]["framesProcessed"].number, 0);

  const Picture still = readPng(dir.path("quiet.png")), picture = readPng(dir.path("playing.png"));
  ASSERT_EQ(picture.rgb.size(), 1024u * 512 * 3);
  ASSERT_EQ(still.rgb.size(), picture.rgb.size());
  // Silence draws no spectrum; noise rises over much of the upper half.
  EXPECT_GT(picture.count(12, 70, 1012, 228, {}, 12, &still), 1000u * 158u / 10);
  // The band set to 0 is a gap in the level bars; the rest stand at 1.
  const size_t gap = picture.count(12, 320, 1012, 321, {37, 36, 34}, 8);
  EXPECT_GT(gap, 1000u / 20);
  EXPECT_LT(gap, 1000u / 2);
}

}  // namespace
}  // namespace hosttest
