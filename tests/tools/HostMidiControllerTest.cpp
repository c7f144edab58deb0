// A controller message in a MIDI file changes Veldrana's sound from its
// sample position on: the built-in script maps controller 2 to "Dry Level",
// and with "Wet Level" and "Dry Level" at 0 the output is silent until the
// message turns the dry signal fully up.
#include <cstdint>

#include "tests/tools/HostTestSupport.h"
#include "tests/tools/VeldranaHome.h"

namespace hosttest {
namespace {

constexpr int kRate = 48000;
constexpr size_t kFrames = kRate;  // one second
// At 48 kHz one pulse is 25 samples: pulse 500 is sample 12500, in the
// middle of a 512-frame block.
constexpr int kEventPulses = 500;
constexpr size_t kEventFrame = 12500;

// White noise, the same every run; it has no silent stretch to hide a
// wrong switching point.
Audio noise() {
  Audio audio;
  audio.channels = 1;
  audio.sampleRate = kRate;
  uint32_t state = 12345;
  for (size_t n = 0; n < kFrames; ++n) {
    state = state * 1664525u + 1013904223u;
    audio.samples.push_back(static_cast<float>(state >> 8) / static_cast<float>(1 << 24) - 0.5f);
  }
  return audio;
}

class VeldranaMidiController : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fileExists(Paths::veldrana())) << "build the Veldrana target first";
    writeAudio(home.path("in.wav"), input);
    // Controller 2, value 127, MIDI channel 1.
    writeMidiFile(home.path("cc.mid"), {{kEventPulses, {0xB0, 2, 127}}});
  }

  // Renders and returns the latency the plug-in reported.
  size_t render(const std::vector<std::string>& extra) {
    std::vector<std::string> args{
        "render",      Paths::veldrana(), home.path("in.wav"), out(),    "--set",
        "Wet Level=0", "--set",           "Dry Level=0",       "--midi", home.path("cc.mid"),
        "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    const RunResult result = runHost(args, home.environment());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const Json report = parseJson(result.out);
    EXPECT_EQ(report["midi"]["delivered"].number, 1);
    return static_cast<size_t>(report["latency"].number);
  }

  std::string out() const { return home.path("out.wav"); }

  // Silent before `switchFrame`, the input delayed by `delay` from it on.
  // The switching sample itself may be either.
  void expectSwitchAt(const Audio& output, size_t switchFrame, size_t delay) const {
    ASSERT_EQ(output.frames(), kFrames);
    ASSERT_GT(switchFrame, delay);
    for (size_t n = 0; n < switchFrame; ++n)
      for (int c = 0; c < output.channels; ++c) ASSERT_EQ(output.at(n, c), 0.0f) << n;
    for (size_t n = switchFrame + 1; n < kFrames; ++n)
      for (int c = 0; c < output.channels; ++c)
        ASSERT_NEAR(output.at(n, c), input.at(n - delay, 0), 1e-6) << n;
  }

  VeldranaHome home;
  Audio input = noise();
};

// Uncompensated, the output is the plug-in's own timeline: the event acts
// at its sample, on the dry signal the plug-in delays by its latency.
// Compensation lines the dry signal up with the input; the level change is
// not delayed inside the plug-in, so it comes out `latency` samples ahead of
// the event's position in the input.
TEST_F(VeldranaMidiController, DryLevelSwitchesAtTheEventsSampleWithAndWithoutCompensation) {
  const size_t latency = render({});
  expectSwitchAt(readAudio(out()), kEventFrame, latency);
  ASSERT_EQ(render({"--compensate"}), latency);
  expectSwitchAt(readAudio(out()), kEventFrame - latency, 0);
}

}  // namespace
}  // namespace hosttest
