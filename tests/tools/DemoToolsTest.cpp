// The demo's helpers: the test signal, the before/after spectrum plot and
// the check of the results.
#include <png.h>

#include <cmath>
#include <fstream>
#include <functional>

#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

double rms(const Audio& audio, size_t first, size_t last) {
  double sum = 0.0;
  for (size_t n = first; n < last; ++n)
    for (int c = 0; c < audio.channels; ++c) sum += audio.at(n, c) * audio.at(n, c);
  return std::sqrt(sum / ((last - first) * audio.channels));
}

struct PngHeader {
  bool signature = false;
  uint32_t width = 0, height = 0;
};

PngHeader readPngHeader(const std::string& path) {
  const std::string bytes = readText(path);
  PngHeader header;
  if (bytes.size() < 24) return header;
  header.signature =
      bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0 && bytes.compare(12, 4, "IHDR") == 0;
  const auto be32 = [&](size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
  };
  header.width = be32(16);
  header.height = be32(20);
  return header;
}

TEST(DemoSignal, IsSixSecondsOfStereoWithSomethingInEveryPart) {
  const ScratchDir dir;
  const RunResult result = runProgram({Paths::demoSignal(), dir.path("demo.wav")});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Audio audio = readAudio(dir.path("demo.wav"));
  EXPECT_EQ(audio.channels, 2);
  EXPECT_EQ(audio.sampleRate, 48000);
  ASSERT_EQ(audio.frames(), 6u * 48000);
  float peak = 0.0f;
  for (const float s : audio.samples) peak = std::max(peak, std::fabs(s));
  EXPECT_GT(peak, 0.5f);
  EXPECT_LT(peak, 1.0f);
  // Chord, sweep and noise each fill a third.
  for (size_t third = 0; third < 3; ++third)
    EXPECT_GT(rms(audio, third * 96000 + 4800, (third + 1) * 96000 - 4800), 0.05) << third;
  // The two channels differ (panned notes, independent noise).
  EXPECT_NE(audio.at(200000, 0), audio.at(200000, 1));
  EXPECT_EQ(runProgram({Paths::demoSignal()}).exitCode, 2);
  EXPECT_EQ(runProgram({Paths::demoSignal(), "x.wav", "--seconds", "0"}).exitCode, 2);
}

class SpectrumPlot : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(runProgram({Paths::demoSignal(), dir.path("in.wav"), "--seconds", "2"}).exitCode, 0);
  }
  RunResult plot(const std::string& output, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args{Paths::spectrumPlot(), dir.path("in.wav"), output,
                                  dir.path("plot.png")};
    args.insert(args.end(), extra.begin(), extra.end());
    return runProgram(args);
  }
  ScratchDir dir;
};

TEST_F(SpectrumPlot, DrawsAPictureOfTheUsualSizeOrFailsWithoutOne) {
  const RunResult missing = plot(dir.path("missing.wav"));
  EXPECT_NE(missing.exitCode, 0);
  EXPECT_NE(missing.err.find("missing.wav"), std::string::npos) << missing.err;
  EXPECT_FALSE(fileExists(dir.path("plot.png")));
  EXPECT_FALSE(fileExists(dir.path("plot.png.part")));
  const RunResult same = plot(dir.path("in.wav"));
  ASSERT_EQ(same.exitCode, 0) << same.err;
  const PngHeader header = readPngHeader(dir.path("plot.png"));
  EXPECT_TRUE(header.signature);
  EXPECT_EQ(header.width, 1200u);
  EXPECT_EQ(header.height, 720u);
  EXPECT_FALSE(fileExists(dir.path("plot.png.part")));
  writeAudio(dir.path("silence.wav"), Audio{2, 48000, std::vector<float>(2 * 48000, 0.0f)});
  const RunResult silent = plot(dir.path("silence.wav"), {"--band", "500", "3000"});
  ASSERT_EQ(silent.exitCode, 0) << silent.err;
  EXPECT_NE(silent.out.find("the output is silent"), std::string::npos) << silent.out;
}

