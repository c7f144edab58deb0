// `render`: samples in, plug-in, samples out. The gain fixture multiplies by
// its Gain parameter and delays by its latency, so every output sample is
// predictable; its log shows what the host told it and when.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "tests/tools/HostTestSupport.h"
#include "tools/host/HostError.h"
#include "tools/host/OutputFormat.h"

namespace hosttest {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLoad = 3;
constexpr int kExitCrash = 4;

class Render : public ::testing::Test {
 protected:
  std::string in() const { return dir.path("in.wav"); }
  std::string out() const { return dir.path("out.wav"); }
  std::string log() const { return dir.path("log"); }

  // Renders through the gain fixture with the given latency and extra
  // arguments; returns the output.
  Audio render(const Audio& input, int latency, const std::vector<std::string>& extra = {},
               std::map<std::string, std::string> environment = {}) {
    writeAudio(in(), input);
    std::vector<std::string> args{"render", Paths::gainFixture(), in(), out()};
    args.insert(args.end(), extra.begin(), extra.end());
    environment["VHF_LATENCY"] = std::to_string(latency);
    environment["VHF_LOG"] = log();
    std::remove(log().c_str());  // the fixture appends: the log is this run's alone
    const RunResult result = runHost(args, environment);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    lastRun = result;
    return readAudio(out());
  }

  std::vector<std::string> logLines(const std::string& prefix) const {
    std::vector<std::string> matching;
    for (const auto& line : readLines(log()))
      if (line.rfind(prefix, 0) == 0) matching.push_back(line);
    return matching;
  }

  // Only the file the test wrote and what the host was asked to write may
  // remain: no temporary files.
  void expectOnlyFiles(std::vector<std::string> expected) const {
    auto names = dir.entries();
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
  }

