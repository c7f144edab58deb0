// `render --scripts DIR` and `--osc-offset N`: options that configure
// Veldrana itself, through its environment and its "OSC Port Offset".
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "tests/tools/HostTestSupport.h"
#include "tests/tools/VeldranaHome.h"

namespace hosttest {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A user script that replaces the built-in one and offers a single spectral
// script, so "Script Index" runs from Off (0) to Mute (1).
constexpr const char* kMuteScript =
    "addSpectralScript('Mute', function(s) for i=0,s.maxBin do zeroBin(i) end end)\n";

// Closes the wet path 50 ms into the render and opens it again 50 ms later,
// over and over.
constexpr const char* kGateScript =
    "local open = true\n"
    "requestPeriodicCallback(0.05, function()\n"
    "  open = not open\n"
    "  setParameter('Wet Level', open and 1 or 0)\n"
    "end)\n";

// A script that does not load, and a spectral script that fails on every
// frame; each error names its text.
constexpr const char* kBrokenScript = "this is not Lua\n";
constexpr const char* kBrokenNeedle = "midi.lua:1:";
constexpr const char* kFailingSpectralScript =
    "addSpectralScript('Bad', function(s) error('no such bin') end)\n";
constexpr const char* kFailingNeedle = "no such bin";

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

size_t linesContaining(const std::string& text, const std::string& needle) {
  const auto lines = linesOf(text);
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.find(needle) != std::string::npos;
  }));
}

const Json& findParameter(const Json& parameters, const std::string& name) {
  for (const auto& p : parameters.array)
    if (p["name"].string == name) return p;
  throw std::runtime_error("no parameter " + name);
}

class VeldranaRender : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fileExists(Paths::veldrana())) << "build the Veldrana target first";
    input = testSignal(2, 48000, 12000);
    writeAudio(in(), input);
  }

  std::string in() const { return home.path("in.wav"); }
  std::string out() const { return home.path("out.wav"); }

  RunResult render(const std::vector<std::string>& extra) {
    std::vector<std::string> args{"render", Paths::veldrana(), in(), out()};
    args.insert(args.end(), extra.begin(), extra.end());
    return runHost(args, home.environment());
  }

  std::string scriptsFolder(const char* script = kMuteScript) {
    const std::string folder = home.path("scripts");
    mkdir(folder.c_str(), 0755);
    writeText(folder + "/midi.lua", script);
    return folder;
  }

  VeldranaHome home{{5}};
  Audio input;
};

// With the scripts folder "Script Index" 1 mutes everything; without it the
// built-in script's last spectral script leaves this signal practically as
// it is.
TEST_F(VeldranaRender, ScriptsFolderSuppliesTheSpectralScriptsInsteadOfTheBuiltInOnes) {
  for (const bool folder : {true, false}) {
    SCOPED_TRACE(folder ? "scripts folder" : "built-in scripts");
    std::vector<std::string> options{"--set", "Script Index=1", "--json"};
    if (folder) options.insert(options.begin(), {"--scripts", scriptsFolder()});
    const RunResult result = render(options);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Json report = parseJson(result.out);
    EXPECT_EQ(findParameter(report["set"], "Script Index")["display"].string == "Mute", folder);
    const auto latency = static_cast<size_t>(report["latency"].number);
    const Audio output = readAudio(out());
    ASSERT_EQ(output.frames(), input.frames());
    ASSERT_GT(output.frames(), latency);
    float peak = 0.0f;
    for (size_t n = latency; n < output.frames(); ++n)
      for (int c = 0; c < output.channels; ++c) {
        peak = std::max(peak, std::fabs(output.at(n, c)));
        if (folder) {
          ASSERT_EQ(output.at(n, c), 0.0f) << n;
        } else {
          ASSERT_NEAR(output.at(n, c), input.at(n - latency, c), 0.01) << n;
        }
      }
    if (!folder) {
      EXPECT_GT(peak, 0.3f);
    }
  }
}

// However fast the machine and whatever the block size, a render's timers
// fire at the audio's time: the gate closes at the same samples.
TEST_F(VeldranaRender, ScriptTimersFollowTheRenderedAudio) {
  const std::string folder = scriptsFolder(kGateScript);
  std::vector<Audio> renders;
  for (const char* block : {"8", "512"}) {
    const RunResult result = render({"--scripts", folder, "--block", block});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    renders.push_back(readAudio(out()));
  }
  ASSERT_EQ(renders[0].frames(), input.frames());
  EXPECT_TRUE(renders[0].samples == renders[1].samples);

  // Closed from 2400 to 4800 (50 to 100 ms at 48 kHz); the output lags by
  // the latency, and the last frame begun while open fades out over one
  // more frame of 1024.
  const Audio& output = renders[0];
  float openPeak = 0.0f;
  for (size_t n = 1024; n < 2400; ++n) openPeak = std::max(openPeak, std::fabs(output.at(n, 0)));
  EXPECT_GT(openPeak, 0.1f);
  for (size_t n = 2400 + 2 * 1024; n < 4800; ++n)
    for (int c = 0; c < output.channels; ++c) ASSERT_EQ(output.at(n, c), 0.0f) << n;
}

