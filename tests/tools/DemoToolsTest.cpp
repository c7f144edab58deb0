// The demo's helpers: the test signal, the before/after spectrum plot and
// the check of the results.
#include <png.h>

#include <cmath>
#include <functional>

#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

const std::string kSignal = DEMO_SIGNAL_PATH, kPlot = SPECTRUM_PLOT_PATH, kCheck = DEMO_CHECK_PATH;

TEST(DemoSignal, IsSixSecondsOfStereoWithSomethingInEveryThird) {
  const ScratchDir dir;
  ASSERT_EQ(runProgram({kSignal, dir.path("demo.wav")}).exitCode, 0);
  const Audio audio = readAudio(dir.path("demo.wav"));
  EXPECT_EQ(audio.channels, 2);
  EXPECT_EQ(audio.sampleRate, 48000);
  ASSERT_EQ(audio.frames(), 6u * 48000);
  float peak = 0.0f;
  for (const float s : audio.samples) peak = std::max(peak, std::fabs(s));
  EXPECT_GT(peak, 0.5f);
  EXPECT_LT(peak, 1.0f);
  for (size_t third = 0; third < 3; ++third) {  // chord, sweep and noise
    double sum = 0.0;
    for (size_t n = third * 96000 + 4800; n < (third + 1) * 96000 - 4800; ++n)
      sum += audio.at(n, 0) * audio.at(n, 0);
    EXPECT_GT(std::sqrt(sum / (96000 - 9600)), 0.05) << third;
  }
  EXPECT_NE(audio.at(200000, 0), audio.at(200000, 1)) << "panned notes, independent noise";
  EXPECT_EQ(runProgram({kSignal, "x.wav", "--seconds", "0"}).exitCode, 2);
}

TEST(SpectrumPlot, MeasuresAGainChangeAndDrawsItOrFailsWithoutAPicture) {
  const ScratchDir dir;
  ASSERT_EQ(runProgram({kSignal, dir.path("in.wav"), "--seconds", "2"}).exitCode, 0);
  const auto plot = [&](const std::string& output) {
    return runProgram({kPlot, dir.path("in.wav"), dir.path(output), dir.path("plot.png"), "--band",
                       "500", "3000"});
  };
  const RunResult missing = plot("missing.wav");
  EXPECT_NE(missing.exitCode, 0);
  EXPECT_NE(missing.err.find("missing.wav"), std::string::npos) << missing.err;
  EXPECT_EQ(dir.entries(), Args{"in.wav"});
  // Half the amplitude is -6.0 dB in every band.
  ASSERT_EQ(
      runHost({"render", kGain, dir.path("in.wav"), dir.path("half.wav"), "--compensate"}).exitCode,
      0);
  const RunResult half = plot("half.wav");
  ASSERT_EQ(half.exitCode, 0) << half.err;
  EXPECT_NE(half.out.find("inside 500-3000 Hz: -6.0 dB; below it: -6.0 dB; above it: -6.0 dB"),
            std::string::npos)
      << half.out;
  const std::string png = readText(dir.path("plot.png"));
  ASSERT_GE(png.size(), 24u);
  EXPECT_EQ(png.substr(0, 16), std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
  EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x04\xb0\0\0\x02\xd0", 8)) << "1200x720";
  writeAudio(dir.path("silence.wav"), Audio{2, 48000, std::vector<float>(2 * 48000, 0.0f)});
  EXPECT_NE(plot("silence.wav").out.find("the output is silent"), std::string::npos);
}

// An RGB picture whose pixel i is colour(i).
void writePicture(const std::string& path, unsigned size, uint32_t (*colour)(unsigned)) {
  std::vector<unsigned char> pixels;
  for (unsigned i = 0; i < size * size; ++i)
    for (const int shift : {16, 8, 0})
      pixels.push_back(static_cast<unsigned char>(colour(i) >> shift));
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = image.height = size;
  image.format = PNG_FORMAT_RGB;
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr));
}

void writeTone(const std::string& path, float level, float odd) {
  std::vector<float> samples(2 * 4800);
  for (size_t n = 0; n < samples.size(); ++n) samples[n] = level * std::sin(0.05f * n);
  samples[77] = odd;
  writeAudio(path, Audio{2, 48000, samples});
}

TEST(DemoCheck, PassesRealResultsAndFailsBlankPicturesAndSilence) {
  const ScratchDir dir;
  ASSERT_EQ(runProgram({kSignal, dir.path("demo.wav"), "--seconds", "1"}).exitCode, 0);
  ASSERT_EQ(runProgram({kPlot, dir.path("demo.wav"), dir.path("demo.wav"), dir.path("plot.png")})
                .exitCode,
            0);
  writeTone(dir.path("tone.wav"), 0.01f, 0.0f);
  writeTone(dir.path("under-60-dB.wav"), 0.0005f, 0.0f);
  writeTone(dir.path("nan.wav"), 0.5f, std::nanf(""));
  writePicture(dir.path("gradient.png"), 64, [](unsigned i) { return (i % 64) * 0x040404u; });
  writePicture(dir.path("black.png"), 64, [](unsigned) { return 0u; });
  // A few stray pixels on a flat window are not a picture.
  writePicture(dir.path("specks.png"), 100,
               [](unsigned i) { return i < 40 ? i * 0x010203u : 0x202020u; });
  writeText(dir.path("text.png"), "not a picture");
  const struct {
    const char* name;
    const char* problem;  // nullptr: the file passes
  } cases[] = {
      {"demo.wav", nullptr},
      {"plot.png", nullptr},
      {"tone.wav", nullptr},
      {"gradient.png", nullptr},
      {"under-60-dB.wav", "silent"},
      {"nan.wav", "not finite"},
      {"black.png", "blank"},
      {"specks.png", "blank"},
      {"text.png", "not a readable PNG"},
      {"missing.wav", "not readable"},
      {"notes.txt", "neither .png nor .wav"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.path(c.name);
    const RunResult result = runProgram({kCheck, path});
    if (!c.problem) {
      EXPECT_EQ(result.exitCode, 0) << result.err;
      EXPECT_NE(result.out.find("ok " + path), std::string::npos) << result.out;
    } else {
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_NE(result.err.find(path + ": " + c.problem), std::string::npos) << result.err;
    }
  }
  // One bad file among good ones fails the whole.
  const RunResult several = runProgram({kCheck, dir.path("demo.wav"), dir.path("nan.wav")});
  EXPECT_EQ(several.exitCode, 1);
  EXPECT_EQ(runProgram({kCheck}).exitCode, 2);
}

}  // namespace
}  // namespace hosttest