  ScratchDir dir;
  RunResult lastRun;
};

// Every output channel c is the gain times input channel c (modulo the
// input's channels), delayed by the latency the host did not remove, with
// silence before it and after the input's end.
TEST_F(Render, OutputIsTheInputScaledAndDelayedAsAsked) {
  const std::map<std::string, std::string> fourOutputs{{"VHF_OUTPUTS", "4"}};
  const struct {
    const char* name;
    int channels, rate, frames, latency;
    std::vector<std::string> options;
    std::map<std::string, std::string> environment;
    float gain;
    int delay, outChannels, outFrames;
    long processed;      // frames fed to the plug-in, -1: not checked
    const char* report;  // in the printed report
  } cases[] = {
      // clang-format off
      {"default gain", 2, 48000, 5000, 0, {}, {}, 0.5f, 0, 2, 5000, -1, ""},
      {"--set before processing", 2, 44100, 3000, 0, {"--set", "Gain=1"}, {}, 1.0f, 0, 2, 3000, -1, ""},
      {"latency delays", 2, 48000, 4000, 64, {}, {}, 0.5f, 64, 2, 4000, -1, ""},
      // The compensated tail comes from extra silence fed after the file.
      {"compensated", 2, 48000, 4000, 64, {"--compensate"}, {}, 0.5f, 0, 2, 4000, 4064, ""},
      {"tail, delayed", 2, 48000, 4000, 64, {"--tail", "0.01"}, {}, 0.5f, 64, 2, 4480, -1,
       "with a tail of 480 frames"},
      {"tail, compensated", 2, 48000, 4000, 64, {"--tail", "0.01", "--compensate"}, {}, 0.5f, 0, 2,
       4480, -1, "with a tail of 480 frames"},
      {"compensation longer than the file", 1, 48000, 300, 1000, {"--compensate", "--block", "128"},
       {}, 0.5f, 0, 2, 300, -1, ""},
      {"mono input feeds both inputs", 1, 48000, 2000, 0, {}, {}, 0.5f, 0, 2, 2000, -1, ""},
      {"the plug-in's channel count", 2, 48000, 1000, 0, {}, fourOutputs, 0.5f, 0, 4, 1000, -1, ""},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Audio input = testSignal(c.channels, c.rate, c.frames);
    const Audio output = render(input, c.latency, c.options, c.environment);
    ASSERT_EQ(output.channels, c.outChannels);
    EXPECT_EQ(output.sampleRate, c.rate);
    ASSERT_EQ(output.frames(), static_cast<size_t>(c.outFrames));
    const size_t delay = c.delay;
    for (size_t n = 0; n < output.frames(); ++n)
      for (int ch = 0; ch < c.outChannels; ++ch) {
        const float expected = n >= delay && n - delay < input.frames()
                                   ? c.gain * input.at(n - delay, ch % c.channels)
                                   : 0.0f;
        ASSERT_FLOAT_EQ(output.at(n, ch), expected) << n << " channel " << ch;
      }
    if (c.processed >= 0) {
      long processed = 0;
      for (const auto& line : logLines("process ")) processed += std::stol(line.substr(8));
      EXPECT_EQ(processed, c.processed);
    }
    EXPECT_NE(lastRun.out.find(c.report), std::string::npos) << lastRun.out;
  }
}

TEST_F(Render, StereoIntoAMonoPluginIsMixedDown) {
  const Audio input = testSignal(2, 48000, 2000);
  const Audio output = render(input, 0, {}, {{"VHF_INPUTS", "1"}, {"VHF_OUTPUTS", "1"}});
  ASSERT_EQ(output.channels, 1);
  for (size_t n = 0; n < input.frames(); ++n)
    ASSERT_NEAR(output.at(n, 0), 0.5f * (input.at(n, 0) + input.at(n, 1)) / 2.0f, 1e-6);
}

TEST_F(Render, BlocksRateAndCallOrderReachThePlugin) {
  render(testSignal(2, 44100, 1050), 0, {"--block", "100"});
  EXPECT_EQ(logLines("rate "), std::vector<std::string>{"rate 44100"});
  EXPECT_EQ(logLines("block "), std::vector<std::string>{"block 100"});
  EXPECT_EQ(logLines("host rate "), std::vector<std::string>{"host rate 44100 block 100"});
  EXPECT_EQ(logLines("host time "), std::vector<std::string>{"host time null"});
  const auto blocks = logLines("process ");
  ASSERT_EQ(blocks.size(), 11u);
  for (size_t i = 0; i < 10; ++i) EXPECT_EQ(blocks[i], "process 100");
  EXPECT_EQ(blocks[10], "process 50");
  const auto lines = readLines(log());
  const auto at = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) - lines.begin();
  };
  EXPECT_LT(at("rate 44100"), at("resume"));
  EXPECT_LT(at("resume"), at("start"));
  EXPECT_LT(at("start"), at("process 100"));
  EXPECT_LT(at("process 50"), at("stop"));
  EXPECT_LT(at("stop"), at("suspend"));
  EXPECT_LT(at("suspend"), at("close"));
  // --rate changes what the plug-in is told, not the file.
  EXPECT_EQ(render(testSignal(2, 48000, 1000), 0, {"--rate", "96000"}).sampleRate, 48000);
  EXPECT_EQ(logLines("rate "), std::vector<std::string>{"rate 96000"});
  EXPECT_EQ(logLines("host rate "), std::vector<std::string>{"host rate 96000 block 512"});
}

TEST_F(Render, MidiEventsArriveAtTheirSamplePositions) {
  const std::string midi = dir.path("notes.mid");
  // At 48 kHz one pulse is 25 samples.
  writeMidiFile(midi, {{0, {0x90, 60, 100}},
                       {20, {0x90, 64, 90}},                          // 500: block 0
                       {960, {0x80, 60, 0}},                          // 24000: block 46, delta 448
                       {960, {0xB0, 7, 127}},                         // same position
                       {1440, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},  // 36000: a sysex
                       {3840, {0x80, 64, 0}}});  // 96000: after the file ends, never delivered
  render(testSignal(2, 48000, 48000), 0, {"--midi", midi});
  const auto events = logLines("midi ");
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0], "midi 0 144 60 100 delta 0");
  EXPECT_EQ(events[1], "midi 500 144 64 90 delta 500");
  EXPECT_EQ(events[2], "midi 24000 128 60 0 delta 448");
  EXPECT_EQ(events[3], "midi 24000 176 7 127 delta 448");
  EXPECT_EQ(logLines("sysex "), std::vector<std::string>{"sysex 36000 6"});
  // One effProcessEvents per block that has events, and none for the rest.
  EXPECT_EQ(logLines("events "), (std::vector<std::string>{"events 2", "events 2", "events 1"}));
  EXPECT_NE(lastRun.out.find("5 of 6 events delivered"), std::string::npos) << lastRun.out;
}

