// The shipped plug-in through its host interface alone: what it tells the
// host, its audio, MIDI controllers and the host API its user scripts see.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/so/PluginLoader.h"

namespace {

constexpr int32_t kDryLevel = 1;
constexpr int32_t kFftSize = 3;

class PluginSo : public ::testing::Test {
 protected:
  void SetUp() override {
    // Neither the user's scripts nor the user's settings.
    char pattern[] = "/tmp/veldrana-so-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
    for (const char* name : {"VELDRANA_SCRIPTS_DIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
      setenv(name, folder.c_str(), 1);
    writeScripts();
    hostLog().clear();
    effect = make();
    ASSERT_NE(effect, nullptr);
  }
  void TearDown() override {
    for (vst::AEffect* e : made) EXPECT_EQ(dispatch(e, vst::effClose), 1);
    std::system(("rm -rf '" + folder + "'").c_str());
  }
  virtual void writeScripts() {}

  vst::AEffect* make() {
    vst::AEffect* e = library.entry()(recordingHost);
    if (e) made.push_back(e);
    return e;
  }
  std::string text(int32_t opcode, int32_t index = 0) {
    char buffer[256] = {};
    dispatch(effect, opcode, index, 0, buffer);
    return buffer;
  }
  void setFftSize(int k) { effect->setParameter(effect, kFftSize, static_cast<float>(k) / 7.0f); }
  // Controllers (status 0xB0) at their positions, then a block of constant input.
  std::vector<float> play(std::initializer_list<std::array<int, 3>> controllers, int32_t frames,
                          float input = 0.5f) {
    MidiList midi;
    for (const auto& [number, value, delta] : controllers)
      midi.add(0xB0, static_cast<uint8_t>(number), static_cast<uint8_t>(value), delta);
    dispatch(effect, vst::effProcessEvents, 0, 0, midi.list());
    const std::vector<float> in(static_cast<size_t>(frames), input);
    return process(effect, in.data(), frames);
  }

  PluginLibrary library;
  std::string folder;
  std::vector<vst::AEffect*> made;
  vst::AEffect* effect = nullptr;
};

TEST_F(PluginSo, DescribesItselfToTheHost) {
  EXPECT_EQ(std::vector<intptr_t>({effect->magic, effect->uniqueID, effect->numParams,
                                   effect->numPrograms, effect->numInputs, effect->numOutputs,
                                   effect->flags, effect->initialDelay, effect->version}),
            std::vector<intptr_t>(
                {vst::kEffectMagic, vst::fourCC('Q', 'W', 'v', 'd'), 2081, 1, 2, 2, 57, 1024, 1}));
  EXPECT_EQ(effect->ioRatio, 1.0f);
  const struct {
    int32_t opcode, index;
    const char* text;
  } texts[] = {
      {vst::effGetEffectName, 0, "Veldrana"},    {vst::effGetVendorString, 0, "Quillworks"},
      {vst::effGetProductString, 0, "Veldrana"}, {vst::effGetParamName, 2080, "Bin 2048 Level"},
      {vst::effGetParamDisplay, 3, "1024"},      {vst::effGetParamDisplay, 11, "0.000"},
      {vst::effGetParamLabel, 11, "dB"}};
  for (const auto& t : texts) EXPECT_EQ(text(t.opcode, t.index), t.text) << t.opcode;
  EXPECT_EQ(dispatch(effect, vst::effGetVendorVersion), 65541);
  EXPECT_EQ(dispatch(effect, vst::effGetVstVersion), 2400);
  char midi[] = "receiveVstMidiEvent";
  EXPECT_EQ(dispatch(effect, vst::effCanDo, 0, 0, midi), 1);
}

TEST_F(PluginSo, HostileCallsAreRefusedOrSurvived) {
  for (int32_t index : {-1, 2081, 1000000}) {
    effect->setParameter(effect, index, 0.5f);
    EXPECT_EQ(effect->getParameter(effect, index), 0.0f);
    EXPECT_EQ(text(vst::effGetParamName, index), "");
    EXPECT_EQ(text(vst::effGetParamDisplay, index), "");
    EXPECT_EQ(dispatch(effect, vst::effGetParamDisplay, index, 0, nullptr), 0);
  }
  EXPECT_EQ(dispatch(effect, vst::effGetChunk, 0, 0, nullptr), 0);
  EXPECT_EQ(dispatch(effect, vst::effSetChunk, 0, 0, nullptr), 1);
  EXPECT_EQ(dispatch(effect, vst::effProcessEvents, 0, 0, nullptr), 0);
  EXPECT_EQ(dispatch(effect, 12345), 0);
  float* none[2] = {nullptr, nullptr};
  effect->processReplacing(effect, none, none, 64);
  effect->processReplacing(effect, nullptr, nullptr, 64);
  // A host that gives no version is refused.
  EXPECT_EQ(library.entry()(+[](vst::AEffect*, int32_t, int32_t, intptr_t, void*, float) {
    return intptr_t{0};
  }),
            nullptr);
  EXPECT_EQ(library.entry()(nullptr), nullptr);
}

// Controllers of the built-in map: 2 "Dry Level", 3 "Wet Level", 4 "FFT Size".
// The host hears of each latency change once, and of each controller.
TEST_F(PluginSo, TheHostAndControllersSetParametersAtTheirPositions) {
  dispatch(effect, vst::effOpen);
  resume(effect);
  EXPECT_GE(hostLog().count(vst::audioMasterWantMidi), 1);
  setFftSize(6);
  setFftSize(6);
  EXPECT_EQ(effect->initialDelay, 2048);
  EXPECT_EQ(hostLog().count(vst::audioMasterIOChanged), 1);
  EXPECT_NEAR(effect->getParameter(effect, kFftSize), 6.0f / 7.0f, 1e-6f);
  play({{2, 127, 10}}, 64);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, kDryLevel), 1.0f);
  EXPECT_EQ(hostLog().count(vst::audioMasterAutomate), 1);
  EXPECT_EQ(hostLog().count(vst::audioMasterAutomate, [](int32_t i) { return i == 1; }), 1);
  // N = 32, wet and dry off; then dry to 1 at sample 100. The dry path is
  // the input delayed by N, so the output steps to the input right there.
  play({{4, 0, 0}, {3, 0, 0}, {2, 0, 0}}, 256);
  ASSERT_EQ(effect->initialDelay, 32);
  EXPECT_EQ(hostLog().count(vst::audioMasterIOChanged), 2);
  const std::vector<float> out = play({{2, 127, 100}}, 256);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(out[i], i < 100 ? 0.0f : 0.5f) << i;
  play({{4, 127, 5}}, 64);
  EXPECT_EQ(effect->initialDelay, 4096);
}

// What a user script gets from the host API at load time, each call in its
// own protected call: the error text, or "ok".
struct Probe {
  const char* code;
  const char* expected;
};
const Probe kProbes[] = {
    // Ids, keys and ports are range-checked before they become 32-bit
    // integers, not wrapped.
    {"setGUIBoolValue(2^32, true)", "indicator id out of range: 4294967296"},
    {"getGUIBoolValue(-2^32)", "indicator id out of range: -4294967296"},
    {"setOthersGUIBoolValue(0, 2^32 + 1, true)", "indicator id out of range: 4294967297"},
    {"setGUIBoolValue(7.9, 1) assert(getGUIBoolValue(7))", "ok"},
    {"requestNoteOn(60 + 2^32, function() end)",
     "bad argument #1 to 'requestNoteOn' (number out of the 32-bit integer range)"},
    {"requestCC(-2^31 - 1, function() end)",
     "bad argument #1 to 'requestCC' (number out of the 32-bit integer range)"},
    {"sendOSC('127.0.0.1:89534', '/x')", "invalid port in sendOSC url: 127.0.0.1:89534"},
    {"sendOSC('127.0.0.1:0', '/x')", "invalid port in sendOSC url: 127.0.0.1:0"},
    {"sendOSC('127.0.0.1:9', '/x', 'i', {2^31})", "integer argument 1 out of range in sendOSC"},
    // Argument errors name the argument the caller gave.
    {"registerOSCPathForParameter('/p', nil)",
     "bad argument #2 to 'registerOSCPathForParameter' (string expected, got nil)"},
    {"registerOSCPathForParameterNormalized('/p', {1, true})",
     "bad argument #2 to 'registerOSCPathForParameterNormalized' (string expected, got boolean)"},
    // Set-up work off the audio thread may take far more than a callback.
    {"local n = 0 for i = 1, 5000000 do n = n + i % 7 end", "ok"},
    // Precompiled chunks are refused by every loader, as by the script loader.
    {"error(select(2, loadstring(string.dump(function() end))), 0)",
     "precompiled chunks are not loaded"},
    {"local s = string.dump(function() end) "
     "error(select(2, load(function() local p = s s = nil return p end)), 0)",
     "precompiled chunks are not loaded"},
    {"assert(loadstring('return 1')() == 1)", "ok"},
};

class ScriptApiSo : public PluginSo {
 protected:
  void writeScripts() override {
    std::string script = "probes = {\n";
    for (const Probe& probe : kProbes) script += "  [==[" + std::string(probe.code) + "]==],\n";
    script +=
        "}\n"
        "for i, code in ipairs(probes) do\n"
        "  local ok, e = pcall(assert(loadstring(code, '=probe')))\n"
        "  e = ok and 'ok' or tostring(e):gsub('^probe:%d+: ', '')\n"
        "  print('probe ' .. i .. ': ' .. e)\n"
        "end\n";
    if (FILE* out = std::fopen((folder + "/probe.lua").c_str(), "wb")) {
      std::fputs(script.c_str(), out);
      std::fclose(out);
    }
    testing::internal::CaptureStderr();
  }
};

TEST_F(ScriptApiSo, BadIdsKeysPortsAndChunksAreRefusedWithTheirArgument) {
  const std::string printed = testing::internal::GetCapturedStderr();
  for (size_t i = 0; i < std::size(kProbes); ++i) {
    const std::string line = "probe " + std::to_string(i + 1) + ": " + kProbes[i].expected + "\n";
    EXPECT_NE(printed.find(line), std::string::npos)
        << kProbes[i].code << "\nwanted: " << line << "in:\n"
        << printed;
  }
}

}  // namespace
