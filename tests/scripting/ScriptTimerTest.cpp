#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "ScriptTestSupport.h"

using namespace scripting_test;

namespace {

using namespace std::chrono_literals;

struct Timers : ::testing::Test {
  RecordingHost host;
  ScriptsFolder folder;
  std::unique_ptr<QwkTonalmire> effect;
  QwkTonalmire::BrvkLuaMIDIHelper* helper = nullptr;

  void SetUp() override {
    folder.write("midi.lua",
                 "fired = {}\n"
                 "function bump(name) return function() "
                 "fired[name] = (fired[name] or 0) + 1 end end\n");
    effect = makeEffect();
    helper = &helperOf(*effect);
  }
  std::string run(const std::string& code) { return runLua(*helper, code); }
  double fired(const std::string& name) { return luaNumber(*helper, "fired['" + name + "'] or 0"); }
  // Polls (bounded) until the timer has fired at least n times.
  bool waitFor(const std::string& name, double n) {
    for (int i = 0; i < 400; ++i) {
      if (fired(name) >= n) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }
};

TEST_F(Timers, OneShotFiresOnceAndThenIsNoLongerLive) {
  ASSERT_EQ(run("t = requestTimedCallback(0.01, bump('once'))"), "");
  EXPECT_EQ(helper->LiveTimerCount(), 1u);
  ASSERT_TRUE(waitFor("once", 1));
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(fired("once"), 1.0);
  EXPECT_EQ(helper->LiveTimerCount(), 0u);
}

TEST_F(Timers, CancellingAFiredOrCancelledTimerDoesNothing) {
  ASSERT_EQ(run("t = requestTimedCallback(0, bump('now'))"), "");
  ASSERT_TRUE(waitFor("now", 1));
  EXPECT_EQ(run("cancelTimer(t) cancelTimer(t)"), "");
  ASSERT_EQ(run("u = requestTimedCallback(5, bump('later')) cancelTimer(u) cancelTimer(u)"), "");
  EXPECT_EQ(helper->LiveTimerCount(), 0u);
}

TEST_F(Timers, CancelledBeforeItsTimeItNeverFires) {
  ASSERT_EQ(run("t = requestTimedCallback(0.05, bump('never')) cancelTimer(t)"), "");
  ASSERT_EQ(run("requestTimedCallback(0.1, bump('marker'))"), "");
  ASSERT_TRUE(waitFor("marker", 1));
  EXPECT_EQ(fired("never"), 0.0);
}

TEST_F(Timers, PeriodicRepeatsUntilCancelled) {
  ASSERT_EQ(run("p = requestPeriodicCallback(0.005, bump('tick'))"), "");
  ASSERT_TRUE(waitFor("tick", 3));
  ASSERT_EQ(run("cancelTimer(p)"), "");
  const double atCancel = fired("tick");
  std::this_thread::sleep_for(50ms);
  // A callback already under way when cancelled may still finish.
  EXPECT_LE(fired("tick"), atCancel + 1);
  EXPECT_EQ(helper->LiveTimerCount(), 0u);
}

TEST_F(Timers, PeriodicWithZeroPeriodFiresOnce) {
  ASSERT_EQ(run("requestPeriodicCallback(0, bump('zero'))"), "");
  ASSERT_TRUE(waitFor("zero", 1));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(fired("zero"), 1.0);
}

TEST_F(Timers, ACollectedTimerUserdataDoesNotStopItsTimer) {
  ASSERT_EQ(run("requestPeriodicCallback(0.005, bump('kept')) collectgarbage('collect')"), "");
  ASSERT_TRUE(waitFor("kept", 3));
}

TEST_F(Timers, AFailingTimerCallbackLeavesTheOthersWorking) {
  ASSERT_EQ(run("requestTimedCallback(0, function() error('timer boom') end) "
                "requestTimedCallback(0.02, bump('after'))"),
            "");
  ASSERT_TRUE(waitFor("after", 1));
}

TEST_F(Timers, TimersStartedFromATimerCallbackWork) {
  ASSERT_EQ(run("requestTimedCallback(0, function() requestTimedCallback(0, bump('inner')) end)"),
            "");
  ASSERT_TRUE(waitFor("inner", 1));
}

// The test's own C functions: the callback signals that it has started and,
// much later, that it has finished.
std::atomic<bool> callbackStarted{false};
std::atomic<bool> callbackFinished{false};
int markStarted(lua_State*) {
  callbackStarted = true;
  return 0;
}
int markFinished(lua_State*) {
  callbackFinished = true;
  return 0;
}
int sleepMs(lua_State* L) {
  std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(lua_tonumber(L, 1))));
  return 0;
}

TEST_F(Timers, DestroyingTheEffectWaitsForARunningCallback) {
  {
    lua_State* L = helper->GetLuaState();
    std::lock_guard<std::recursive_mutex> lock(helper->LuaLock());
    lua_register(L, "markStarted", markStarted);
    lua_register(L, "markFinished", markFinished);
    lua_register(L, "sleepMs", sleepMs);
  }
  ASSERT_EQ(
      run("requestTimedCallback(0, function() markStarted() sleepMs(200) markFinished() end)"), "");
  for (int i = 0; i < 400 && !callbackStarted; ++i) std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(callbackStarted);
  effect.reset();
  EXPECT_TRUE(callbackFinished);
}

TEST_F(Timers, DestroyingTheEffectEndsPendingTimers) {
  ASSERT_EQ(run("requestTimedCallback(0.05, bump('pending')) "
                "requestPeriodicCallback(0.01, bump('periodic'))"),
            "");
  effect.reset();  // must neither hang nor fire into a dead state
  std::this_thread::sleep_for(80ms);
  SUCCEED();
}

}  // namespace