TEST_F(Render, MidiPositionsFollowThePluginsRateAndTheFilesTempo) {
  const std::string midi = dir.path("note.mid");
  // 12.5 ms: 1200 samples at 96 kHz.
  writeMidiFile(midi, {{24, {0x90, 60, 100}}});
  render(testSignal(2, 48000, 4800), 0, {"--midi", midi, "--rate", "96000"});
  EXPECT_EQ(logLines("midi "), std::vector<std::string>{"midi 1200 144 60 100 delta 176"});
  // 60 beats per minute: a quarter note (960 pulses) lasts one second.
  writeMidiFile(midi, {{0, {0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}}, {960, {0x90, 60, 100}}});
  render(testSignal(2, 48000, 48000 + 10), 0, {"--midi", midi});
  EXPECT_EQ(logLines("midi "), std::vector<std::string>{"midi 48000 144 60 100 delta 384"});
}

TEST_F(Render, WritesFlacAndAiffByExtension) {
  const Audio input = testSignal(2, 48000, 2000);
  writeAudio(in(), input);
  for (const char* name : {"out.flac", "out.aiff"}) {
    SCOPED_TRACE(name);
    const RunResult result =
        runHost({"render", Paths::gainFixture(), in(), dir.path(name)}, {{"VHF_LATENCY", "0"}});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Audio output = readAudio(dir.path(name));
    ASSERT_EQ(output.frames(), input.frames());
    for (size_t n = 0; n < input.frames(); ++n)
      ASSERT_NEAR(output.at(n, 1), 0.5f * input.at(n, 1), 1e-6);
  }
}

// Sizes no test should write: the choice is made from the frame count
// before anything is written.
TEST(RenderOutputFormat, WavPastFourGigabytesBecomesRf64AndAiffIsRefused) {
  using vhost::SampleFormat;
  constexpr int64_t kGiga = int64_t{1} << 30;
  const struct {
    const char* path;
    SampleFormat sample;
    int64_t frames;
    int channels;
    const char* description;  // nullptr: refused
  } cases[] = {
      {"out.wav", SampleFormat::kDefault, 48000, 2, "WAV 32-bit float"},
      {"out.wav", SampleFormat::kFloat, kGiga / 2 - 8193, 2, "WAV 32-bit float"},
      // 2800 s of 48 kHz 8-channel float: the render the old header wrapped on.
      {"out.wav", SampleFormat::kDefault, 2800 * 48000, 8, "RF64 32-bit float"},
      {"out.wav", SampleFormat::kDefault, kGiga / 2, 2, "RF64 32-bit float"},
      {"out.wav", SampleFormat::kPcm16, kGiga / 2, 2, "WAV 16-bit"},
      {"out.wav", SampleFormat::kPcm16, kGiga, 2, "RF64 16-bit"},
      {"out.wav", SampleFormat::kPcm24, kGiga / 2, 3, "RF64 24-bit"},
      {"out.aiff", SampleFormat::kDefault, kGiga / 8, 2, "AIFF 32-bit float"},
      {"out.aiff", SampleFormat::kDefault, kGiga / 2, 2, nullptr},
      {"out.flac", SampleFormat::kDefault, 4 * kGiga, 2, "FLAC 24-bit"},
      {"out.flac", SampleFormat::kPcm16, 48000, 1, "FLAC 16-bit"},
      {"out.flac", SampleFormat::kFloat, 48000, 1, nullptr},
      {"out.mp3", SampleFormat::kDefault, 48000, 1, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " " + std::to_string(c.frames) + "x" +
                 std::to_string(c.channels));
    try {
      const vhost::OutputFormat format = vhost::outputFormatForSize(
          vhost::outputFormatFor(c.path, c.sample), c.path, c.frames, c.channels);
      ASSERT_NE(c.description, nullptr) << "accepted as " << format.description;
      EXPECT_EQ(format.description, c.description);
    } catch (const vhost::HostError& error) {
      EXPECT_EQ(c.description, nullptr) << error.what();
      EXPECT_EQ(error.code(), vhost::kExitUsage);
    }
  }
}

