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

TEST_F(HostApi, ParameterDesignatorIsIndexNumericStringOrExactName) {
  EXPECT_EQ(number("getParameter(3)"), 5.0);
  EXPECT_EQ(number("getParameter('3')"), 5.0);
  EXPECT_EQ(number("getParameter(3.9)"), 5.0);
  EXPECT_EQ(number("getParameter('FFT Size')"), 5.0);
  EXPECT_EQ(run("getParameter('fft size')"), "parameter not found: 'fft size'");
  EXPECT_EQ(run("getParameter(true)"),
            "bad argument #1 to 'getParameter' (string expected, got boolean)");
  EXPECT_EQ(run("getParameter()"),
            "bad argument #1 to 'getParameter' (string expected, got no value)");
}

TEST_F(HostApi, IndexOutsideTheTableIsOutOfRangeWithTheTruncatedIndex) {
  EXPECT_EQ(run("setParameter(-1, 0)"), "parameter out of range: -1");
  EXPECT_EQ(run("setParameter(2081, 0)"), "parameter out of range: 2081");
  EXPECT_EQ(run("getParameter(-1.5)"), "parameter out of range: -1");
  EXPECT_EQ(run("getParameterMinMax(1e300)"), "parameter out of range: 2147483647");
  // -0.5 truncates to 0, a valid index.
  EXPECT_EQ(run("assert(getParameter(-0.5) == 0)"), "");
}

TEST_F(HostApi, GetParameterIDLooksNumbersUpAsNames) {
  EXPECT_EQ(number("getParameterID('Bin 7 Level')"), 39.0);
  EXPECT_EQ(run("getParameterID(5)"), "parameter not found: '5'");
  EXPECT_EQ(run("getParameterID('Dry Level ')"), "parameter not found: 'Dry Level '");
  EXPECT_EQ(run("getParameterID({})"),
            "bad argument #1 to 'getParameterID' (string expected, got table)");
}

TEST_F(HostApi, SetParameterStoresPlainValueAndAnnouncesIt) {
  host.clear();
  EXPECT_EQ(run("setParameter('Input Gain', -12)"), "");
  EXPECT_FLOAT_EQ(effect->getParameterPlain(kParamInputGain), -12.0f);
  ASSERT_EQ(host.count(vst::audioMasterAutomate), 1);
  EXPECT_EQ(host.calls(vst::audioMasterAutomate)[0].index, kParamInputGain);
  EXPECT_EQ(run("setParameter(11, 'x')"),
            "bad argument #2 to 'setParameter' (number expected, got string)");
}

TEST_F(HostApi, RowQueriesAnswerFromTheParameterTable) {
  EXPECT_EQ(run("local lo, hi = getParameterMinMax('View Min dB') "
                "assert(lo == -180 and hi == 0)"),
            "");
  EXPECT_EQ(number("getParameterUnit('FFT Size')"), 1.0);
  EXPECT_EQ(number("getParameterUnit(11)"), 13.0);
  EXPECT_EQ(text("getParameterName(2080)"), "Bin 2048 Level");
  EXPECT_EQ(text("isParameterUsed(25)"), "true");
  EXPECT_EQ(number("getNumParameters()"), 2081.0);
}

TEST_F(HostApi, RequestFunctionsNameThemselvesWhenNotGivenAFunction) {
  const struct {
    const char* call;
    const char* error;
  } cases[] = {
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
  };
  for (const auto& c : cases) EXPECT_EQ(run(c.call), c.error) << c.call;
}

TEST_F(HostApi, KeyedRequestsAndTimersNeedNumbersFirst) {
  EXPECT_EQ(run("requestCC('seven', function() end)"),
            "bad argument #1 to 'requestCC' (number expected, got string)");
  EXPECT_EQ(run("requestNoteOn(nil, function() end)"),
            "bad argument #1 to 'requestNoteOn' (number expected, got nil)");
  EXPECT_EQ(run("requestTimedCallback('soon', function() end)"),
            "bad argument #1 to 'requestTimedCallback' (number expected, got string)");
}

TEST_F(HostApi, CancelTimerRefusesAnythingButATimer) {
  const std::string error =
      "bad argument #1 to 'cancelTimer' (first argument to cancelTimer() is not a timer)";
  EXPECT_EQ(run("cancelTimer(5)"), error);
  EXPECT_EQ(run("cancelTimer()"), error);
  EXPECT_EQ(run("cancelTimer(io.stdout)"), error);
  EXPECT_EQ(run("cancelTimer(setmetatable({}, {}))"), error);
}

TEST_F(HostApi, IndicatorIdsAreZeroToSevenAndAnyValueButNilOrFalseIsTrue) {
  EXPECT_EQ(run("setGUIBoolValue(8, true)"), "indicator id out of range: 8");
  EXPECT_EQ(run("setGUIBoolValue(-1, true)"), "indicator id out of range: -1");
  EXPECT_EQ(run("getGUIBoolValue(8)"), "indicator id out of range: 8");
  EXPECT_EQ(run("setOthersGUIBoolValue(0, 9, true)"), "indicator id out of range: 9");
  EXPECT_EQ(run("getOthersGUIBoolValue(0, -3)"), "indicator id out of range: -3");
  EXPECT_EQ(run("setGUIBoolValue('x', true)"),
            "bad argument #1 to 'setGUIBoolValue' (number expected, got string)");

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

TEST_F(HostApi, OthersWithAnUnknownKeyFindNothing) {
  EXPECT_EQ(number("getOthersParameter(42, 'Dry Level')"), 0.0);
  EXPECT_EQ(text("getOthersGUIBoolValue(42, 0)"), "false");
  EXPECT_EQ(run("setOthersParameter(42, 'Dry Level', 1)"), "");
  EXPECT_EQ(effect->getParameterPlain(kParamDryLevel), 0.0f);
  EXPECT_EQ(run("setOthersParameter(42, 'No Such', 1)"), "parameter not found: 'No Such'");
}

TEST_F(HostApi, PlatformConstants) {
  EXPECT_EQ(text("isLinux"), "true");
  EXPECT_EQ(text("isMac"), "false");
  EXPECT_EQ(text("isAU"), "false");
  EXPECT_EQ(text("isVST"), "true");
  EXPECT_EQ(number("majorVersion * 10000 + minorVersion * 100 + dotVersion"), 10005.0);
  EXPECT_EQ(number("version"), 10005.0);
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

TEST_F(HostApi, PrintRefusesATostringThatGivesNoString) {
  EXPECT_EQ(run("print(setmetatable({}, {__tostring = function() return {} end}))"),
            "'tostring' must return a string to 'print'");
}

TEST_F(HostApi, ExtraArgumentsAreIgnored) {
  EXPECT_EQ(number("getParameter(3, 'ignored', {})"), 5.0);
}

}  // namespace
