#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ScriptTestSupport.h"
#include "core/ViewState.h"

using namespace scripting_test;

namespace {

struct HostApi : ::testing::Test {
  RecordingHost host;
  std::unique_ptr<QwkTonalmire> effect = makeEffect();
  QwkTonalmire::BrvkLuaMIDIHelper& helper = helperOf(*effect);
  std::string run(const std::string& code) { return runLua(helper, code); }
  double number(const std::string& expression) { return luaNumber(helper, expression); }
  std::string text(const std::string& expression) { return luaString(helper, expression); }
};

// Every call that goes wrong raises this Lua error ("" when it goes right).
TEST_F(HostApi, BadArgumentsRaiseErrorsThatNameThem) {
  const std::string notATimer =
      "bad argument #1 to 'cancelTimer' (first argument to cancelTimer() is not a timer)";
  const struct {
    const char* call;
    std::string error;
  } cases[] = {
      {"getParameter('fft size')", "parameter not found: 'fft size'"},
      {"getParameter(true)", "bad argument #1 to 'getParameter' (string expected, got boolean)"},
      {"getParameter()", "bad argument #1 to 'getParameter' (string expected, got no value)"},
      {"setParameter(-1, 0)", "parameter out of range: -1"},
      {"setParameter(2081, 0)", "parameter out of range: 2081"},
      {"getParameter(-1.5)", "parameter out of range: -1"},
      {"getParameterMinMax(1e300)", "parameter out of range: 2147483647"},
      {"assert(getParameter(-0.5) == 0)", ""},  // -0.5 truncates to 0, a valid index
      {"getParameterID(5)", "parameter not found: '5'"},
      {"getParameterID('Dry Level ')", "parameter not found: 'Dry Level '"},
      {"getParameterID({})", "bad argument #1 to 'getParameterID' (string expected, got table)"},
      {"setParameter(11, 'x')", "bad argument #2 to 'setParameter' (number expected, got string)"},
      {"setOthersParameter(42, 'No Such', 1)", "parameter not found: 'No Such'"},
      {"requestAllNoteOn(1)", "first argument to requestAllNoteOn() is not a function"},
      {"requestAllNoteOff()", "first argument to requestAllNoteOff() is not a function"},
      {"requestAllCC('f')", "first argument to requestAllCC() is not a function"},
      {"requestAllNRPN({})", "first argument to requestAllNRPN() is not a function"},
      {"requestAllProgramChange(nil)",
       "first argument to requestAllProgramChange() is not a function"},
      {"requestAllPolyPressure(true)",
       "first argument to requestAllPolyPressure() is not a function"},
      {"requestNoteOn(60, 1)", "second argument to requestNoteOn() is not a function"},
      {"requestNoteOff(60)", "second argument to requestNoteOff() is not a function"},
      {"requestCC(7, 'x')", "second argument to requestCC() is not a function"},
      {"requestNRPN(130, {})", "second argument to requestNRPN() is not a function"},
      {"requestPitchWheel(5)", "first argument to requestPitchWheel() is not a function"},
      {"requestChannelPressure()", "first argument to requestChannelPressure() is not a function"},
      {"requestProgramChange(3)", "second argument to requestProgramChange() is not a function"},
      {"requestPolyPressure(60, 0)", "second argument to requestPolyPressure() is not a function"},
      {"requestTimedCallback(1, 2)", "second argument to requestTimerCallback() is not a function"},
      {"requestPeriodicCallback(1)", "second argument to requestTimerCallback() is not a function"},
      {"requestCC('seven', function() end)",
       "bad argument #1 to 'requestCC' (number expected, got string)"},
      {"requestNoteOn(nil, function() end)",
       "bad argument #1 to 'requestNoteOn' (number expected, got nil)"},
      {"requestTimedCallback('soon', function() end)",
       "bad argument #1 to 'requestTimedCallback' (number expected, got string)"},
      {"cancelTimer(5)", notATimer},
      {"cancelTimer()", notATimer},
      {"cancelTimer(io.stdout)", notATimer},
      {"cancelTimer(setmetatable({}, {}))", notATimer},
      {"setGUIBoolValue(8, true)", "indicator id out of range: 8"},
      {"setGUIBoolValue(-1, true)", "indicator id out of range: -1"},
      {"getGUIBoolValue(8)", "indicator id out of range: 8"},
      {"setOthersGUIBoolValue(0, 9, true)", "indicator id out of range: 9"},
      {"getOthersGUIBoolValue(0, -3)", "indicator id out of range: -3"},
      {"setGUIBoolValue('x', true)",
       "bad argument #1 to 'setGUIBoolValue' (number expected, got string)"},
      {"print(setmetatable({}, {__tostring = function() return {} end}))",
       "'tostring' must return a string to 'print'"},
  };
  for (const auto& c : cases) EXPECT_EQ(run(c.call), c.error) << c.call;
}

TEST_F(HostApi, QueriesAnswerFromTheParameterTableAndTheBuild) {
  const struct {
    const char* expression;
    double value;
  } numbers[] = {
      {"getParameter(3)", 5.0},
      {"getParameter('3')", 5.0},
      {"getParameter(3.9)", 5.0},
      {"getParameter('FFT Size')", 5.0},
      {"getParameter(3, 'ignored', {})", 5.0},
      {"getParameterID('Bin 7 Level')", 39.0},
      {"getParameterUnit('FFT Size')", 1.0},
      {"getParameterUnit(11)", 13.0},
      {"getNumParameters()", 2081.0},
      {"majorVersion * 10000 + minorVersion * 100 + dotVersion", 10005.0},
      {"version", 10005.0},
      {"getOthersParameter(42, 'Dry Level')", 0.0},
  };
  for (const auto& c : numbers) EXPECT_EQ(number(c.expression), c.value) << c.expression;
  const struct {
    const char* expression;
    const char* text;
  } texts[] = {
      {"getParameterName(2080)", "Bin 2048 Level"},
      {"isParameterUsed(25)", "true"},
      {"isLinux", "true"},
      {"isMac", "false"},
      {"isAU", "false"},
      {"isVST", "true"},
      {"getOthersGUIBoolValue(42, 0)", "false"},
  };
  for (const auto& c : texts) EXPECT_EQ(text(c.expression), c.text) << c.expression;
  EXPECT_EQ(run("local lo, hi = getParameterMinMax('View Min dB') assert(lo == -180 and hi == 0)"),
            "");
}

TEST_F(HostApi, SetParameterStoresPlainValueAndAnnouncesIt) {
  host.clear();
  EXPECT_EQ(run("setParameter('Input Gain', -12)"), "");
  EXPECT_FLOAT_EQ(effect->getParameterPlain(kParamInputGain), -12.0f);
  ASSERT_EQ(host.count(vst::audioMasterAutomate), 1);
  EXPECT_EQ(host.calls(vst::audioMasterAutomate)[0].index, kParamInputGain);
}

TEST_F(HostApi, IndicatorsTakeAnyValueButNilOrFalseAsTrue) {
  ViewState* view = effect->ViewStateAddress();
  EXPECT_EQ(run("setGUIBoolValue(0, 0)"), "");
  EXPECT_EQ(view->guiBool[0], 1);
  EXPECT_EQ(text("getGUIBoolValue(0)"), "true");
  EXPECT_EQ(run("setGUIBoolValue(0, nil)"), "");
  EXPECT_EQ(view->guiBool[0], 0);
  EXPECT_EQ(run("setGUIBoolValue(7, '')"), "");
  EXPECT_EQ(view->guiBool[7], 1);
  EXPECT_EQ(run("setGUIBoolValue(7, false)"), "");
  EXPECT_EQ(text("getGUIBoolValue(7)"), "false");
}

TEST_F(HostApi, SetOthersParameterWithAnUnknownKeyChangesNothing) {
  EXPECT_EQ(run("setOthersParameter(42, 'Dry Level', 1)"), "");
  EXPECT_EQ(effect->getParameterPlain(kParamDryLevel), 0.0f);
}

TEST_F(HostApi, TimeIsMonotonicSecondsInWholeMilliseconds) {
  const double first = number("time()");
  EXPECT_GE(first, 0.0);
  EXPECT_DOUBLE_EQ(std::round(first * 1000.0) / 1000.0, first);
  EXPECT_EQ(run("local t = time() local u = time() assert(u >= t)"), "");
}

TEST_F(HostApi, PrintWritesTabSeparatedPiecesToStandardError) {
  ::testing::internal::CaptureStderr();
  const std::string long_piece(1000, 'z');
  EXPECT_EQ(run("print('a', 1, nil, true) print() print(string.rep('z', 1000))"), "");
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "a\t1\tnil\ttrue\n\n" + long_piece + "\n");
}

}  // namespace
