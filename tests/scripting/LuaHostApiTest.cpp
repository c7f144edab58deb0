// The functions the host gives scripts: parameters, indicators, other
// instances and sendOSC.
#include <gtest/gtest.h>

#include <string>

#include "ScriptTestSupport.h"
#include "core/ViewState.h"
#include "scripting/InstanceRegistry.h"
#include "tests/osc/OscTestSupport.h"

using namespace scripting_test;

namespace {

struct HostApi : ::testing::Test {
  std::string run(const std::string& code) { return runLua(helper, code); }
  std::string text(const std::string& expression) { return luaString(helper, expression); }

  RecordingHost host;
  std::unique_ptr<QwkTonalmire> effect = makeEffect();
  QwkTonalmire::BrvkLuaMIDIHelper& helper = helperOf(*effect);
};

// Every call that goes wrong raises this Lua error ("" when it goes right).
TEST_F(HostApi, BadArgumentsRaiseErrorsThatNameThem) {
  const struct {
    const char* call;
    const char* error;
  } cases[] = {
      {"getParameter('fft size')", "parameter not found: 'fft size'"},
      {"setParameter(-1, 0)", "parameter out of range: -1"},
      {"setParameter(2081, 0)", "parameter out of range: 2081"},
      {"getParameterMinMax(1e300)", "parameter out of range: 2147483647"},
      {"assert(getParameter(-0.5) == 0)", ""},  // -0.5 truncates to 0, a valid index
      {"setParameter(11, 'x')", "bad argument #2 to 'setParameter' (number expected, got string)"},
      {"setOthersParameter(42, 'No Such', 1)", "parameter not found: 'No Such'"},
      {"requestAllNoteOn(1)", "first argument to requestAllNoteOn() is not a function"},
      {"requestNoteOn(60, 1)", "second argument to requestNoteOn() is not a function"},
      {"requestCC(7, 'x')", "second argument to requestCC() is not a function"},
      {"requestNRPN(130, {})", "second argument to requestNRPN() is not a function"},
      {"requestPolyPressure(60, 0)", "second argument to requestPolyPressure() is not a function"},
      {"requestPeriodicCallback(1)", "second argument to requestTimerCallback() is not a function"},
      {"requestNoteOn(60 + 2^32, function() end)",
       "bad argument #1 to 'requestNoteOn' (number out of the 32-bit integer range)"},
      {"requestTimedCallback('soon', function() end)",
       "bad argument #1 to 'requestTimedCallback' (number expected, got string)"},
      {"cancelTimer(setmetatable({}, {}))",
       "bad argument #1 to 'cancelTimer' (first argument to cancelTimer() is not a timer)"},
      {"setGUIBoolValue(8, true)", "indicator id out of range: 8"},
      {"addSpectralScript({}, function() end)",
       "bad argument #1 to 'addSpectralScript' (string expected, got table)"},
      {"addSpectralScript('x', 5)", "second argument to addSpectralScript() is not a function"},
      {"print(setmetatable({}, {__tostring = function() return {} end}))",
       "'tostring' must return a string to 'print'"},
  };
  for (const auto& c : cases) EXPECT_EQ(run(c.call), c.error) << c.call;
}

TEST_F(HostApi, QueriesAnswerFromTheParameterTableAndTheBuild) {
  const struct {
    const char* expression;
    const char* value;
  } cases[] = {
      {"getParameter(3)", "5"},
      {"getParameter(3.9) + getParameter('FFT Size')", "10"},
      {"getParameterID('Bin 7 Level')", "39"},
      {"getParameterUnit(11)", "13"},
      {"getNumParameters()", "2081"},
      {"table.concat({getParameterMinMax('View Min dB')}, ' ')", "-180 0"},
      {"table.concat({majorVersion, minorVersion, dotVersion, version}, ' ')", "1 0 5 10005"},
      {"getParameterName(2080)", "Bin 2048 Level"},
      {"isParameterUsed(25)", "true"},
      {"table.concat({tostring(isLinux), tostring(isMac), tostring(isAU), tostring(isVST)})",
       "truefalsefalsetrue"},
  };
  for (const auto& c : cases) EXPECT_EQ(text(c.expression), c.value) << c.expression;
}

TEST_F(HostApi, SetParameterStoresPlainValueAndAnnouncesIt) {
  host.clear();
  EXPECT_EQ(run("setParameter('Input Gain', -12)"), "");
  EXPECT_FLOAT_EQ(effect->getParameterPlain(kParamInputGain), -12.0f);
  ASSERT_EQ(host.count(vst::audioMasterAutomate), 1);
  EXPECT_EQ(host.calls(vst::audioMasterAutomate)[0].index, kParamInputGain);
  testing::internal::CaptureStderr();
  EXPECT_EQ(run("print('a', 1, nil, true) print()"), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "a\t1\tnil\ttrue\n\n");
}

// The other instance is the one whose "OSC Port Offset" is the key; a key
// that is no number counts as 0.
TEST_F(HostApi, OtherInstancesAreFoundByTheirKey) {
  auto other = makeEffect();
  other->setParameterPlain(kParamOscPortOffset, 5.0f, false);
  EXPECT_TRUE(QW::InstanceRegistry::instance().Contains(other.get()));
  EXPECT_EQ(run("setOthersParameter(5, 'Dry Level', 0.25) setOthersParameter('5', 2, 0.5) "
                "setOthersParameter({}, 'Dry Level', 0.75) setOthersParameter(42, 'Dry Level', 1)"),
            "");
  EXPECT_EQ(other->getParameterPlain(kParamDryLevel), 0.25f);
  EXPECT_EQ(other->getParameterPlain(kParamWetLevel), 0.5f);
  EXPECT_EQ(effect->getParameterPlain(kParamDryLevel), 0.75f);
  EXPECT_EQ(effect->getParameterPlain(kParamWetLevel), 1.0f);
  other->setParameterPlain(kParamInputGain, -6.0f, false);
  EXPECT_EQ(text("getOthersParameter(5.7, 'Input Gain')"), "-6");
  // Indicators take any value but nil or false as true.
  EXPECT_EQ(run("setOthersGUIBoolValue(5, 3, 'on') setGUIBoolValue(7, 0)"), "");
  EXPECT_EQ(other->ViewStateAddress()->guiBool[3], 1);
  EXPECT_EQ(effect->ViewStateAddress()->guiBool[3], 0);
  EXPECT_EQ(effect->ViewStateAddress()->guiBool[7], 1);
  EXPECT_EQ(text("getOthersGUIBoolValue(5, 3)"), "true");
  EXPECT_EQ(run("setOthersGUIBoolValue(5, 3, false) setGUIBoolValue(7, nil)"), "");
  EXPECT_EQ(other->ViewStateAddress()->guiBool[3], 0);
  EXPECT_EQ(text("getGUIBoolValue(7)"), "false");
  const QwkTonalmire* gone = other.get();
  other.reset();
  EXPECT_FALSE(QW::InstanceRegistry::instance().Contains(gone));
  EXPECT_EQ(text("getOthersParameter(5, 'Input Gain')"), "0");
}

TEST_F(HostApi, SendOscSendsOneMessageTypedByTheTypeString) {
  const osc_test::Client receiver;
  const std::string url = "'" + receiver.url() + "'";
  const std::string bare = "'127.0.0.1:" + std::to_string(receiver.port()) + "'";
  ASSERT_EQ(run("sendOSC(" + url + ", '/ping')"), "");
  EXPECT_EQ(receiver.receiveRaw(), std::string("/ping\0\0\0,\0\0\0", 12));
  ASSERT_EQ(run("sendOSC(" + bare + ", '/v', 'if', {7, '2.5'}) sendOSC(" + url + ", '/m', {1})"),
            "");
  EXPECT_EQ(receiver.receiveRaw(), std::string("/v\0\0,if\0\0\0\0\7\x40\x20\0\0", 16));
  EXPECT_EQ(receiver.receive()->arguments, osc_test::Args{1.0f});
  const struct {
    std::string call;
    const char* error;
  } cases[] = {
      {"sendOSC(" + url + ", '/x', 'if', {1, 2, 3})", "format string length mismatch in sendOSC"},
      {"sendOSC(" + url + ", '/x', {true})", "unhandled argument type return from call"},
      {"sendOSC(nil, '/x')", "bad argument #1 to 'sendOSC' (string expected, got nil)"},
      {"sendOSC(" + url + ", '/x', 'f', 5)",
       "bad argument #4 to 'sendOSC' (table expected, got number)"},
      {"local t = {} for i = 1, 400 do t[i] = i end sendOSC(" + url + ", '/x', t)",
       "out of buffer memory"},
  };
  for (const auto& c : cases) EXPECT_EQ(run(c.call), c.error) << c.call;
  EXPECT_NE(run("sendOSC('osc.udp://no-such-host.invalid:9', '/x')"), "");
  EXPECT_TRUE(receiver.quiet(200));  // none of them sent anything
}

}  // namespace
