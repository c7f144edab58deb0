// `render`: samples in, plug-in, samples out. The gain fixture scales by its
// Gain and delays by its latency, so every output sample is predictable; its
// log shows what the host told it and when.
#include <unistd.h>

#include <cmath>

#include "tests/tools/HostTestSupport.h"
#include "tools/host/HostError.h"
#include "tools/host/OutputFormat.h"

namespace hosttest {
namespace {

class Render : public ::testing::Test {
 protected:
  std::string in() const { return dir.path("in.wav"); }
  std::string out() const { return dir.path("out.wav"); }
  std::string log() const { return dir.path("log"); }

  // Renders `input` through the gain fixture; the log is this run's alone.
  Audio render(const Audio& input, int latency, Args extra = {}, Environment environment = {}) {
    writeAudio(in(), input);
    extra.insert(extra.begin(), {"render", kGain, in(), out()});
    environment["VHF_LATENCY"] = std::to_string(latency);
    environment["VHF_LOG"] = log();
    unlink(log().c_str());
    last = runHost(extra, environment);
    EXPECT_EQ(last.exitCode, 0) << last.err;
    return readAudio(out());
  }

  ScratchDir dir;
  RunResult last;
};

// Output channel c is the gain times input channel c (modulo the input's
// channels, or their mean into a mono plug-in), delayed by the latency left
// in, with silence before it and after the input's end.
TEST_F(Render, OutputIsTheInputScaledAndDelayedAsAsked) {
  const struct {
    const char* name;
    int channels, frames, latency;
    Args options;
    Environment environment;
    float gain;
    int delay, outChannels, outFrames;
    long processed;      // frames fed to the plug-in, -1: not checked
    const char* report;  // in the printed report
  } cases[] = {
      // clang-format off
      {"default gain", 2, 5000, 0, {}, {}, 0.5f, 0, 2, 5000, 5000, "5000 frames"},
      {"--set before processing", 2, 3000, 0, {"--set", "Gain=1"}, {}, 1.0f, 0, 2, 3000, -1, ""},
      {"latency delays", 2, 4000, 64, {}, {}, 0.5f, 64, 2, 4000, -1, "x realtime"},
      // The compensated tail comes from extra silence fed after the file.
      {"compensated", 2, 4000, 64, {"--compensate"}, {}, 0.5f, 0, 2, 4000, 4064, "latency of 64 samples removed"},
      {"tail, delayed", 2, 4000, 64, {"--tail", "0.01"}, {}, 0.5f, 64, 2, 4480, -1, "with a tail of 480 frames"},
      {"latency past the end", 1, 300, 1000, {"--compensate", "--block", "128"}, {}, 0.5f, 0, 2, 300, -1, ""},
      {"four outputs", 2, 1000, 0, {}, {{"VHF_OUTPUTS", "4"}}, 0.5f, 0, 4, 1000, -1, ""},
      {"mixed down", 2, 2000, 0, {}, {{"VHF_INPUTS", "1"}, {"VHF_OUTPUTS", "1"}}, 0.5f, 0, 1, 2000, -1, ", 1 channel,"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Audio input = whiteNoise(c.channels, 48000, c.frames);
    const Audio output = render(input, c.latency, c.options, c.environment);
    ASSERT_EQ(output.channels, c.outChannels);
    EXPECT_EQ(output.sampleRate, 48000);
    ASSERT_EQ(output.frames(), static_cast<size_t>(c.outFrames));
    const bool mix = c.outChannels < c.channels;
    for (size_t n = 0; n < output.frames(); ++n)
      for (int ch = 0; ch < c.outChannels; ++ch) {
        const size_t at = n - c.delay;
        const float x = n < size_t(c.delay) || at >= input.frames() ? 0.0f
                        : mix ? (input.at(at, 0) + input.at(at, 1)) / 2
                              : input.at(at, ch % c.channels);
        ASSERT_NEAR(output.at(n, ch), c.gain * x, 1e-6) << n << " channel " << ch;
      }
    long processed = 0;
    for (const auto& line : readLines(log(), "process ")) processed += std::stol(line.substr(8));
    EXPECT_TRUE(c.processed < 0 || processed == c.processed) << processed;
    EXPECT_NE(last.out.find(c.report), std::string::npos) << last.out;
    EXPECT_TRUE(last.err.empty()) << "no progress bar when stderr is not a terminal: " << last.err;
  }
}

// The entry point asks the host first; the rate and block size come before
// resuming, then whole blocks and the rest, then all is taken down in order.
TEST_F(Render, TheHostsCallsReachThePluginInOrder) {
  render(whiteNoise(2, 44100, 1050), 0, {"--block", "100"});
  std::string expected =
      "host version 2400\nhost canDo sendVstMidiEvent 1 somethingNoHostDoes 0\nopen\n"
      "rate 44100\nblock 100\nresume\nhost rate 44100 block 100\nstart\n";
  for (int block = 0; block < 10; ++block) expected += "process 100\n";
  EXPECT_EQ(readText(log()), expected + "process 50\nstop\nsuspend\nclose\n");
  // --rate changes what the plug-in is told, not the file.
  EXPECT_EQ(render(whiteNoise(2, 48000, 1000), 0, {"--rate", "96000"}).sampleRate, 48000);
  EXPECT_EQ(readLines(log(), "rate "), Args{"rate 96000"});
}

TEST_F(Render, MidiEventsArriveAtTheirSamplePositions) {
  const std::string midi = dir.path("notes.mid");
  // At 48 kHz one pulse is 25 samples; the last event falls after the file.
  writeMidiFile(midi, {{0, {0x90, 60, 100}},
                       {20, {0x90, 64, 90}},
                       {960, {0x80, 60, 0}},
                       {960, {0xB0, 7, 127}},
                       {1440, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
                       {3840, {0x80, 64, 0}}});
  render(whiteNoise(2, 48000, 48000), 0, {"--midi", midi});
  EXPECT_EQ(readLines(log(), "midi "),
            (Args{"midi 0 144 60 100 delta 0", "midi 500 144 64 90 delta 500",
                  "midi 24000 128 60 0 delta 448", "midi 24000 176 7 127 delta 448"}));
  EXPECT_EQ(readLines(log(), "sysex "), Args{"sysex 36000 6"});
  // One effProcessEvents per block that has events, and none for the rest.
  EXPECT_EQ(readLines(log(), "events "), (Args{"events 2", "events 2", "events 1"}));
  EXPECT_NE(last.out.find("5 of 6 events delivered"), std::string::npos) << last.out;
}

// Sizes no test should write: the choice is made from the frame count.
TEST(RenderOutputFormat, WavPastFourGigabytesBecomesRf64AndAiffIsRefused) {
  using vhost::SampleFormat;
  constexpr int64_t kGiga = int64_t{1} << 30;
  const struct {
    const char* path;
    SampleFormat sample;
    int64_t frames;
    const char* expected;
  } cases[] = {
      {"out.wav", SampleFormat::kDefault, kGiga / 8, "WAV 32-bit float"},
      {"out.wav", SampleFormat::kDefault, kGiga / 2, "RF64 32-bit float"},
      {"out.wav", SampleFormat::kPcm16, kGiga, "RF64 16-bit"},
      {"out.aiff", SampleFormat::kDefault, kGiga / 8, "AIFF 32-bit float"},
      {"out.aiff", SampleFormat::kDefault, kGiga / 2, "refused"},
      {"out.flac", SampleFormat::kPcm16, 4 * kGiga, "FLAC 16-bit"},
  };
  for (const auto& c : cases) {
    std::string got;
    try {
      got =
          vhost::outputFormatForSize(vhost::outputFormatFor(c.path, c.sample), c.path, c.frames, 2)
              .description;
    } catch (const vhost::HostError& error) {
      got = error.code() == vhost::kExitUsage ? "refused" : error.what();
    }
    EXPECT_EQ(got, c.expected) << c.path << " " << c.frames;
  }
}

// Float WAV keeps samples beyond full scale, 16-bit FLAC clips them; the
// report counts them and says how to keep them.
TEST_F(Render, SamplesBeyondFullScaleAreKeptOrClippedAndCounted) {
  Audio input{2, 48000, std::vector<float>(2000, 0.25f)};
  for (size_t n = 0; n < 10; ++n) input.samples[2 * (100 + n)] = 1.5f;
  for (size_t n = 0; n < 3; ++n) input.samples[2 * (500 + n) + 1] = -2.0f;
  writeAudio(in(), input);
  for (const std::string name : {"out.wav", "out.flac"}) {
    const bool clips = name == "out.flac";
    const RunResult text = runHost({"render", kGain, in(), dir.path(name), "--set", "Gain=1",
                                    "--format", clips ? "16" : "float"},
                                   {{"VHF_LATENCY", "0"}});
    const std::string counted = "13 samples beyond full scale (channel 1: 10, channel 2: 3)";
    EXPECT_NE(text.out.find((clips ? "clipped   " : "over 0 dB ") + counted), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find(clips ? "a .wav or .aiff output would keep" : "kept, "),
              std::string::npos)
        << text.out;
    const Audio output = readAudio(dir.path(name));
    EXPECT_EQ(output.at(100, 0) > 1.0f, !clips) << name;
    EXPECT_LE(output.at(500, 1), -0.99f) << name;
  }
}

TEST_F(Render, ChunkIsRestoredBeforeSet) {
  const std::string chunk = dir.path("state.chunk"), raw = dir.path("state.raw");
  ASSERT_EQ(runHost({"chunk", "save", kGain, chunk, "--set", "Gain=0.25"}).exitCode, 0);
  ASSERT_EQ(runHost({"chunk", "save", kGain, raw, "--raw", "--set", "Gain=0.125"}).exitCode, 0);
  const Audio input = whiteNoise(2, 48000, 500);
  EXPECT_FLOAT_EQ(render(input, 0, {"--chunk", chunk}).at(100, 0), 0.25f * input.at(100, 0));
  EXPECT_FLOAT_EQ(render(input, 0, {"--chunk", chunk, "--set", "Gain=1"}).at(100, 0),
                  input.at(100, 0));
  expectCleanFailure(runHost({"render", kGain, in(), out(), "--chunk", raw}),
                     "a raw chunk needs --raw-chunk");
}

// Every refusal is one line with its exit status and leaves no output and
// no temporary file behind; the input is never overwritten.
TEST_F(Render, BadInputsOptionsOutputsAndPluginsFailWithoutOutput) {
  writeAudio(in(), Audio{2, 48000, {}});
  const std::string noFrames = readText(in());
  writeAudio(in(), whiteNoise(2, 48000, 100));
  const std::string good = readText(in());
  ASSERT_EQ(symlink(in().c_str(), dir.path("alias.wav").c_str()), 0);
  const std::string end("\x00\xFF\x2F\x00", 4), note("\x00\x90\x3C\x64\x87\x40\x80\x3C\x00", 9);
  const struct {
    std::string input;  // "-": no input file
    Args options;
    int exitCode;
    const char* mentioning;
    std::string output = "out.wav";
    Environment environment = {};
    std::string midi = "";  // when given, bad.mid with these bytes
  } cases[] = {
      // clang-format off
      {"-", {}, kExitFailure, "in.wav"},
      {"just text, certainly no RIFF header\n", {}, kExitFailure, "as audio"},
      {noFrames, {}, kExitFailure, "no audio frames"},
      {good, {"--format", "float"}, kExitUsage, "FLAC has no float samples", "x.flac"},
      {good, {"--block", "0"}, kExitUsage, "--block"},
      {good, {}, kExitLoad, "not an effect", "out.wav", {{"VHF_SYNTH", "1"}}},
      {good, {}, kExitLoad, "no audio outputs", "out.wav", {{"VHF_OUTPUTS", "0"}}},
      {good, {}, kExitFailure, "cannot write", "missing/out.wav"},
      {good, {}, kExitUsage, "is the input file", "alias.wav"},
      {good, {}, kExitFailure, "MThd header", "out.wav", {}, "MThd but not really a MIDI file"},
      // Cut files used to make the library read past its buffer or abort.
      {good, {}, kExitFailure, "track 1 is cut short", "out.wav", {}, midiFile(note + end).substr(0, 30)},
      {good, {}, kExitFailure, "End of Track", "out.wav", {}, midiFile(note)},
      {good, {}, kExitFailure, "without a status byte", "out.wav", {}, midiFile(std::string("\x00\x3C\x64", 3) + end)},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mentioning) + " " + c.output);
    unlink(in().c_str());
    unlink(dir.path("bad.mid").c_str());
    if (c.input != "-") writeText(in(), c.input);
    Args args{"render", kGain, in(), dir.path(c.output)};
    args.insert(args.end(), c.options.begin(), c.options.end());
    if (!c.midi.empty()) {
      writeText(dir.path("bad.mid"), c.midi);
      args.insert(args.end(), {"--midi", dir.path("bad.mid")});
    }
    expectCleanFailure(runHost(args, c.environment), c.mentioning, c.exitCode);
    Args left{"alias.wav", "in.wav"};
    if (c.input == "-") left.pop_back();
    if (!c.midi.empty()) left.insert(left.begin() + 1, "bad.mid");
    EXPECT_EQ(dir.entries(), left);
  }
  EXPECT_EQ(readText(in()), good);
}

TEST_F(Render, PluginCrashIsReportedAndLeavesNoFile) {
  writeAudio(in(), whiteNoise(2, 48000, 1000));
  const RunResult result = runHost({"render", kGain, in(), out()}, {{"VHF_CRASH", "1"}});
  EXPECT_EQ(result.exitCode, kExitCrash);
  EXPECT_EQ(result.err,
            "veldrana-host: crashed with a segmentation fault (SIGSEGV) while running the "
            "plug-in\n");
  EXPECT_EQ(dir.entries(), Args{"in.wav"});
}

}  // namespace
}  // namespace hosttest
