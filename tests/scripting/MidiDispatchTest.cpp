#include <gtest/gtest.h>

#include <string>

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

TEST_F(Dispatch, EachStatusReachesItsCallbacksWithChannelFromOne) {
  ASSERT_EQ(run("requestAllNoteOn(record('on')) requestAllNoteOff(record('off')) "
                "requestAllPolyPressure(record('poly')) requestAllCC(record('cc')) "
                "requestAllProgramChange(record('pc')) requestChannelPressure(record('cp')) "
                "requestPitchWheel(record('pw'))"),
            "");
  send(0x90, 0, 60, 100);
  send(0x80, 15, 61, 5);
  send(0xA0, 2, 62, 7);
  send(0xB0, 3, 20, 9);
  send(0xC0, 4, 11);
  send(0xD0, 5, 33);
  send(0xE0, 6, 1, 2);
  EXPECT_EQ(log(), "on(1,60,100) off(16,61,5) poly(3,62,7) cc(4,20,9) pc(5,11) cp(6,33) pw(7,257)");
}

TEST_F(Dispatch, NoteOnWithVelocityZeroIsANoteOff) {
  ASSERT_EQ(run("requestAllNoteOn(record('on')) requestAllNoteOff(record('off'))"), "");
  send(0x90, 0, 64, 0);
  EXPECT_EQ(log(), "off(1,64,0)");
}

TEST_F(Dispatch, PitchWheelCombinesMsbAndLsb) {
  ASSERT_EQ(run("requestPitchWheel(record('pw'))"), "");
  send(0xE0, 0, 0, 64);
  send(0xE0, 0, 127, 127);
  send(0xE0, 0, 0, 0);
  EXPECT_EQ(log(), "pw(1,8192) pw(1,16383) pw(1,0)");
}

TEST_F(Dispatch, AllListsComeBeforeKeyedMapsWhateverTheRegistrationOrder) {
  ASSERT_EQ(run("requestCC(7, record('key7')) requestAllCC(record('all')) "
                "requestCC(8, record('key8')) requestCC(7, record('key7b'))"),
            "");
  send(0xB0, 0, 7, 1);
  EXPECT_EQ(log(), "all(1,7,1) key7(1,7,1) key7b(1,7,1)");
}

TEST_F(Dispatch, KeyedMapsMatchTheExactKeyOnly) {
  ASSERT_EQ(run("requestNoteOn(60, record('n60')) requestNoteOff(60, record('f60')) "
                "requestProgramChange(3, record('p3')) requestPolyPressure(61, record('a61'))"),
            "");
  send(0x90, 0, 61, 1);
  send(0x90, 0, 60, 1);
  send(0x80, 0, 60, 1);
  send(0xC0, 0, 4);
  send(0xC0, 0, 3);
  send(0xA0, 0, 61, 9);
  EXPECT_EQ(log(), "n60(1,60,1) f60(1,60,1) p3(1,3) a61(1,61,9)");
}

TEST_F(Dispatch, NrpnIsAssembledFromDataEntryWithTheStoredNumber) {
  ASSERT_EQ(run("requestAllNRPN(record('nrpn')) requestNRPN(130, record('n130')) "
                "requestAllCC(record('cc'))"),
            "");
  send(0xB0, 0, 99, 1);
  send(0xB0, 0, 98, 2);
  send(0xB0, 0, 6, 3);
  send(0xB0, 0, 38, 4);
  EXPECT_EQ(log(),
            "cc(1,99,1) cc(1,98,2) nrpn(1,130,384) n130(1,130,384) cc(1,6,3) "
            "nrpn(1,130,388) n130(1,130,388) cc(1,38,4)");
}

TEST_F(Dispatch, NrpnStateIsSharedByAllChannelsAndNeverReset) {
  ASSERT_EQ(run("requestAllNRPN(record('nrpn'))"), "");
  send(0xB0, 0, 99, 2);
  send(0xB0, 5, 98, 3);
  send(0xB0, 9, 38, 7);  // reuses number 2*128+3 and the (zero) data MSB
  send(0xB0, 1, 6, 1);
  EXPECT_EQ(log(), "nrpn(10,259,7) nrpn(2,259,135)");
}

TEST_F(Dispatch, AFailingCallbackDoesNotStopTheOthers) {
  ASSERT_EQ(run("requestAllCC(record('first')) requestAllCC(function() error('boom') end) "
                "requestAllCC(function() local x = nil; return x.field end) "
                "requestCC(5, function() error({}) end) requestCC(5, record('last'))"),
            "");
  send(0xB0, 0, 5, 1);
  send(0xB0, 0, 5, 2);
  EXPECT_EQ(log(), "first(1,5,1) last(1,5,1) first(1,5,2) last(1,5,2)");
}

TEST_F(Dispatch, ACallbackAddedDuringAWalkIsReachedInTheSameWalk) {
  ASSERT_EQ(run("requestAllCC(function(...) record('a')(...) "
                "  if not added then added = true requestAllCC(record('b')) "
                "  requestCC(9, record('k')) end end)"),
            "");
  send(0xB0, 0, 9, 1);
  EXPECT_EQ(log(), "a(1,9,1) b(1,9,1) k(1,9,1)");
}

TEST_F(Dispatch, OtherItemTypesAndStatusesAreIgnored) {
  ASSERT_EQ(run("requestAllCC(record('cc')) requestAllNoteOn(record('on'))"), "");
  QW::MessageQueueItem sysex = midi(0xB0, 0, 1, 1);
  sysex.type = QW::MessageQueueItem::kSysEx;
  helper->HandleMessage(sysex);
  send(0xF0, 0, 1, 1);
  send(0x00, 0, 1, 1);
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