TEST_F(SpectrumPlot, MeasuresAnEvenGainChangeEverywhere) {
  // Half the amplitude is -6.0 dB in every band.
  ASSERT_EQ(runHost({"render", Paths::gainFixture(), dir.path("in.wav"), dir.path("half.wav"),
                     "--compensate"})
                .exitCode,
            0);
  const RunResult result = plot(dir.path("half.wav"), {"--band", "500", "3000"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("inside 500-3000 Hz: -6.0 dB; below it: -6.0 dB; above it: -6.0 dB"),
            std::string::npos)
      << result.out;
}

// An RGB picture whose pixel i is colour(i).
void writePicture(const std::string& path, unsigned width, unsigned height,
                  const std::function<uint32_t(unsigned)>& colour) {
  std::vector<unsigned char> pixels;
  for (unsigned i = 0; i < width * height; ++i)
    for (const int shift : {16, 8, 0})
      pixels.push_back(static_cast<unsigned char>(colour(i) >> shift));
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGB;
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr));
}

struct CheckCase {
  const char* name;
  std::function<void(const ScratchDir&, const std::string&)> make;
  const char* problem;  // nullptr: the file passes
};

TEST(DemoCheck, PassesRealResultsAndFailsBlankPicturesAndSilence) {
  const auto sound = [](float level, float extra) {
    return [=](const ScratchDir&, const std::string& path) {
      std::vector<float> samples(2 * 4800);
      for (size_t n = 0; n < samples.size(); ++n) samples[n] = level * std::sin(0.05f * n);
      samples[77] = extra;
      writeAudio(path, Audio{2, 48000, samples});
    };
  };
  const CheckCase cases[] = {
      {"demo.wav",
       [](const ScratchDir&, const std::string& path) {
         ASSERT_EQ(runProgram({Paths::demoSignal(), path, "--seconds", "1"}).exitCode, 0);
       },
       nullptr},
      {"tone.wav", sound(0.01f, 0.0f), nullptr},
      {"silence.wav", sound(0.0f, 0.0f), "silent"},
      {"under-60-dB.wav", sound(0.0005f, 0.0f), "silent"},
      {"nan.wav", sound(0.5f, std::nanf("")), "not finite"},
      {"plot.png",
       [](const ScratchDir& dir, const std::string& path) {
         ASSERT_EQ(runProgram({Paths::demoSignal(), dir.path("in.wav"), "--seconds", "1"}).exitCode,
                   0);
         ASSERT_EQ(runProgram({Paths::spectrumPlot(), dir.path("in.wav"), dir.path("in.wav"), path})
                       .exitCode,
                   0);
       },
       nullptr},
      {"gradient.png",
       [](const ScratchDir&, const std::string& path) {
         writePicture(path, 64, 64, [](unsigned i) { return (i % 64) * 0x040404u; });
       },
       nullptr},
      {"black.png",
       [](const ScratchDir&, const std::string& path) {
         writePicture(path, 64, 64, [](unsigned) { return 0u; });
       },
       "blank"},
      // A few stray pixels on a flat window are not a picture.
      {"specks.png",
       [](const ScratchDir&, const std::string& path) {
         writePicture(path, 100, 100,
                      [](unsigned i) { return i < 40 ? i * 0x010203u : 0x202020u; });
       },
       "blank"},
      {"text.png",
       [](const ScratchDir&, const std::string& path) { std::ofstream(path) << "not a picture"; },
       "not a readable PNG"},
      {"missing.wav", [](const ScratchDir&, const std::string&) {}, "not readable"},
      {"notes.txt", [](const ScratchDir&, const std::string&) {}, "neither .png nor .wav"},
  };
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ScratchDir dir;
    const std::string path = dir.path(c.name);
    c.make(dir, path);
    const RunResult result = runProgram({Paths::demoCheck(), path});
    if (c.problem == nullptr) {
      EXPECT_EQ(result.exitCode, 0) << result.err;
      EXPECT_NE(result.out.find("ok " + path), std::string::npos) << result.out;
    } else {
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_NE(result.err.find(path + ": " + c.problem), std::string::npos) << result.err;
    }
  }
}

TEST(DemoCheck, OneBadFileAmongGoodOnesFailsTheWhole) {
  const ScratchDir dir;
  ASSERT_EQ(runProgram({Paths::demoSignal(), dir.path("in.wav"), "--seconds", "1"}).exitCode, 0);
  writeAudio(dir.path("silence.wav"), Audio{2, 48000, std::vector<float>(2 * 4800, 0.0f)});
  const RunResult result = runProgram(
      {Paths::demoCheck(), dir.path("in.wav"), dir.path("silence.wav"), dir.path("in.wav")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("silence.wav: silent"), std::string::npos) << result.err;
  EXPECT_EQ(runProgram({Paths::demoCheck()}).exitCode, 2);
}

}  // namespace
}  // namespace hosttest