TEST_F(Render, SamplesBeyondFullScaleAreCountedPerChannel) {
  Audio input{2, 48000, std::vector<float>(2000, 0.25f)};
  for (size_t n = 0; n < 10; ++n) input.samples[2 * (100 + n)] = 1.5f;
  for (size_t n = 0; n < 3; ++n) input.samples[2 * (500 + n) + 1] = -2.0f;
  writeAudio(in(), input);
  const struct {
    const char* name;
    std::vector<std::string> format;
    const char* description;
    bool clips;
  } cases[] = {
      {"out.wav", {}, "WAV 32-bit float", false},
      {"out.aiff", {"--format", "float"}, "AIFF 32-bit float", false},
      {"out.wav", {"--format", "16"}, "WAV 16-bit", true},
      {"out.aiff", {"--format", "24"}, "AIFF 24-bit", true},
      {"out.flac", {}, "FLAC 24-bit", true},
      {"out.flac", {"--format", "16"}, "FLAC 16-bit", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.description);
    std::vector<std::string> args{"render", Paths::gainFixture(), in(), dir.path(c.name), "--set",
                                  "Gain=1"};
    args.insert(args.end(), c.format.begin(), c.format.end());
    const RunResult text = runHost(args, {{"VHF_LATENCY", "0"}});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find(std::string(c.clips ? "clipped   " : "over 0 dB ") +
                            "13 samples beyond full scale (channel 1: 10, channel 2: 3)"),
              std::string::npos)
        << text.out;
    const bool flac = std::string(c.name).find(".flac") != std::string::npos;
    const char* advice = !c.clips ? "kept, "
                         : flac   ? "a .wav or .aiff output would keep them"
                                  : "--format float would keep them";
    EXPECT_NE(text.out.find(advice), std::string::npos) << text.out;
    args.push_back("--json");
    const RunResult json = runHost(args, {{"VHF_LATENCY", "0"}});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const Json report = parseJson(json.out);
    EXPECT_EQ(report["output"]["format"].string, c.description);
    ASSERT_EQ(report["output"]["overFullScale"].array.size(), 2u);
    EXPECT_EQ(report["output"]["overFullScale"][0].number, 10);
    EXPECT_EQ(report["output"]["overFullScale"][1].number, 3);
    EXPECT_EQ(report["output"]["clipped"][0].number, c.clips ? 10 : 0);
    EXPECT_EQ(report["output"]["clipped"][1].number, c.clips ? 3 : 0);
    const Audio output = readAudio(dir.path(c.name));
    EXPECT_EQ(output.at(100, 0) > 1.0f, !c.clips);
    EXPECT_GE(output.at(100, 0), 0.99f);
    EXPECT_LE(output.at(500, 1), -0.99f);
  }
}

