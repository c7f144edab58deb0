// Timer callbacks of scripts, and the example scripts shipped in
// examples/scripts doing what their comments promise.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "ScriptTestSupport.h"
#include "core/RelaxedAtomic.h"
#include "core/ViewState.h"

using namespace scripting_test;

namespace {

using namespace std::chrono_literals;

struct Timers : ::testing::Test {
  void SetUp() override {
    folder.write("midi.lua",
                 "fired = {}\n"
                 "function bump(name) return function() "
                 "fired[name] = (fired[name] or 0) + 1 end end\n");
    effect = makeEffect();
    helper = &helperOf(*effect);
  }
  std::string run(const std::string& code) { return runLua(*helper, code); }
  double fired(const std::string& name) { return luaNumber(*helper, "fired['" + name + "']"); }
  // Polls (bounded) until the timer has fired at least n times.
  bool waitFor(const std::string& name, double n) {
    for (int i = 0; i < 400 && fired(name) < n; ++i) std::this_thread::sleep_for(5ms);
    return fired(name) >= n;
  }

  RecordingHost host;
  ScriptsFolder folder;
  std::unique_ptr<QwkTonalmire> effect;
  QwkTonalmire::BrvkLuaMIDIHelper* helper = nullptr;
};

TEST_F(Timers, OneShotsFireOncePeriodicsRepeatUntilCancelled) {
  ASSERT_EQ(run("requestTimedCallback(0.01, bump('once')) "
                "p = requestPeriodicCallback(0.005, bump('tick')) "
                "t = requestTimedCallback(0.05, bump('never')) cancelTimer(t) "
                "requestTimedCallback(0, function() error('timer boom') end) "
                "requestTimedCallback(0, function() requestTimedCallback(0, bump('inner')) end) "
                "collectgarbage('collect')"),  // the timers live on without their userdata
            "");
  ASSERT_TRUE(waitFor("tick", 3));
  ASSERT_EQ(run("cancelTimer(p) cancelTimer(p)"), "");
  const double atCancel = fired("tick");
  std::this_thread::sleep_for(60ms);
  EXPECT_LE(fired("tick"), atCancel + 1);  // one under way when cancelled may still finish
  EXPECT_EQ(fired("once"), 1.0);
  EXPECT_EQ(fired("inner"), 1.0);  // after a failing callback, from a timer callback
  EXPECT_EQ(fired("never"), 0.0);
  EXPECT_EQ(helper->LiveTimerCount(), 0u);
}

std::atomic<bool> callbackStarted{false}, callbackFinished{false};

TEST_F(Timers, DestroyingTheEffectWaitsForARunningCallbackAndEndsPendingOnes) {
  {
    std::lock_guard<std::recursive_mutex> lock(helper->LuaLock());
    lua_register(helper->GetLuaState(), "hold", [](lua_State*) {
      callbackStarted = true;
      std::this_thread::sleep_for(200ms);
      callbackFinished = true;
      return 0;
    });
  }
  ASSERT_EQ(run("requestTimedCallback(0, hold) requestTimedCallback(0.05, bump('pending')) "
                "requestPeriodicCallback(0.01, bump('periodic'))"),
            "");
  for (int i = 0; i < 400 && !callbackStarted; ++i) std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(callbackStarted);
  effect.reset();  // must neither hang nor fire into a dead state
  EXPECT_TRUE(callbackFinished);
}

// An effect with the example script as the only user script; it loads
// without a word.
struct ExampleScripts : ::testing::Test {
  void load(const std::string& name) {
    const std::string here = __FILE__;
    std::ifstream in(here.substr(0, here.rfind("/tests/scripting/")) + "/examples/scripts/" + name);
    std::stringstream text;
    text << in.rdbuf();
    folder.write(name, text.str());
    testing::internal::CaptureStdout();
    effect = makeEffect();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  }
  RecordingHost host;
  ScriptsFolder folder;
  std::unique_ptr<QwkTonalmire> effect;
};

TEST_F(ExampleScripts, SpectralCombKeepsTheTeethAndScalesTheRest) {
  load("spectral_comb.lua");
  ASSERT_EQ(effect->spectralScripts().size(), 8u);  // after "Off" and the six built-in ones
  ASSERT_EQ(effect->spectralScripts().back().name, "Comb");
  effect->setParameterPlain(kParamScripted1, 4.0f, false);
  effect->setParameterPlain(kParamScripted2, 0.5f, false);
  std::vector<float> f(64, 1.0f);
  helperOf(*effect).RunSpectralScript(7, f.data(), 64);
  for (int bin = 0; bin <= 32; ++bin) {
    const float want = bin % 4 == 0 ? 1.0f : 0.5f;
    EXPECT_EQ(f[bin], want) << "re " << bin;
    EXPECT_EQ(bin > 0 && bin < 32 ? f[32 + bin] : want, want) << "im " << bin;
  }
}

TEST_F(ExampleScripts, MidiNoteGateOpensWithNotesAndClosesOnATimer) {
  load("midi_note_gate.lua");
  QwkTonalmire::BrvkLuaMIDIHelper& helper = helperOf(*effect);
  const auto wet = [&] { return effect->getParameterPlain(kParamWetLevel); };
  const auto indicator = [&] { return rt::relaxedLoad(effect->ViewStateAddress()->guiBool[0]); };
  helper.HandleMessage(midi(0x90, 0, 60, 100));
  EXPECT_EQ(wet(), 1.0f);
  EXPECT_EQ(indicator(), 1);
  helper.HandleMessage(midi(0x90, 0, 60, 0));  // note-off as velocity 0
  EXPECT_EQ(wet(), 1.0f);                      // not yet
  // The timer thread writes the level first, then the indicator.
  for (int i = 0; i < 200 && (wet() != 0.0f || indicator() != 0); ++i)
    std::this_thread::sleep_for(5ms);
  EXPECT_EQ(wet(), 0.0f);
  EXPECT_EQ(indicator(), 0);
}

}  // namespace
