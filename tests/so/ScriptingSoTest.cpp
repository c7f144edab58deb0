// MIDI controllers through the shipped plug-in: the built-in script maps
// them to parameters at their sample positions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/so/PluginLoader.h"

namespace {

struct Calls {
  std::vector<int32_t> automated;  // parameter indices
  int ioChanged = 0;
};
Calls* calls = nullptr;

intptr_t host(vst::AEffect*, int32_t opcode, int32_t index, intptr_t, void*, float) {
  if (opcode == vst::audioMasterVersion) return 2400;
  if (!calls) return 0;
  if (opcode == vst::audioMasterAutomate) calls->automated.push_back(index);
  if (opcode == vst::audioMasterIOChanged) ++calls->ioChanged;
  return opcode == vst::audioMasterIOChanged ? 1 : 0;
}

// Controller events in one host event list.
struct ControllerEvents {
  std::vector<vst::VstMidiEvent> events;
  std::vector<char> storage;
  void add(uint8_t controller, uint8_t value, int32_t delta) {
    vst::VstMidiEvent e{};
    e.type = vst::kVstMidiType;
    e.byteSize = sizeof e;
    e.deltaFrames = delta;
    e.midiData[0] = static_cast<char>(0xB0);
    e.midiData[1] = static_cast<char>(controller);
    e.midiData[2] = static_cast<char>(value);
    events.push_back(e);
  }
  vst::VstEvents* list() {
    storage.assign(sizeof(vst::VstEvents) + events.size() * sizeof(void*), 0);
    auto* l = reinterpret_cast<vst::VstEvents*>(storage.data());
    l->numEvents = static_cast<int32_t>(events.size());
    for (size_t i = 0; i < events.size(); ++i)
      l->events[i] = reinterpret_cast<vst::VstEvent*>(&events[i]);
    return l;
  }
};

class ScriptingSo : public ::testing::Test {
 protected:
  void SetUp() override {
    // No test may see the user's own scripts or settings.
    char pattern[] = "/tmp/veldrana-so-scripts-XXXXXX";
    const char* dir = mkdtemp(pattern);
    ASSERT_NE(dir, nullptr);
    folder_ = dir;
    setenv("VELDRANA_SCRIPTS_DIR", folder_.c_str(), 1);
    setenv("XDG_DATA_HOME", folder_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    writeScripts();
    calls = &log;
    effect = library.entry()(host);
    ASSERT_NE(effect, nullptr);
    dispatch(effect, vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    dispatch(effect, vst::effSetBlockSize, 0, 512);
    dispatch(effect, vst::effMainsChanged, 0, 1);
  }
  void TearDown() override {
    if (effect) dispatch(effect, vst::effClose);
    calls = nullptr;
    unsetenv("VELDRANA_SCRIPTS_DIR");
    for (const std::string& file : files_) unlink(file.c_str());
    rmdir(folder_.c_str());
  }
  // User scripts the effect finds when it is made.
  virtual void writeScripts() {}
  void writeScript(const std::string& name, const std::string& text) {
    const std::string file = folder_ + "/" + name;
    if (FILE* out = std::fopen(file.c_str(), "wb")) {
      std::fwrite(text.data(), 1, text.size(), out);
      std::fclose(out);
      files_.push_back(file);
    }
  }
  // One block of constant input through processReplacing; channel 0 out.
  std::vector<float> process(ControllerEvents& events, int32_t frames, float input = 0.5f) {
    dispatch(effect, vst::effProcessEvents, 0, 0, events.list());
    std::vector<float> in0(frames, input), in1(frames, input), out0(frames), out1(frames);
    float* inputs[] = {in0.data(), in1.data()};
    float* outputs[] = {out0.data(), out1.data()};
    effect->processReplacing(effect, inputs, outputs, frames);
    return out0;
  }

  std::string folder_;
  std::vector<std::string> files_;
  PluginLibrary library;
  Calls log;
  vst::AEffect* effect = nullptr;
};

// Controllers of the built-in map: 2 "Dry Level", 4 "FFT Size".
TEST_F(ScriptingSo, ControllersSetParametersAndAnnounceThem) {
  ControllerEvents events;
  events.add(2, 127, 10);
  log.automated.clear();
  process(events, 64);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 1), 1.0f);
  ASSERT_EQ(log.automated.size(), 1u);
  EXPECT_EQ(log.automated[0], 1);
}

TEST_F(ScriptingSo, FftSizeFromAControllerChangesTheLatency) {
  ASSERT_EQ(effect->initialDelay, 1024);
  ControllerEvents events;
  events.add(4, 0, 0);
  process(events, 64);
  EXPECT_EQ(effect->initialDelay, 32);
  EXPECT_GE(log.ioChanged, 1);
  ControllerEvents more;
  more.add(4, 127, 5);
  process(more, 64);
  EXPECT_EQ(effect->initialDelay, 4096);
}

TEST_F(ScriptingSo, AudioBeforeAControllerUsesTheOldValue) {
  // N = 32 (controller 4 at 0), wet off, dry off; then "Dry Level" goes to
  // 1 at sample 100 of a block. The dry path is the input delayed by N, and
  // the delay line is full of input by then, so the output steps from 0 to
  // the input exactly at the controller's position.
  ControllerEvents setup;
  setup.add(4, 0, 0);
  setup.add(3, 0, 0);
  setup.add(2, 0, 0);
  process(setup, 256);
  ASSERT_EQ(effect->initialDelay, 32);
  ControllerEvents events;
  events.add(2, 127, 100);
  const std::vector<float> out = process(events, 256);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(out[i], 0.0f) << i;
  for (int i = 100; i < 256; ++i) EXPECT_EQ(out[i], 0.5f) << i;
}

// What a user script gets from the host API at load time, each call in
// its own protected call: the error text, or "ok".
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
    // Precompiled chunks are refused by every loader, as by the script
    // loader.
    {"error(select(2, loadstring(string.dump(function() end))), 0)",
     "precompiled chunks are not loaded"},
    {"local s = string.dump(function() end) "
     "error(select(2, load(function() local p = s s = nil return p end)), 0)",
     "precompiled chunks are not loaded"},
    {"assert(loadstring('return 1')() == 1)", "ok"},
};

class ScriptApiSo : public ScriptingSo {
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
    writeScript("probe.lua", script);
    testing::internal::CaptureStderr();
  }
};

TEST_F(ScriptApiSo, BadIdsKeysPortsAndChunksAreRefusedWithTheirArgument) {
  const std::string printed = testing::internal::GetCapturedStderr();
  for (size_t i = 0; i < sizeof kProbes / sizeof kProbes[0]; ++i) {
    const std::string line = "probe " + std::to_string(i + 1) + ": " + kProbes[i].expected + "\n";
    EXPECT_NE(printed.find(line), std::string::npos)
        << kProbes[i].code << "\nwanted: " << line << "in:\n"
        << printed;
  }
}

}  // namespace
