// MIDI messages to the scripts' callbacks, the built-in script's controller
// map, and audio that never waits for another thread's use of Lua.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <future>
#include <set>
#include <string>
#include <vector>

#include "ScriptTestSupport.h"

using namespace scripting_test;

namespace {

struct DispatchCase {
  const char* what;
  const char* registrations;
  std::vector<std::array<uint8_t, 4>> messages;  // status, channel, data 1, data 2
  const char* log;
};

const DispatchCase kDispatchCases[] = {
    {"each status reaches its callbacks, channels count from 1",
     "requestAllNoteOn(record('on')) requestAllNoteOff(record('off')) "
     "requestAllPolyPressure(record('poly')) requestAllCC(record('cc')) "
     "requestAllProgramChange(record('pc')) requestChannelPressure(record('cp')) "
     "requestPitchWheel(record('pw'))",
     {{0x90, 0, 60, 100},
      {0x80, 15, 61, 5},
      {0xA0, 2, 62, 7},
      {0xB0, 3, 20, 9},
      {0xC0, 4, 11, 0},
      {0xD0, 5, 33, 0},
      {0xE0, 6, 1, 2}},
     "on(1,60,100) off(16,61,5) poly(3,62,7) cc(4,20,9) pc(5,11) cp(6,33) pw(7,257)"},
    {"a note-on with velocity 0 is a note-off",
     "requestAllNoteOn(record('on')) requestAllNoteOff(record('off'))",
     {{0x90, 0, 64, 0}},
     "off(1,64,0)"},
    {"the pitch wheel combines MSB and LSB",
     "requestPitchWheel(record('pw'))",
     {{0xE0, 0, 0, 64}, {0xE0, 0, 127, 127}, {0xE0, 0, 0, 0}},
     "pw(1,8192) pw(1,16383) pw(1,0)"},
    {"all-lists come before keyed maps whatever the registration order",
     "requestCC(7, record('key7')) requestAllCC(record('all')) requestCC(8, record('key8')) "
     "requestCC(7, record('key7b'))",
     {{0xB0, 0, 7, 1}},
     "all(1,7,1) key7(1,7,1) key7b(1,7,1)"},
    {"keyed maps match the exact key only",
     "requestNoteOn(60, record('n60')) requestNoteOff(60, record('f60')) "
     "requestProgramChange(3, record('p3')) requestPolyPressure(61, record('a61'))",
     {{0x90, 0, 61, 1},
      {0x90, 0, 60, 1},
      {0x80, 0, 60, 1},
      {0xC0, 0, 4, 0},
      {0xC0, 0, 3, 0},
      {0xA0, 0, 61, 9}},
     "n60(1,60,1) f60(1,60,1) p3(1,3) a61(1,61,9)"},
    {"an NRPN is assembled from data entry with the stored number",
     "requestAllNRPN(record('nrpn')) requestNRPN(130, record('n130')) requestAllCC(record('cc'))",
     {{0xB0, 0, 99, 1}, {0xB0, 0, 98, 2}, {0xB0, 0, 6, 3}, {0xB0, 0, 38, 4}},
     "cc(1,99,1) cc(1,98,2) nrpn(1,130,384) n130(1,130,384) cc(1,6,3) nrpn(1,130,388) "
     "n130(1,130,388) cc(1,38,4)"},
    // Channel 10's LSB reuses number 2*128+3 and the (zero) data MSB.
    {"the NRPN state is shared by all channels and never reset",
     "requestAllNRPN(record('nrpn'))",
     {{0xB0, 0, 99, 2}, {0xB0, 5, 98, 3}, {0xB0, 9, 38, 7}, {0xB0, 1, 6, 1}},
     "nrpn(10,259,7) nrpn(2,259,135)"},
    {"a failing callback does not stop the others",
     "requestAllCC(record('first')) requestAllCC(function() error('boom') end) "
     "requestAllCC(function() local x = nil; return x.field end) "
     "requestCC(5, function() error({}) end) requestCC(5, record('last'))",
     {{0xB0, 0, 5, 1}, {0xB0, 0, 5, 2}},
     "first(1,5,1) last(1,5,1) first(1,5,2) last(1,5,2)"},
    {"a callback added during a walk is reached in the same walk",
     "requestAllCC(function(...) record('a')(...) if not added then added = true "
     "requestAllCC(record('b')) requestCC(9, record('k')) end end)",
     {{0xB0, 0, 9, 1}},
     "a(1,9,1) b(1,9,1) k(1,9,1)"},
};

// The built-in script is replaced by a user midi.lua, so only each case's
// callbacks are registered.
TEST(Dispatch, MessagesReachTheirCallbacks) {
  for (const DispatchCase& c : kDispatchCases) {
    SCOPED_TRACE(c.what);
    RecordingHost host;
    ScriptsFolder folder;
    folder.write("midi.lua",
                 "log = {}\n"
                 "function record(tag) return function(...) "
                 "  log[#log + 1] = tag .. '(' .. table.concat({...}, ',') .. ')' end end\n");
    const auto effect = makeEffect();
    QwkTonalmire::BrvkLuaMIDIHelper& helper = helperOf(*effect);
    ASSERT_EQ(runLua(helper, c.registrations), "");
    for (const auto& m : c.messages) helper.HandleMessage(midi(m[0], m[1], m[2], m[3]));
    EXPECT_EQ(luaString(helper, "table.concat(log, ' ')"), c.log);
  }
}

// The plain value controller value `value` gives parameter `row`.
double expectedPlain(const ParamSpec& row, int value) {
  const double lo = row.minValue, hi = row.maxValue;
  double x = value * (1.0 / 127);
  if (lo < 0 && hi > 0) x = value <= 64 ? value * (1.0 / 128) : 0.5 + (value - 64) * 0.5 / 63;
  switch (row.unit) {
    case 8:
      return lo * std::pow(hi / lo, x);
    case 23:
      return value + 1;
    case 2:
      return x > 0 ? 1 : 0;
    case 1:
      return std::floor(lo + (hi - lo) * x + 0.5);
    default:
      return lo + (hi - lo) * x;
  }
}

// Every parameter below "Bin 0 Level" takes a controller from 0 up, skipping
// some; the others change nothing.
TEST(BuiltInControllerMap, EveryParameterBelowTheBinsGetsItsControllerAndScaling) {
  RecordingHost host;
  const auto effect = makeEffect();
  // The expected plain values are stored in a second instance, so the
  // comparison is exact whatever the stored form of a unit.
  const auto reference = makeEffect();
  QwkTonalmire::BrvkLuaMIDIHelper& helper = helperOf(*effect);
  const std::set<int> skipped = {1, 7, 10, 64, 99, 98, 6, 38};
  int cc = 0;
  for (int index = 0; index < kParamBin0Level; ++index, ++cc) {
    while (skipped.count(cc)) ++cc;
    const ParamSpec& row = effect->parameterTable()[index];
    for (int value : {0, 1, 63, 64, 65, 127}) {
      // A different starting value, so that a missed controller shows.
      effect->setParameterPlain(index, value == 127 ? row.minValue : row.maxValue, false);
      helper.HandleMessage(midi(0xB0, 3, static_cast<uint8_t>(cc), static_cast<uint8_t>(value)));
      reference->setParameterPlain(index, static_cast<float>(expectedPlain(row, value)), false);
      EXPECT_EQ(effect->getParameterPlain(index), reference->getParameterPlain(index))
          << row.name << " controller " << cc << " value " << value;
    }
  }
  EXPECT_EQ(cc, 36);
  std::vector<float> before;
  for (int i = 0; i < kParamCount; ++i) before.push_back(effect->getParameterPlain(i));
  for (int unmapped : {1, 7, 10, 64, 38, 99, 98, 6, 38, 40, 100, 127})
    helper.HandleMessage(midi(0xB0, 0, static_cast<uint8_t>(unmapped), 100));
  for (int i = 0; i < kParamCount; ++i) EXPECT_EQ(effect->getParameterPlain(i), before[i]) << i;
}

// While another thread is in Lua, audio runs without the spectral script
// and keeps the MIDI for a later block instead of waiting.
TEST(AudioThread, NeverWaitsForTheLuaLock) {
  RecordingHost host;
  const auto effect = makeEffect();
  effect->setParameterPlain(kParamScriptIndex, 1.0f, false);  // "Shift"
  vst::VstMidiEvent controller{};
  controller.type = vst::kVstMidiType;
  controller.byteSize = sizeof controller;
  controller.midiData[0] = static_cast<char>(0xB0);
  controller.midiData[1] = 2;  // "Dry Level" in the built-in map
  controller.midiData[2] = 127;
  vst::VstEvents events{1, 0, {reinterpret_cast<vst::VstEvent*>(&controller), nullptr}};
  std::vector<float> in(2048, 0.1f), out(2048);
  float* inputs[2] = {in.data(), in.data()};
  float* outputs[2] = {out.data(), out.data()};
  QW::LuaMIDIHelper& lua = *effect->luaHelper();
  std::future<void> audio;  // outlives the lock, so a waiting audio thread ends
  {
    std::lock_guard<std::recursive_mutex> busy(lua.LuaLock());
    audio = std::async(std::launch::async, [&] {
      effect->processEvents(&events);
      for (int block = 0; block < 4; ++block) effect->processReplacing(inputs, outputs, 2048);
    });
    EXPECT_EQ(audio.wait_for(std::chrono::seconds(5)), std::future_status::ready)
        << "the audio thread waited for the Lua lock";
    EXPECT_GT(lua.SkippedSpectralRuns(), 0u);
    EXPECT_EQ(lua.DeferredMessageCount(), 1u);
    EXPECT_EQ(effect->getParameterPlain(kParamDryLevel), 0.0f);  // not yet
  }
  audio.wait();
  effect->processReplacing(inputs, outputs, 256);
  EXPECT_EQ(effect->getParameterPlain(kParamDryLevel), 1.0f);  // the kept controller
  EXPECT_EQ(lua.DroppedMessageCount(), 0u);
}

}  // namespace
