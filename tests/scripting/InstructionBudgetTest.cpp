#include <gtest/gtest.h>

#include <string>

#include "ScriptTestSupport.h"
#include "scripting/InstructionBudget.h"

using namespace scripting_test;

namespace {

struct RunawayScripts : ::testing::Test {
  RecordingHost host;
  ScriptsFolder folder;
};

TEST_F(RunawayScripts, AnEndlessMidiCallbackIsStoppedAndNamed) {
  folder.write("midi.lua", "");
  folder.write("spin.lua",
               "requestAllCC(function() while true do end end)\n"
               "requestAllCC(function() after = (after or 0) + 1 end)\n");
  ::testing::internal::CaptureStdout();
  {
    auto effect = makeEffect();
    helperOf(*effect).HandleMessage(midi(0xB0, 0, 20, 1));
    EXPECT_EQ(luaNumber(helperOf(*effect), "after"), 1.0);  // the next callback still ran
  }  // the line parked on the audio path is written by the time the effect is gone
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "@@@ " + folder.path() +
                     "/spin.lua:1: MIDI callback stopped after 10000000 Lua instructions "
                     "(endless loop?)\n");
}

TEST_F(RunawayScripts, AnEndlessSpectralScriptIsStoppedAndTheNextFrameRunsAgain) {
  folder.write("midi.lua",
               "addSpectralScript('Spin', function(state)\n"
               "  runs = (runs or 0) + 1\n"
               "  while true do end\n"
               "end)\n");
  ::testing::internal::CaptureStdout();
  {
    auto effect = makeEffect();
    std::vector<float> f(64, 1.0f);
    helperOf(*effect).RunSpectralScript(1, f.data(), 64);
    helperOf(*effect).RunSpectralScript(1, f.data(), 64);
    EXPECT_EQ(luaNumber(helperOf(*effect), "runs"), 2.0);
  }
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string line = "@@@ " + folder.path() +
                           "/midi.lua:3: spectral script \"Spin\" stopped after 10000000 Lua "
                           "instructions (endless loop?)\n";
  EXPECT_EQ(out, line + line);
}

TEST_F(RunawayScripts, AScriptThatLoopsWhileLoadingIsStoppedAndTheNextOneLoads) {
  folder.write("a-hang.lua", "while true do end\n");
  folder.write("b-fine.lua", "fine = true\n");
  ::testing::internal::CaptureStdout();
  const auto effect = makeEffect();
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string file = folder.path() + "/a-hang.lua";
  EXPECT_EQ(out, "@@@ " + file +
                     ":1: script stopped after 200000000 Lua instructions (endless loop?)\n"
                     "@@@ failed to run file: " +
                     file + ":1: instruction limit exceeded\n");
  EXPECT_EQ(luaString(helperOf(*effect), "fine"), "true");
}

TEST_F(RunawayScripts, CatchingTheLimitWithPcallDoesNotKeepAScriptAlive) {
  folder.write("midi.lua",
               "requestAllCC(function()\n"
               "  while true do pcall(function() while true do end end) end\n"
               "end)\n");
  ::testing::internal::CaptureStdout();
  {
    const auto effect = makeEffect();
    helperOf(*effect).HandleMessage(midi(0xB0, 0, 20, 1));
  }
  const std::string out = ::testing::internal::GetCapturedStdout();
  // Returning at all is the point; the runaway is reported once.
  EXPECT_NE(out.find("midi.lua:2: MIDI callback stopped"), std::string::npos) << out;
}

TEST_F(RunawayScripts, TheBudgetIsPerCallbackNotPerState) {
  // Each call uses about 60 % of the budget; together they would exceed it.
  folder.write("midi.lua",
               "requestAllCC(function() local n = 0 "
               "for i = 1, 2000000 do n = n + 1 end done = (done or 0) + 1 end)\n");
  const auto effect = makeEffect();
  for (int i = 0; i < 3; ++i) helperOf(*effect).HandleMessage(midi(0xB0, 0, 20, 1));
  EXPECT_EQ(luaNumber(helperOf(*effect), "done"), 3.0);
  EXPECT_EQ(helperOf(*effect).budget().aborts(), 0);
}

// A parked line longer than the ring holds is cut, and must not run into
// the next one: each "@@@ " starts a line, which hosts count on.
TEST(DeferredLog, EveryParkedLineEndsItsLine) {
  QW::DeferredLog log;
  log.Post("%s\n", std::string(2 * QW::DeferredLog::kLineBytes, 'x').c_str());
  log.Post("short\n");
  ::testing::internal::CaptureStdout();
  log.Flush();
  const std::string out = ::testing::internal::GetCapturedStdout();
  const size_t second = out.find("@@@ short\n");
  ASSERT_NE(second, std::string::npos) << out;
  ASSERT_GT(second, 0u);
  EXPECT_EQ(out[second - 1], '\n') << out;
  EXPECT_EQ(out.rfind("@@@ ", second - 1), 0u) << out;
}

// The Lua state's memory: once warmed up, spectral runs and MIDI handling
// recycle the pool and never go to the system allocator on the audio path.
TEST(LuaMemory, SteadyStateAudioPathMakesNoSystemAllocations) {
  RecordingHost host;
  const auto effect = makeEffect();
  QwkTonalmire::BrvkLuaMIDIHelper& helper = helperOf(*effect);
  std::vector<float> f(4096, 0.5f);
  effect->setParameterPlain(kParamScripted2, 0.37f, false);
  effect->setParameterPlain(kParamScripted3, 0.6f, false);
  const auto pass = [&](int frames) {
    for (int i = 0; i < frames; ++i) {
      for (int script = 1; script <= 6; ++script) helper.RunSpectralScript(script, f.data(), 4096);
      helper.HandleMessage(midi(0xB0, 0, 20, static_cast<uint8_t>(i & 127)));  // "Scripted 4"
    }
  };
  pass(50);
  const size_t warm = helper.allocator().realtimeSystemAllocations();
  pass(500);
  EXPECT_EQ(helper.allocator().realtimeSystemAllocations(), warm);
  EXPECT_EQ(warm, 0u);
}

}  // namespace