TEST_F(Render, ReportsWhatItDidInTextAndJson) {
  render(testSignal(2, 48000, 48000), 64, {"--compensate"});
  for (const char* fact : {"48000 frames", "latency of 64 samples removed", "x realtime"})
    EXPECT_NE(lastRun.out.find(fact), std::string::npos) << fact << "\n" << lastRun.out;
  EXPECT_TRUE(lastRun.err.empty())
      << "no progress bar when stderr is not a terminal: " << lastRun.err;
  render(testSignal(1, 48000, 100), 0, {}, {{"VHF_INPUTS", "1"}, {"VHF_OUTPUTS", "1"}});
  EXPECT_NE(lastRun.out.find(", 1 channel,"), std::string::npos) << lastRun.out;
  writeAudio(in(), testSignal(1, 44100, 1000));
  const Json report = runHostJson(
      {"render", Paths::gainFixture(), in(), out(), "--compensate", "--set", "Gain=0.75"});
  EXPECT_EQ(report["latency"].number, 64);
  EXPECT_TRUE(report["compensated"].boolean);
  EXPECT_EQ(report["input"]["channels"].number, 1);
  EXPECT_EQ(report["input"]["sampleRate"].number, 44100);
  EXPECT_EQ(report["output"]["channels"].number, 2);
  EXPECT_EQ(report["output"]["frames"].number, 1000);
  EXPECT_EQ(report["framesProcessed"].number, 1064);
  EXPECT_EQ(report["midi"].type, Json::Type::kNull);
  ASSERT_EQ(report["set"].array.size(), 1u);
  EXPECT_DOUBLE_EQ(report["set"][0]["value"].number, 0.75);
  EXPECT_GT(report["realtimeFactor"].number, 0.0);
}

TEST_F(Render, ChunkIsRestoredBeforeSet) {
  const std::string chunk = dir.path("state.chunk");
  ASSERT_EQ(runHost({"chunk", "save", Paths::gainFixture(), chunk, "--set", "Gain=0.25", "--set",
                     "Mix=0.5"})
                .exitCode,
            0);
  const Audio input = testSignal(2, 48000, 500);
  Audio output = render(input, 0, {"--chunk", chunk});
  EXPECT_FLOAT_EQ(output.at(100, 0), 0.25f * input.at(100, 0));
  output = render(input, 0, {"--chunk", chunk, "--set", "Gain=1"});
  EXPECT_FLOAT_EQ(output.at(100, 0), input.at(100, 0));

  const std::string raw = dir.path("state.raw");
  ASSERT_EQ(runHost({"chunk", "save", Paths::gainFixture(), raw, "--raw", "--set", "Gain=0.125"})
                .exitCode,
            0);
  expectCleanFailure(runHost({"render", Paths::gainFixture(), in(), out(), "--chunk", raw}),
                     "a raw chunk needs --raw-chunk");
  output = render(input, 0, {"--chunk", raw, "--raw-chunk"});
  EXPECT_FLOAT_EQ(output.at(100, 0), 0.125f * input.at(100, 0));
}

