#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ScriptTestSupport.h"
#include "core/CFTypes.h"

using namespace scripting_test;

namespace {

constexpr int kN = 32;
constexpr int kMaxBin = kN / 2;

// One spectral script, "Probe", that runs whatever the test puts in the
// global `probe`; the built-in script is replaced so it is entry 1.
struct SpectralRun : ::testing::Test {
  RecordingHost host;
  ScriptsFolder folder;
  std::unique_ptr<QwkTonalmire> effect;
  QwkTonalmire::BrvkLuaMIDIHelper* helper = nullptr;
  std::vector<float> f = std::vector<float>(kN);

  void SetUp() override {
    folder.write(
        "midi.lua",
        "addSpectralScript('Probe', function(state) if probe then probe(state) end end)\n");
    effect = makeEffect();
    helper = &helperOf(*effect);
    std::iota(f.begin(), f.end(), 1.0f);  // f[i] = i + 1: every slot distinct
  }
  std::string run(const std::string& code) { return runLua(*helper, code); }
  // Runs body as the probe on f.
  std::vector<float> frame(const std::string& body) {
    EXPECT_EQ(run("probe = function(state) " + body + " end"), "");
    helper->RunSpectralScript(1, f.data(), kN);
    return f;
  }
  static std::vector<float> fresh() {
    std::vector<float> v(kN);
    std::iota(v.begin(), v.end(), 1.0f);
    return v;
  }
};

// Each body runs on a fresh frame f[i] = i + 1 (bin k's real part at k, its
// imaginary part at 16 + k, none for bins 0 and 16); the slots it changes.
struct BinCase {
  const char* body;
  std::vector<std::pair<int, float>> changed;
};

const BinCase kBinCases[] = {
    // copyBin into an edge bin drops the imaginary part; out of one gives 0.
    {"copyBin(3, 0)", {{0, 4}}},
    {"copyBin(0, 3)", {{3, 1}, {kMaxBin + 3, 0}}},
    // Bins outside the frame read as zero and ignore writes.
    {"copyBin(-1, 5)", {{5, 0}, {kMaxBin + 5, 0}}},
    {"copyBin(5, -1) copyBin(5, 17) setBin(17, 1, 1) zeroBin(-2) multiplyBin(99, 0) "
     "swapBins(3, 40)",
     {{3, 0}, {kMaxBin + 3, 0}}},
    // setBin on an edge bin sets only the real part.
    {"setBin(0, 1, 5)", {{0, 1}}},
    {"setBin(16, -3, 5)", {{kMaxBin, -3}}},
    // Arguments convert like Lua numbers and truncate: 'x' is bin 0, 2.9 is
    // bin 2, -0.5 is bin 0, "1" is bin 1; a factor that is no number is 0.
    {"zeroBin('x') zeroBin(2.9) zeroBin(-0.5) zeroBin('1')",
     {{0, 0}, {2, 0}, {kMaxBin + 2, 0}, {1, 0}, {kMaxBin + 1, 0}}},
    {"multiplyBin(4, '0.5') multiplyBin(5, {})",
     {{4, 2.5f}, {kMaxBin + 4, 10.5f}, {5, 0}, {kMaxBin + 5, 0}}},
    // Multiply and swap respect missing imaginary parts.
    {"multiplyBin(0, 2) multiplyBin(16, 3) swapBins(1, 15)",
     {{0, 2}, {kMaxBin, 51}, {1, 16}, {15, 2}, {kMaxBin + 1, 32}, {kMaxBin + 15, 18}}},
    {"swapBins(1, 16)", {{1, 17}, {kMaxBin + 1, 0}, {kMaxBin, 2}}},
};

TEST_F(SpectralRun, BinFunctionsFollowTheAddressing) {
  for (const BinCase& c : kBinCases) {
    std::vector<float> want = fresh();
    for (const auto& [slot, value] : c.changed) want[static_cast<size_t>(slot)] = value;
    f = fresh();
    EXPECT_EQ(frame(c.body), want) << c.body;
  }
}

TEST_F(SpectralRun, GetBinAndMagnitudeReadTheFrame) {
  frame("r16, i16 = getBin(16) r1, i1 = getBin(1) ro, io = getBin(17) m1 = getBinMagnitudeSqr(1)");
  EXPECT_EQ(luaString(*helper, "table.concat({r16, i16, r1, i1, ro, io, m1}, ' ')"),
            "17 0 2 18 0 0 328");
}

TEST_F(SpectralRun, TheStateTableCarriesTheScriptedParametersAndMaxBin) {
  effect->setParameterPlain(kParamScripted1, -37.0f, false);
  effect->setParameterPlain(kParamScripted2, 0.25f, false);
  effect->setParameterPlain(kParamScripted3, 0.5f, false);
  effect->setParameterPlain(kParamScripted4, 0.75f, false);
  frame(
      "seen = {state.param1, state.param2, state.param3, state.param4, state.maxBin} "
      "state.param1 = 99");
  EXPECT_EQ(luaString(*helper, "table.concat(seen, ' ')"), "-37 0.25 0.5 0.75 16");
  frame("again = state.param1");
  EXPECT_EQ(luaNumber(*helper, "again"), -37.0);
  std::vector<float> big(4096);
  helper->RunSpectralScript(1, big.data(), 4096);
  EXPECT_EQ(luaNumber(*helper, "again"), -37.0);
  EXPECT_EQ(luaNumber(*helper, "seen[5]"), 16.0);
}

TEST_F(SpectralRun, OffAndIndicesBeyondTheListRunNothing) {
  ASSERT_EQ(run("runs = 0 probe = function() runs = runs + 1 end"), "");
  helper->RunSpectralScript(0, f.data(), kN);
  helper->RunSpectralScript(-1, f.data(), kN);
  helper->RunSpectralScript(2, f.data(), kN);
  helper->RunSpectralScript(1000, f.data(), kN);
  EXPECT_EQ(luaNumber(*helper, "runs"), 0.0);
  helper->RunSpectralScript(1, f.data(), kN);
  EXPECT_EQ(luaNumber(*helper, "runs"), 1.0);
}

TEST_F(SpectralRun, AnErrorKeepsWhatWasWrittenAndLeavesTheStackAsItWas) {
  lua_State* L = helper->GetLuaState();
  const int top = lua_gettop(L);
  std::vector<float> want = fresh();
  want[1] = 7.0f;
  want[kMaxBin + 1] = 8.0f;
  EXPECT_EQ(frame("setBin(1, 7, 8) error('mid-frame') setBin(2, 9, 9)"), want);
  EXPECT_EQ(lua_gettop(L), top);
  // The next frame runs the script again.
  f = fresh();
  EXPECT_EQ(frame("setBin(1, 7, 8) error('mid-frame') setBin(2, 9, 9)"), want);
}

TEST_F(SpectralRun, BinFunctionsOutsideARunTouchNothing) {
  frame("");  // one run, so a stale frame pointer would have something to hit
  const std::vector<float> before = f;
  EXPECT_EQ(run("setBin(1, 5, 5) zeroBin(2) copyBin(3, 4) multiplyBin(5, 0) swapBins(6, 7) "
                "r, i = getBin(3) m = getBinMagnitudeSqr(3)"),
            "");
  EXPECT_EQ(luaNumber(*helper, "r + i + m"), 0.0);
  ASSERT_EQ(run("requestAllCC(function() setBin(1, 5, 5) zeroBin(1) end)"), "");
  helper->HandleMessage(midi(0xB0, 0, 20, 1));
  EXPECT_EQ(f, before);
}

TEST_F(SpectralRun, AddSpectralScriptChecksItsArguments) {
  EXPECT_EQ(run("addSpectralScript(nil, function() end)"),
            "bad argument #1 to 'addSpectralScript' (string expected, got nil)");
  EXPECT_EQ(run("addSpectralScript({}, function() end)"),
            "bad argument #1 to 'addSpectralScript' (string expected, got table)");
  EXPECT_EQ(run("addSpectralScript('x', 5)"),
            "second argument to addSpectralScript() is not a function");
  EXPECT_EQ(run("addSpectralScript('x')"),
            "second argument to addSpectralScript() is not a function");
  ASSERT_EQ(effect->spectralScripts().size(), 2u);  // "Off", "Probe": nothing added
  EXPECT_EQ(run("addSpectralScript(12, function() end)"), "");
  EXPECT_EQ(effect->spectralScripts().back().name, "12");
}

std::vector<std::string> scriptIndexNames(QwkTonalmire& effect) {
  CFArray* names = nullptr;
  std::vector<std::string> out;
  if (effect.GetParameterValueStrings(0, kParamScriptIndex, &names) != 0 || !names) return out;
  for (size_t i = 0; i < names->count(); ++i) out.push_back(names->stringAt(i)->c_str());
  names->release();
  return out;
}

TEST(SpectralScriptList, ScriptsInRegistrationOrderAfterOff) {
  const struct {
    const char* midiLua;  // none: the built-in scripts
    std::vector<std::string> names;
    float maxValue;
  } cases[] = {
      {"addSpectralScript('A', print) addSpectralScript('B', print) addSpectralScript('A', print)",
       {"Off", "A", "B", "A"},
       3.0f},
      {"-- registers nothing\n", {"(none)"}, 0.0f},
      {nullptr, {"Off", "Shift", "Reverse", "Low Pass", "High Pass", "Band Pass", "Gate"}, 6.0f},
  };
  for (const auto& c : cases) {
    RecordingHost host;
    std::optional<ScriptsFolder> folder;
    if (c.midiLua) folder.emplace().write("midi.lua", c.midiLua);
    const auto effect = makeEffect();
    EXPECT_EQ(scriptIndexNames(*effect), c.names);
    EXPECT_EQ(effect->parameterTable()[kParamScriptIndex].maxValue, c.maxValue);
    if (c.names.size() > 1) {
      EXPECT_EQ(effect->spectralScripts()[0].reference, 0);
    } else {
      EXPECT_TRUE(effect->spectralScripts().empty());
    }
  }
}

TEST(SpectralScriptList, AWrongCallAbortsOnlyTheScriptThatMadeIt) {
  RecordingHost host;
  ScriptsFolder folder;
  folder.write("midi.lua", "");
  folder.write("a.lua",
               "addSpectralScript('A1', print)\naddSpectralScript('A2', 5)\n"
               "addSpectralScript('A3', print)\n");
  folder.write("b.lua", "addSpectralScript('B1', print)\n");
  ::testing::internal::CaptureStdout();
  const auto effect = makeEffect();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(scriptIndexNames(*effect), (std::vector<std::string>{"Off", "A1", "B1"}));
  EXPECT_EQ(out, "@@@ failed to run file: " + folder.path() +
                     "/a.lua:2: second argument to addSpectralScript() is not a function\n");
}

}  // namespace