// Script errors are warnings unless --strict makes them failures; the
// spectral script's error is printed only when asked for, and once however
// many frames it fails on.
TEST_F(VeldranaRender, ScriptErrorsWarnOrFailUnderStrict) {
  struct Case {
    const char* command;
    const char* script;
    const char* needle;
    std::vector<std::string> options;
    int exitCode;
    size_t linesNaming;  // the plug-in's line, and --strict's own
  };
  const std::vector<std::string> failing{"--set", "Script Index=1"};
  const auto with = [&](std::vector<std::string> options) {
    options.insert(options.begin(), failing.begin(), failing.end());
    return options;
  };
  const Case cases[] = {
      {"render", kBrokenScript, kBrokenNeedle, {}, 0, 1},
      {"render", kBrokenScript, kBrokenNeedle, {"--strict"}, kExitFailure, 2},
      {"render", kFailingSpectralScript, kFailingNeedle, failing, 0, 0},
      {"render", kFailingSpectralScript, kFailingNeedle, with({"--verbose"}), 0, 1},
      {"render", kFailingSpectralScript, kFailingNeedle, with({"--strict"}), kExitFailure, 2},
      {"serve", kBrokenScript, kBrokenNeedle, {"--strict"}, kExitFailure, 2},
      {"serve", kFailingSpectralScript, kFailingNeedle, with({"--strict"}), kExitFailure, 2},
      {"serve", kFailingSpectralScript, kFailingNeedle, with({"--verbose"}), 0, 1},
  };
  for (const Case& c : cases) {
    std::string trace = std::string(c.command) + " " + c.needle;
    for (const auto& option : c.options) trace += " " + option;
    SCOPED_TRACE(trace);
    std::remove(out().c_str());
    std::vector<std::string> args{c.command, Paths::veldrana()};
    if (std::string(c.command) == "render")
      args.insert(args.end(), {in(), out()});
    else
      args.insert(args.end(), {"--seconds", "0.5"});
    args.insert(args.end(), {"--scripts", scriptsFolder(c.script)});
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult result = runHost(args, home.environment());
    EXPECT_EQ(result.signal, 0) << result.err;
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_EQ(linesContaining(result.err, c.needle), c.linesNaming) << result.err;
    if (c.exitCode != 0) {
      const auto lines = linesOf(result.err);
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.back().rfind("veldrana-host: --strict: ", 0), 0u) << result.err;
      EXPECT_FALSE(fileExists(out()));
    } else if (std::string(c.command) == "render") {
      EXPECT_EQ(readAudio(out()).frames(), input.frames());
    }
  }
}

TEST_F(VeldranaRender, BadScriptsAndOscOffsetsAreRefusedWithoutOutput) {
  const std::string veldrana = Paths::veldrana(), gain = Paths::gainFixture();
  const struct {
    const std::string& plugin;
    std::vector<std::string> options;
    int exitCode;
    const char* mentioning;
  } cases[] = {
      {veldrana, {"--scripts", home.path("nowhere")}, kExitFailure, "nowhere"},
      {veldrana, {"--scripts", in()}, kExitFailure, "not a folder"},
      {veldrana,
       {"--osc-offset", "5", "--set", "OSC Port Offset=0.1"},
       kExitUsage,
       "OSC Port Offset"},
      {veldrana, {"--osc-offset", "5", "--set", "0..2=0"}, kExitUsage, "OSC Port Offset"},
      {gain, {"--osc-offset", "3"}, kExitFailure, "OSC Port Offset"},
      {gain, {"--osc-offset", "101"}, kExitUsage, "--osc-offset"},
      {gain, {"--osc-offset", "-1"}, kExitUsage, "--osc-offset"},
      {gain, {"--osc-offset", "1.5"}, kExitUsage, "--osc-offset"},
      {gain, {"--osc-offset", "port"}, kExitUsage, "--osc-offset"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options.back());
    std::vector<std::string> args{"render", c.plugin, in(), out()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult result = runHost(args, home.environment());
    expectCleanFailure(result, c.mentioning);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_FALSE(fileExists(out()));
  }
}

TEST_F(VeldranaRender, OscOffsetSetsItsParameterAlongsideSet) {
  const RunResult result =
      render({"--osc-offset", "5", "--set", "Wet Level=0.5", "--set", "Dry Level=0.25", "--json"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Json report = parseJson(result.out);
  const Json& set = report["set"];
  ASSERT_EQ(set.array.size(), 3u);
  const Json& offset = findParameter(set, "OSC Port Offset");
  EXPECT_FLOAT_EQ(static_cast<float>(offset["value"].number), 0.05f);
  EXPECT_EQ(offset["display"].string, "5");
  EXPECT_FLOAT_EQ(static_cast<float>(findParameter(set, "Wet Level")["value"].number), 0.5f);
  EXPECT_FLOAT_EQ(static_cast<float>(findParameter(set, "Dry Level")["value"].number), 0.25f);
  for (const int value : {0, 1, 29, 57, 100}) {
    const RunResult each = render({"--osc-offset", std::to_string(value), "--json"});
    ASSERT_EQ(each.exitCode, 0) << each.err;
    EXPECT_EQ(findParameter(parseJson(each.out)["set"], "OSC Port Offset")["display"].string,
              value == 0 ? "Off" : std::to_string(value));
  }
}

}  // namespace
}  // namespace hosttest