// Every refusal is one line with its exit status and leaves no output and no
// temporary file behind.
TEST_F(Render, BadInputsOptionsAndPluginsFailWithoutOutput) {
  writeAudio(in(), testSignal(2, 48000, 1000));
  std::string corrupt = readText(in()).substr(0, 60);
  corrupt[8] = 'X';  // "WAVE" no longer
  writeAudio(in(), Audio{2, 48000, {}});
  const std::string noFrames = readText(in());
  writeAudio(in(), testSignal(2, 48000, 100));
  const std::string good = readText(in());
  const std::string empty, text = "just some text, certainly no RIFF header\n";
  const std::map<std::string, std::string> none;
  const struct {
    const char* name;
    const std::string* input;  // nullptr: no input file
    std::vector<std::string> options;
    std::map<std::string, std::string> environment;
    int exitCode;  // 0: any failure
    const char* mentioning;
    const char* output = "out.wav";
  } cases[] = {
      {"missing input", nullptr, {}, none, kExitFailure, "in.wav"},
      {"empty input", &empty, {}, none, 0, "empty"},
      {"not audio", &text, {}, none, 0, "as audio"},
      {"corrupt WAV", &corrupt, {}, none, 0, "in.wav"},
      {"no frames", &noFrames, {}, none, 0, "no audio frames"},
      {"unknown extension", &good, {}, none, kExitUsage, "output format", "out.mp3"},
      {"float FLAC",
       &good,
       {"--format", "float"},
       none,
       kExitUsage,
       "FLAC has no float samples",
       "x.flac"},
      {"bad format", &good, {"--format", "8"}, none, 0, "--format takes float, 24 or 16"},
      {"block 0", &good, {"--block", "0"}, none, kExitUsage, "--block"},
      {"block word", &good, {"--block", "many"}, none, kExitUsage, "--block"},
      {"block without value", &good, {"--block"}, none, kExitUsage, "--block"},
      {"negative rate", &good, {"--rate", "-5"}, none, kExitUsage, "--rate"},
      {"negative tail", &good, {"--tail", "-1"}, none, kExitUsage, "--tail"},
      {"nan tail", &good, {"--tail", "nan"}, none, kExitUsage, "--tail"},
      {"inf tail", &good, {"--tail", "inf"}, none, kExitUsage, "--tail"},
      {"tail over an hour", &good, {"--tail", "3601"}, none, kExitUsage, "--tail"},
      {"tail overflowing", &good, {"--tail", "1e400"}, none, kExitUsage, "--tail"},
      {"instrument", &good, {}, {{"VHF_SYNTH", "1"}}, kExitLoad, "not an effect"},
      {"no outputs", &good, {}, {{"VHF_OUTPUTS", "0"}}, 0, "no audio outputs"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(in().c_str());
    if (c.input) writeText(in(), *c.input);
    std::vector<std::string> args{"render", Paths::gainFixture(), in(), dir.path(c.output)};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult result = runHost(args, c.environment);
    expectCleanFailure(result, c.mentioning);
    if (c.exitCode != 0) {
      EXPECT_EQ(result.exitCode, c.exitCode);
    }
    expectOnlyFiles(c.input ? std::vector<std::string>{"in.wav"} : std::vector<std::string>{});
  }
}

// A WAV cut short renders what it holds, with a warning; a whole one none.
TEST_F(Render, TruncatedWavRendersWithAWarning) {
  const Audio input = testSignal(2, 48000, 1000);
  writeAudio(in(), input);
  const std::string bytes = readText(in());
  const RunResult whole = runHost({"render", Paths::gainFixture(), in(), out()});
  ASSERT_EQ(whole.exitCode, 0) << whole.err;
  EXPECT_EQ(whole.err.find("Warning"), std::string::npos) << whole.err;

  constexpr size_t kCutFrames = 400;
  writeText(in(), bytes.substr(0, bytes.size() - kCutFrames * 2 * sizeof(float)));
  const RunResult cut = runHost({"render", Paths::gainFixture(), in(), out()});
  ASSERT_EQ(cut.exitCode, 0) << cut.err;
  EXPECT_NE(cut.err.find("Warning: " + in() + " is cut short"), std::string::npos) << cut.err;
  EXPECT_NE(cut.err.find("600 frames"), std::string::npos) << cut.err;
  EXPECT_EQ(readAudio(out()).frames(), input.frames() - kCutFrames);
}

// The output may not be the input, under any of its names, and one that
// cannot be written fails without leftovers.
TEST_F(Render, OutputsThatCannotBeWrittenOrAreTheInputAreRefused) {
  const Audio input = testSignal(2, 48000, 100);
  writeAudio(in(), input);
  writeText(dir.path("plainfile"), "x");
  ASSERT_EQ(mkdir(dir.path("folder.wav").c_str(), 0755), 0);
  ASSERT_EQ(symlink(in().c_str(), dir.path("alias.wav").c_str()), 0);
  ASSERT_EQ(link(in().c_str(), dir.path("hard.wav").c_str()), 0);
  const struct {
    std::string output;
    const char* mentioning;
    int exitCode;
  } cases[] = {
      {dir.path("missing-folder/out.wav"), "cannot write", kExitFailure},
      {dir.path("plainfile/out.wav"), "cannot write", kExitFailure},
      {dir.path("folder.wav"), "cannot write", kExitFailure},
      {in(), "is the input file", kExitUsage},
      {dir.path("alias.wav"), "is the input file", kExitUsage},
      {dir.path("hard.wav"), "is the input file", kExitUsage},
      {dir.path("./in.wav"), "is the input file", kExitUsage},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    const RunResult result = runHost({"render", Paths::gainFixture(), in(), c.output});
    expectCleanFailure(result, c.mentioning);
    EXPECT_EQ(result.exitCode, c.exitCode);
  }
  EXPECT_EQ(readAudio(in()).samples, input.samples);
  expectOnlyFiles({"in.wav", "plainfile", "folder.wav", "alias.wav", "hard.wav"});
}

TEST_F(Render, FileSizeLimitIsAWriteErrorWithoutLeftovers) {
  writeAudio(in(), testSignal(2, 48000, 48000));
  // The shell sets the limit (in blocks of 512 bytes) in the child only; the
  // render's output needs twelve times as much.
  const RunResult result = runProgram({"/bin/sh", "-c", "ulimit -f 64 && exec \"$0\" \"$@\"",
                                       Paths::host(), "render", Paths::gainFixture(), in(), out()});
  expectCleanFailure(result, "cannot write " + out());
  EXPECT_EQ(result.exitCode, kExitFailure);
  expectOnlyFiles({"in.wav"});
}

TEST_F(Render, DoubleDashEndsTheOptions) {
  writeAudio(in(), testSignal(2, 48000, 100));
  const RunResult result =
      runHost({"render", Paths::gainFixture(), "--", "in.wav", "--json.wav"}, {}, dir.path(""));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out.find('{'), std::string::npos) << "--json was taken as an option";
  expectOnlyFiles({"in.wav", "--json.wav"});
}

