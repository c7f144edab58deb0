// Spectral scripts: the bin functions on a frame, the state table, the
// script list, and what errors and runaways leave behind.
#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <vector>

#include "ScriptTestSupport.h"
#include "core/CFTypes.h"

using namespace scripting_test;

namespace {

constexpr int kN = 32;
constexpr int kMaxBin = kN / 2;

std::vector<float> fresh() {  // f[i] = i + 1: every slot distinct
  std::vector<float> v(kN);
  std::iota(v.begin(), v.end(), 1.0f);
  return v;
}

// One spectral script, "Probe", that runs whatever the test puts in the
// global `probe`; the built-in script is replaced so it is entry 1.
struct SpectralRun : ::testing::Test {
  void SetUp() override {
    folder.write("midi.lua",
                 "addSpectralScript('Probe', function(state) if probe then probe(state) end end)");
    effect = makeEffect();
    helper = &helperOf(*effect);
  }
  std::string run(const std::string& code) { return runLua(*helper, code); }
  // Runs body as the probe on f.
  std::vector<float> frame(const std::string& body) {
    EXPECT_EQ(run("probe = function(state) " + body + " end"), "");
    helper->RunSpectralScript(1, f.data(), kN);
    return f;
  }

  RecordingHost host;
  ScriptsFolder folder;
  std::unique_ptr<QwkTonalmire> effect;
  QwkTonalmire::BrvkLuaMIDIHelper* helper = nullptr;
  std::vector<float> f = fresh();
};

// Bin k's real part is at k, its imaginary part at 16 + k, none for bins 0
// and 16. Each body runs on a fresh frame; the slots it changes.
TEST_F(SpectralRun, BinFunctionsFollowTheAddressing) {
  const struct {
    const char* body;
    std::vector<std::pair<int, float>> changed;
  } cases[] = {
      // copyBin into an edge bin drops the imaginary part; out of one gives 0.
      {"copyBin(3, 0)", {{0, 4}}},
      {"copyBin(0, 3)", {{3, 1}, {kMaxBin + 3, 0}}},
      // Bins outside the frame read as zero and ignore writes.
      {"copyBin(-1, 5)", {{5, 0}, {kMaxBin + 5, 0}}},
      {"copyBin(5, -1) copyBin(5, 17) setBin(17, 1, 1) zeroBin(-2) multiplyBin(99, 0) "
       "swapBins(3, 40)",
       {{3, 0}, {kMaxBin + 3, 0}}},
      {"setBin(0, 1, 5)", {{0, 1}}},
      {"setBin(16, -3, 5)", {{kMaxBin, -3}}},
      // Arguments convert like Lua numbers and truncate; a factor that is no
      // number is 0.
      {"zeroBin('x') zeroBin(2.9) zeroBin(-0.5) zeroBin('1')",
       {{0, 0}, {2, 0}, {kMaxBin + 2, 0}, {1, 0}, {kMaxBin + 1, 0}}},
      {"multiplyBin(4, '0.5') multiplyBin(5, {})",
       {{4, 2.5f}, {kMaxBin + 4, 10.5f}, {5, 0}, {kMaxBin + 5, 0}}},
      {"multiplyBin(0, 2) multiplyBin(16, 3) swapBins(1, 15)",
       {{0, 2}, {kMaxBin, 51}, {1, 16}, {15, 2}, {kMaxBin + 1, 32}, {kMaxBin + 15, 18}}},
      {"swapBins(1, 16)", {{1, 17}, {kMaxBin + 1, 0}, {kMaxBin, 2}}},
  };
  for (const auto& c : cases) {
    std::vector<float> want = fresh();
    for (const auto& [slot, value] : c.changed) want[static_cast<size_t>(slot)] = value;
    f = fresh();
    EXPECT_EQ(frame(c.body), want) << c.body;
  }
  f = fresh();
  frame("r16, i16 = getBin(16) r1, i1 = getBin(1) ro, io = getBin(17) m1 = getBinMagnitudeSqr(1)");
  EXPECT_EQ(luaString(*helper, "table.concat({r16, i16, r1, i1, ro, io, m1}, ' ')"),
            "17 0 2 18 0 0 328");
}

TEST_F(SpectralRun, TheStateTableCarriesTheScriptedParametersAndMaxBin) {
  for (int p = 0; p < 4; ++p)
    effect->setParameterPlain(kParamScripted1 + p, p == 0 ? -37.0f : p * 0.25f, false);
  frame(
      "seen = {state.param1, state.param2, state.param3, state.param4, state.maxBin} "
      "state.param1 = 99");
  EXPECT_EQ(luaString(*helper, "table.concat(seen, ' ')"), "-37 0.25 0.5 0.75 16");
  std::vector<float> big(4096);
  helper->RunSpectralScript(1, big.data(), 4096);
  EXPECT_EQ(luaString(*helper, "table.concat(seen, ' ')"), "-37 0.25 0.5 0.75 2048");
  // "Off" and indices beyond the list run nothing.
  for (int index : {0, -1, 2, 1000}) helper->RunSpectralScript(index, f.data(), kN);
  EXPECT_EQ(luaNumber(*helper, "seen[5]"), 2048.0);
}

TEST_F(SpectralRun, AnErrorKeepsWhatWasWrittenAndLeavesTheStackAsItWas) {
  const int top = lua_gettop(helper->GetLuaState());
  std::vector<float> want = fresh();
  want[1] = 7.0f;
  want[kMaxBin + 1] = 8.0f;
  for (int pass = 0; pass < 2; ++pass) {  // the next frame runs the script again
    f = fresh();
    EXPECT_EQ(frame("setBin(1, 7, 8) error('mid-frame') setBin(2, 9, 9)"), want);
  }
  EXPECT_EQ(lua_gettop(helper->GetLuaState()), top);
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
    std::optional<std::string> midiLua;  // none: the built-in scripts
    std::vector<std::string> names;
  } cases[] = {
      {"addSpectralScript('A', print) addSpectralScript('B', print) addSpectralScript('A', print)",
       {"Off", "A", "B", "A"}},
      {"-- registers nothing\n", {"(none)"}},
      {std::nullopt, {"Off", "Shift", "Reverse", "Low Pass", "High Pass", "Band Pass", "Gate"}},
  };
  for (const auto& c : cases) {
    RecordingHost host;
    std::optional<ScriptsFolder> folder;
    if (c.midiLua) folder.emplace().write("midi.lua", *c.midiLua);
    const auto effect = makeEffect();
    EXPECT_EQ(scriptIndexNames(*effect), c.names);
    const float maxValue = c.names.size() > 1 ? static_cast<float>(c.names.size() - 1) : 0.0f;
    EXPECT_EQ(effect->parameterTable()[kParamScriptIndex].maxValue, maxValue);
  }
}

// A script that adds scripts during its own run (the list moves) and then
// runs away is still named in the abort line, written after the move.
TEST(SpectralScriptList, ARunawayThatAddedScriptsIsReportedUnderItsOwnName) {
  RecordingHost host;
  ScriptsFolder folder;
  folder.write("midi.lua",
               "addSpectralScript('Probe', function(state)\n"
               "  for i = 1, 40 do addSpectralScript('Added' .. i, function() end) end\n"
               "  while true do end\n"
               "end)\n");
  auto effect = makeEffect();
  std::vector<float> frame(32, 1.0f);
  testing::internal::CaptureStdout();
  helperOf(*effect).RunSpectralScript(1, frame.data(), 32);
  effect.reset();  // writes the lines parked during the spectral run
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("spectral script \"Probe\" stopped after"), std::string::npos) << out;
}

}  // namespace
