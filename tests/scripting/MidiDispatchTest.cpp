#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScriptTestSupport.h"

using namespace scripting_test;

namespace {

// The built-in script is replaced by an empty user midi.lua so that only
// the test's own callbacks are registered.
struct Dispatch : ::testing::Test {
  RecordingHost host;
  ScriptsFolder folder;
  std::unique_ptr<QwkTonalmire> effect;
  QwkTonalmire::BrvkLuaMIDIHelper* helper = nullptr;

  void SetUp() override {
    folder.write("midi.lua",
                 "log = {}\n"
                 "function record(tag) return function(...) "
                 "  log[#log + 1] = tag .. '(' .. table.concat({...}, ',') .. ')' end end\n");
    effect = makeEffect();
    helper = &helperOf(*effect);
  }
  std::string run(const std::string& code) { return runLua(*helper, code); }
  std::string log() { return luaString(*helper, "table.concat(log, ' ')"); }
  void send(uint8_t status, uint8_t channel, uint8_t d1, uint8_t d2 = 0) {
    helper->HandleMessage(midi(status, channel, d1, d2));
  }
};

struct Message {
  uint8_t status, channel, d1, d2;
};

struct DispatchCase {
  const char* what;
  const char* registrations;
  std::vector<Message> messages;
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
    {"other statuses are ignored",
     "requestAllCC(record('cc')) requestAllNoteOn(record('on'))",
     {{0xF0, 0, 1, 1}, {0x00, 0, 1, 1}},
     ""},
};

TEST_F(Dispatch, MessagesReachTheirCallbacks) {
  for (const DispatchCase& c : kDispatchCases) {
    SCOPED_TRACE(c.what);
    effect.reset();  // a fresh effect: no callbacks, no NRPN state
    SetUp();
    ASSERT_EQ(run(c.registrations), "");
    for (const Message& m : c.messages) send(m.status, m.channel, m.d1, m.d2);
    EXPECT_EQ(log(), c.log);
  }
}

TEST_F(Dispatch, OtherItemTypesAreIgnored) {
  ASSERT_EQ(run("requestAllCC(record('cc')) requestAllNoteOn(record('on'))"), "");
  QW::MessageQueueItem sysex = midi(0xB0, 0, 1, 1);
  sysex.type = QW::MessageQueueItem::kSysEx;
  helper->HandleMessage(sysex);
  EXPECT_EQ(log(), "");
}

TEST_F(Dispatch, TenThousandCallbacksAllRun) {
  ASSERT_EQ(run("count = 0 for i = 1, 10000 do requestAllCC(function() count = count + 1 end) end"),
            "");
  send(0xB0, 0, 20, 1);
  EXPECT_EQ(luaNumber(*helper, "count"), 10000.0);
}

TEST_F(Dispatch, MessagesThroughTheEffectReachTheScripts) {
  ASSERT_EQ(run("requestAllNoteOn(record('on'))"), "");
  effect->messageQueue()->Write(0x90, 2, 70, 90, 0);
  while (QW::MessageQueueItem* item = effect->messageQueue()->Next()) helper->HandleMessage(*item);
  EXPECT_EQ(log(), "on(3,70,90)");
}

}  // namespace