// A one-track file at 960 pulses per quarter note around `events`, which
// should end with an End of Track event.
std::string midiFileBytes(const std::string& events) {
  auto bigEndian = [](uint32_t value, int bytes) {
    std::string text;
    for (int i = bytes - 1; i >= 0; --i) text += static_cast<char>((value >> (8 * i)) & 0xFF);
    return text;
  };
  return "MThd" + bigEndian(6, 4) + bigEndian(0, 2) + bigEndian(1, 2) + bigEndian(960, 2) + "MTrk" +
         bigEndian(static_cast<uint32_t>(events.size()), 4) + events;
}

TEST_F(Render, MalformedMidiFilesFailWithoutOutput) {
  writeAudio(in(), testSignal(2, 48000, 100));
  const std::string endOfTrack("\x00\xFF\x2F\x00", 4);
  const std::string good = midiFileBytes(
      std::string("\x00\x90\x3C\x64\x87\x40\x80\x3C\x00\x83\x60\x3E\x10", 13) +
      std::string("\x00\xB0\x07\x40\x00\xC0\x05\x00\xFF\x01\x05hello", 16) + endOfTrack);
  std::string trackTooLong = good;
  trackTooLong[18] = '\x7F';
  const struct {
    const char* name;
    std::string bytes;
    const char* mentioning;
  } cases[] = {
      {"not MIDI at all", "MThd but not really a MIDI file", "MThd header"},
      // Cut files used to make the library read past its buffer or abort.
      {"cut inside the track", good.substr(0, 30), "track 1 is cut short"},
      {"cut before End of Track", good.substr(0, good.size() - 3), "track 1 is cut short"},
      {"track length past the end", trackTooLong, "track 1 is cut short"},
      {"second track missing", good.substr(0, 11) + '\x02' + good.substr(12), "track 2 is missing"},
      {"no End of Track", midiFileBytes(std::string("\x00\x90\x3C\x64", 4)), "End of Track"},
      {"data without status", midiFileBytes(std::string("\x00\x3C\x64", 3) + endOfTrack),
       "without a status byte"},
      {"running status after a meta event",
       midiFileBytes(std::string("\x00\xFF\x01\x01x\x00\x3C\x64", 8) + endOfTrack),
       "without a status byte"},
      {"escaped event", midiFileBytes(std::string("\x00\xF7\x01\xF8", 4) + endOfTrack),
       "cannot hold"},
      {"meta event too long for the reader",
       midiFileBytes(std::string("\x00\xFF\x01\x81\x00", 5) + std::string(128, 'x') + endOfTrack),
       "at most 127"},
      {"short tempo", midiFileBytes(std::string("\x00\xFF\x51\x01\x07", 5) + endOfTrack),
       "malformed meta event 0x51"},
  };
  writeText(dir.path("good.mid"), good);
  ASSERT_EQ(runHost({"render", Paths::gainFixture(), in(), out(), "--midi", dir.path("good.mid")})
                .exitCode,
            0);
  ASSERT_EQ(unlink(out().c_str()), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeText(dir.path("bad.mid"), c.bytes);
    const RunResult result =
        runHost({"render", Paths::gainFixture(), in(), out(), "--midi", dir.path("bad.mid")});
    expectCleanFailure(result, "bad.mid");
    EXPECT_NE(result.err.find(c.mentioning), std::string::npos) << result.err;
    EXPECT_EQ(result.exitCode, kExitFailure);
    expectOnlyFiles({"in.wav", "good.mid", "bad.mid"});
  }
}

