// Rendering Veldrana itself: `--scripts DIR` and `--osc-offset N` configure
// it through its environment and its "OSC Port Offset"; the built-in script
// maps MIDI controller 2 to "Dry Level".
#include <sys/stat.h>

#include <cmath>

#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

// Replaces the built-in script with a single spectral script, so "Script
// Index" runs from Off (0) to Mute (1).
constexpr const char* kMuteScript =
    "addSpectralScript('Mute', function(s) for i=0,s.maxBin do zeroBin(i) end end)\n";
constexpr const char* kBrokenScript = "this is not Lua\n";
constexpr const char* kFailingScript =
    "addSpectralScript('Bad', function(s) error('no such bin') end)\n";

class VeldranaRender : public ::testing::Test {
 protected:
  void SetUp() override { writeAudio(in(), input); }
  std::string in() const { return home.path("in.wav"); }
  std::string out() const { return home.path("out.wav"); }
  RunResult render(Args options) {
    options.insert(options.begin(), {"render", kVeldrana, in(), out()});
    return runHost(options, home.environment());
  }
  std::string scripts(const char* script = kMuteScript) {
    mkdir(home.path("scripts").c_str(), 0755);
    writeText(home.path("scripts/midi.lua"), script);
    return home.path("scripts");
  }

  VeldranaHome home{{5}};
  Audio input = whiteNoise(2, 48000, 12000);
};

// With the folder "Script Index" 1 mutes everything; without it the
// built-in script's last spectral script leaves this signal practically as
// it is.
TEST_F(VeldranaRender, ScriptsFolderSuppliesTheSpectralScriptsInsteadOfTheBuiltInOnes) {
  for (const bool folder : {true, false}) {
    SCOPED_TRACE(folder ? "scripts folder" : "built-in scripts");
    Args options{"--set", "Script Index=1", "--json"};
    if (folder) options.insert(options.begin(), {"--scripts", scripts()});
    const RunResult result = render(options);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Json report = parseJson(result.out);
    EXPECT_EQ(report["set"].named("Script Index")["display"].string == "Mute", folder);
    const auto latency = static_cast<size_t>(report["latency"].number);
    const Audio output = readAudio(out());
    ASSERT_EQ(output.frames(), input.frames());
    for (size_t n = latency; n < output.frames(); ++n)
      for (int c = 0; c < output.channels; ++c)
        ASSERT_NEAR(output.at(n, c), folder ? 0.0f : input.at(n - latency, c), 0.01) << n;
  }
}

// Script errors are warnings unless --strict makes them failures; the
// spectral script's error is printed only when asked for, and once however
// many frames it fails on.
TEST_F(VeldranaRender, ScriptErrorsWarnOrFailUnderStrict) {
  const struct {
    const char* script;
    const char* needle;
    Args options;
    int exitCode;
    size_t linesNaming;  // the plug-in's line, and --strict's own
  } cases[] = {
      {kBrokenScript, "midi.lua:1:", {}, 0, 1},
      {kBrokenScript, "midi.lua:1:", {"--strict"}, kExitFailure, 2},
      {kFailingScript, "no such bin", {"--set", "Script Index=1"}, 0, 0},
      {kFailingScript, "no such bin", {"--set", "Script Index=1", "--verbose"}, 0, 1},
      {kFailingScript, "no such bin", {"--set", "Script Index=1", "--strict"}, kExitFailure, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.needle) + " " + std::to_string(c.options.size()));
    std::remove(out().c_str());
    Args options = c.options;
    options.insert(options.begin(), {"--scripts", scripts(c.script)});
    const RunResult result = render(options);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    size_t naming = 0;
    for (size_t at = result.err.find(c.needle); at != std::string::npos;
         at = result.err.find(c.needle, at + 1))
      ++naming;
    EXPECT_EQ(naming, c.linesNaming) << result.err;
    EXPECT_TRUE(!c.exitCode || result.err.find("\nveldrana-host: --strict: ") != std::string::npos)
        << result.err;
    EXPECT_EQ(fileExists(out()), !c.exitCode);
  }
}

TEST_F(VeldranaRender, BadScriptsFoldersAndOscOffsetsAreRefusedWithoutOutput) {
  expectCleanFailure(render({"--scripts", home.path("nowhere")}), "nowhere");
  expectCleanFailure(render({"--scripts", in()}), "not a folder");
  expectCleanFailure(render({"--osc-offset", "5", "--set", "0..2=0"}), "OSC Port Offset");
  EXPECT_EQ(render({"--osc-offset", "1.5"}).exitCode, kExitUsage);
  EXPECT_FALSE(fileExists(out()));
}

// With "Wet Level" and "Dry Level" at 0 the output is silent until the
// controller turns the dry signal fully up at pulse 500 (sample 12500, inside
// a block). Uncompensated, the switch comes at the event's sample on the dry
// signal the plug-in delays; compensated, the dry signal lines up with the
// input and the level change, not delayed inside, comes `latency` early.
TEST_F(VeldranaRender, MidiControllerSwitchesAtItsSampleWithAndWithoutCompensation) {
  input = whiteNoise(1, 48000, 48000);
  writeAudio(in(), input);
  writeMidiFile(home.path("cc.mid"), {{500, {0xB0, 2, 127}}});
  for (const bool compensate : {false, true}) {
    SCOPED_TRACE(compensate ? "compensated" : "plug-in's timeline");
    Args options{"--set",  "Wet Level=0",       "--set", "Dry Level=0",
                 "--midi", home.path("cc.mid"), "--json"};
    if (compensate) options.push_back("--compensate");
    const RunResult result = render(options);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Json report = parseJson(result.out);
    EXPECT_EQ(report["midi"]["delivered"].number, 1);
    const auto latency = static_cast<size_t>(report["latency"].number);
    const size_t switchAt = compensate ? 12500 - latency : 12500, delay = compensate ? 0 : latency;
    const Audio output = readAudio(out());
    ASSERT_EQ(output.frames(), input.frames());
    for (size_t n = 0; n < output.frames(); ++n)
      for (int c = 0; c < output.channels && n != switchAt; ++c)
        ASSERT_NEAR(output.at(n, c), n < switchAt ? 0.0f : input.at(n - delay, 0), 1e-6) << n;
  }
}

}  // namespace
}  // namespace hosttest
