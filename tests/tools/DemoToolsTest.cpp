// The demo's helpers: the test signal, the before/after spectrum plot and
// the check of the results.
#include <png.h>

#include <cmath>

#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

const std::string kSignal = DEMO_SIGNAL_PATH, kPlot = SPECTRUM_PLOT_PATH, kCheck = DEMO_CHECK_PATH;

// Half the amplitude is -6.0 dB in every band; a plot that cannot be drawn
// leaves no picture.
TEST(SpectrumPlot, MeasuresAGainChangeAndDrawsIt) {
  const ScratchDir dir;
  ASSERT_EQ(runProgram({kSignal, dir.path("in.wav"), "--seconds", "2"}).exitCode, 0);
  const auto plot = [&](const std::string& output) {
    return runProgram({kPlot, dir.path("in.wav"), dir.path(output), dir.path("plot.png"), "--band",
                       "500", "3000"});
  };
  const RunResult missing = plot("missing.wav");
  EXPECT_NE(missing.err.find("missing.wav"), std::string::npos) << missing.err;
  EXPECT_EQ(dir.entries(), Args{"in.wav"});
  runHost({"render", kGain, dir.path("in.wav"), dir.path("half.wav"), "--compensate"});
  const RunResult half = plot("half.wav");
  EXPECT_NE(half.out.find("inside 500-3000 Hz: -6.0 dB; below it: -6.0 dB; above it: -6.0 dB"),
            std::string::npos)
      << half.out << half.err;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, dir.path("plot.png").c_str()));
  EXPECT_EQ(image.width * image.height, 1200u * 720u);
  png_image_free(&image);
}

void writeGrey(const std::string& path, unsigned size, unsigned char (*grey)(unsigned)) {
  std::vector<unsigned char> pixels(size * size);
  for (unsigned i = 0; i < pixels.size(); ++i) pixels[i] = grey(i);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = image.height = size;
  image.format = PNG_FORMAT_GRAY;
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr));
}

void writeTone(const std::string& path, float level, float odd) {
  Audio audio{2, 48000, std::vector<float>(2 * 4800)};
  for (size_t n = 0; n < audio.samples.size(); ++n) audio.samples[n] = level * std::sin(0.05f * n);
  audio.samples[77] = odd;
  writeAudio(path, audio);
}

TEST(DemoCheck, PassesRealResultsAndFailsBlankPicturesAndSilence) {
  const ScratchDir dir;
  ASSERT_EQ(runProgram({kSignal, dir.path("demo.wav"), "--seconds", "1"}).exitCode, 0);
  runProgram({kPlot, dir.path("demo.wav"), dir.path("demo.wav"), dir.path("plot.png")});
  writeTone(dir.path("tone.wav"), 0.01f, 0.0f);
  writeTone(dir.path("under-60-dB.wav"), 0.0005f, 0.0f);
  writeTone(dir.path("nan.wav"), 0.5f, std::nanf(""));
  writeGrey(dir.path("black.png"), 64, [](unsigned) -> unsigned char { return 0; });
  // A few stray pixels on a flat window are not a picture.
  writeGrey(dir.path("specks.png"), 100,
            [](unsigned i) -> unsigned char { return i < 40 ? i : 32; });
  writeText(dir.path("text.png"), "not a picture");
  const std::pair<const char*, const char*> cases[] = {
      {"demo.wav", nullptr},           {"plot.png", nullptr},
      {"tone.wav", nullptr},           {"under-60-dB.wav", "silent"},
      {"nan.wav", "not finite"},       {"black.png", "blank"},
      {"specks.png", "blank"},         {"text.png", "not a readable PNG"},
      {"missing.wav", "not readable"}, {"notes.txt", "neither .png nor .wav"},
  };
  for (const auto& [name, problem] : cases) {
    const RunResult result = runProgram({kCheck, dir.path(name)});
    EXPECT_EQ(result.exitCode, problem ? 1 : 0) << name;
    EXPECT_NE((problem ? result.err : result.out)
                  .find(problem ? dir.path(name) + ": " + problem : "ok " + dir.path(name)),
              std::string::npos)
        << result.out << result.err;
  }
  // One bad file among good ones fails the whole.
  EXPECT_EQ(runProgram({kCheck, dir.path("demo.wav"), dir.path("nan.wav")}).exitCode, 1);
  EXPECT_EQ(runProgram({kCheck}).exitCode, 2);
}

}  // namespace
}  // namespace hosttest