TEST_F(Render, PluginCrashIsReportedAndLeavesNoFile) {
  writeAudio(in(), testSignal(2, 48000, 1000));
  const RunResult result =
      runHost({"render", Paths::gainFixture(), in(), out()}, {{"VHF_CRASH", "1"}});
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exitCode, kExitCrash);
  EXPECT_EQ(result.err,
            "veldrana-host: crashed with a segmentation fault (SIGSEGV) while "
            "running the plug-in\n");
  expectOnlyFiles({"in.wav"});
}

TEST_F(Render, ThirdPartyPluginsDelayExactlyAndGetAMixdown) {
  const std::string stereo = Paths::lsp("comp-delay-stereo.so");
  SKIP_WITHOUT_LSP(stereo);
  const Audio input = testSignal(2, 48000, 6000);
  writeAudio(in(), input);
  // 0.01 of the 0..10000-sample range is a 100-sample delay.
  const RunResult result = runHost({"render", stereo, in(), out(), "--set", "samp=0.01"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  Audio output = readAudio(out());
  ASSERT_EQ(output.channels, 2);
  ASSERT_EQ(output.frames(), input.frames());
  for (size_t n = 0; n < 100; ++n) ASSERT_EQ(output.at(n, 0), 0.0f) << n;
  for (size_t n = 100; n < input.frames(); ++n)
    for (int c = 0; c < 2; ++c) ASSERT_FLOAT_EQ(output.at(n, c), input.at(n - 100, c)) << n;
  const RunResult mono = runHost({"render", Paths::lsp("comp-delay-mono.so"), in(), out()});
  ASSERT_EQ(mono.exitCode, 0) << mono.err;
  output = readAudio(out());
  ASSERT_EQ(output.channels, 1);
  for (size_t n = 0; n < input.frames(); ++n)
    ASSERT_NEAR(output.at(n, 0), (input.at(n, 0) + input.at(n, 1)) / 2.0f, 1e-6) << n;
}

TEST_F(Render, VeldranaRendersWithCompensation) {
  ASSERT_TRUE(fileExists(Paths::veldrana())) << "build the Veldrana target first";
  const Audio input = testSignal(2, 48000, 20000);
  writeAudio(in(), input);
  const RunResult result =
      runHost({"render", Paths::veldrana(), in(), out(), "--compensate", "--set",
               "FFT Size=0.857142", "--set", "Bin 20 Level..Bin 120 Level=0", "--json"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Json report = parseJson(result.out);
  EXPECT_EQ(report["latency"].number, 2048);
  EXPECT_EQ(report["framesProcessed"].number, 20000 + 2048);
  const Audio output = readAudio(out());
  ASSERT_EQ(output.channels, 2);
  ASSERT_EQ(output.frames(), input.frames());
  for (const float sample : output.samples) ASSERT_TRUE(std::isfinite(sample));
}

}  // namespace
}  // namespace hosttest
