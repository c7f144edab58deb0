// Which scripts load, in what order, what a failing or runaway one costs,
// and the Lua state's memory on the audio path.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "ScriptTestSupport.h"
#include "platform/ScriptFolder.h"
#include "scripting/InstructionBudget.h"
#include "support/ScopedEnv.h"

using namespace scripting_test;

namespace {

size_t builtInScripts(QwkTonalmire& effect) {
  size_t n = 0;
  for (const SpectralScriptEntry& e : effect.spectralScripts()) n += e.name == "Gate";
  return n;
}

template <typename Act>
std::string stdoutOf(Act act) {
  testing::internal::CaptureStdout();
  act();
  return testing::internal::GetCapturedStdout();
}

struct Loading : ::testing::Test {
  RecordingHost host;
  ScriptsFolder folder;
  std::unique_ptr<QwkTonalmire> effect;
  // Makes the effect; what it wrote to standard output.
  std::string load() {
    return stdoutOf([&] { effect = makeEffect(); });
  }
  QwkTonalmire::BrvkLuaMIDIHelper& helper() { return helperOf(*effect); }
};

// After the built-in script, regular files ending in ".lua" in name order;
// a failing one is reported and keeps what it registered.
TEST_F(Loading, UserScriptsRunAfterTheBuiltInOneInNameOrder) {
  folder.write("b.lua",
               "order = order .. 'b' requestAllCC(function(c, n, v) seen = seen .. v end)");
  folder.write("a.lua", "order = 'a' seen = ''");
  folder.write("c.lua", "#!/usr/bin/env lua\norder = order .. 'c' error('broken on purpose')");
  folder.write("d.lua", "this is not lua\n");
  folder.write("e.lua", "requestAllCC(function(c, n, v) seen = seen .. 'e' .. v end)");
  folder.write("MIDI.lua", "upper = true");  // only "midi.lua" replaces the built-in one
  for (const char* name : {"notes.txt", "old.lua.bak", "lua"}) folder.write(name, "order = nil");
  folder.write(".lua", "hidden = true");
  folder.write("\xff\xfe-invalid-utf8.lua", "weird = 1");
  folder.write("binary.lua", std::string("\x1bLua\x51\x00garbage", 12));
  ASSERT_EQ(mkdir((folder.path() + "/folder.lua").c_str(), 0700), 0);
  ASSERT_EQ(symlink("/nonexistent/target.lua", (folder.path() + "/dangling.lua").c_str()), 0);
  const std::string out = load();
  EXPECT_EQ(luaString(helper(), "order"), "abc");
  EXPECT_EQ(luaString(helper(), "tostring(upper) .. tostring(hidden) .. weird"), "truetrue1");
  EXPECT_EQ(builtInScripts(*effect), 1u);
  const std::string dir = folder.path();
  for (const std::string line :
       {"c.lua:2: broken on purpose\n", "d.lua:1: '=' expected near 'is'\n", "binary.lua"})
    EXPECT_NE(out.find("@@@ failed to run file: " + dir + "/" + line), std::string::npos) << out;
  EXPECT_EQ(platform::listUserScripts(dir).size(), 9u);
  helper().HandleMessage(midi(0xB0, 0, 40, 1));
  helper().HandleMessage(midi(0xB0, 0, 41, 2));
  EXPECT_EQ(luaString(helper(), "seen"), "1e12e2");
}

TEST(ScriptFolder, TheDefaultFolderIsUnderTheUserDataFolder) {
  RecordingHost host;
  char pattern[] = "/tmp/veldrana-data-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string data = pattern;
  const ScopedEnv home("XDG_DATA_HOME", pattern), dir("VELDRANA_SCRIPTS_DIR", nullptr);
  const std::string folder = platform::scriptsFolder("Veldrana");
  EXPECT_EQ(folder, data + "/Quillworks/Veldrana/Scripts/");
  for (const std::string& d : {data + "/Quillworks", data + "/Quillworks/Veldrana", folder})
    mkdir(d.c_str(), 0700);
  std::ofstream(folder + "found.lua") << "foundInDefault = true\n";
  const auto effect = std::make_unique<QwkTonalmire>(RecordingHost::callback());
  EXPECT_EQ(luaString(helperOf(*effect), "foundInDefault"), "true");
  std::filesystem::remove_all(data);
  const ScopedEnv chosen("VELDRANA_SCRIPTS_DIR", "/some/where");
  EXPECT_EQ(platform::scriptsFolder("Veldrana"), "/some/where/");
}

// Off the audio path a script may run 200 million instructions, on it (MIDI
// callbacks, spectral scripts) 10 million per call; then it is stopped,
// named, and the next call runs again.
TEST_F(Loading, RunawayScriptsAreStoppedAndNamed) {
  folder.write("midi.lua",
               "addSpectralScript('Spin', function(state)\n"
               "  runs = (runs or 0) + 1\n"
               "  while true do end\n"
               "end)\n");
  folder.write("a-hang.lua", "while true do end\n");
  folder.write("b-fine.lua", "fine = true\n");
  folder.write(
      "c-spin.lua",
      "requestAllCC(function() while true do pcall(function() while true do end end) end end)\n"
      "requestAllCC(function() after = (after or 0) + 1 end)\n");
  folder.write("d-long.lua",  // each call uses about 60 % of the budget
               "requestAllCC(function() for i = 1, 2000000 do end done = (done or 0) + 1 end)\n");
  const std::string hang = folder.path() + "/a-hang.lua";
  EXPECT_EQ(load(), "@@@ " + hang +
                        ":1: script stopped after 200000000 Lua instructions (endless loop?)\n"
                        "@@@ failed to run file: " +
                        hang + ":1: instruction limit exceeded\n");
  EXPECT_EQ(luaString(helper(), "fine"), "true");
  const std::string out = stdoutOf([&] {
    std::vector<float> f(64, 1.0f);
    helper().RunSpectralScript(1, f.data(), 64);
    helper().RunSpectralScript(1, f.data(), 64);
    for (int i = 0; i < 2; ++i) helper().HandleMessage(midi(0xB0, 0, 20, 1));
    EXPECT_EQ(luaNumber(helper(), "runs"), 2.0);
    EXPECT_EQ(luaNumber(helper(), "after"), 2.0);
    EXPECT_EQ(luaNumber(helper(), "done"), 2.0);
    effect.reset();  // writes the lines parked on the audio path
  });
  const std::string spin = "@@@ " + folder.path() +
                           "/midi.lua:3: spectral script \"Spin\" stopped after 10000000 Lua "
                           "instructions (endless loop?)\n";
  const std::string cc = "@@@ " + folder.path() +
                         "/c-spin.lua:1: MIDI callback stopped after 10000000 Lua instructions "
                         "(endless loop?)\n";
  const auto count = [&](const std::string& line) {
    size_t n = 0;
    for (size_t at = out.find(line); at != std::string::npos; at = out.find(line, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count(spin), 2u) << out;
  EXPECT_EQ(count(cc), 2u) << out;
  EXPECT_EQ(out.size(), 2 * (spin.size() + cc.size())) << out;
}

// A parked line longer than the ring holds is cut, and must not run into
// the next one: each "@@@ " starts a line, which hosts count on.
TEST(DeferredLog, EveryParkedLineEndsItsLine) {
  QW::DeferredLog log;
  log.Post("%s\n", std::string(2 * QW::DeferredLog::kLineBytes, 'x').c_str());
  log.Post("short\n");
  const std::string out = stdoutOf([&] { log.Flush(); });
  const size_t second = out.find("@@@ short\n");
  ASSERT_NE(second, std::string::npos) << out;
  ASSERT_GT(second, 0u);
  EXPECT_EQ(out[second - 1], '\n') << out;
  EXPECT_EQ(out.rfind("@@@ ", second - 1), 0u) << out;
}

// Once warmed up, spectral runs and MIDI handling recycle the Lua state's
// pool and never go to the system allocator on the audio path.
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
  EXPECT_EQ(helper.allocator().realtimeSystemAllocations(), 0u);
  pass(500);
  EXPECT_EQ(helper.allocator().realtimeSystemAllocations(), 0u);
}

}  // namespace
