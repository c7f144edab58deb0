#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "ScriptTestSupport.h"
#include "platform/ScriptFolder.h"

using namespace scripting_test;

namespace {

size_t builtInScripts(QwkTonalmire& effect) {
  size_t n = 0;
  for (const SpectralScriptEntry& e : effect.spectralScripts()) n += e.name == "Gate";
  return n;
}

TEST(ScriptLoading, AUserMidiLuaReplacesTheBuiltInScript) {
  RecordingHost host;
  ScriptsFolder folder;
  folder.write("midi.lua", "addSpectralScript('Mine', function() end)\n");
  const auto effect = makeEffect();
  ASSERT_EQ(effect->spectralScripts().size(), 2u);
  EXPECT_EQ(effect->spectralScripts()[1].name, "Mine");
  // No controller map either.
  helperOf(*effect).HandleMessage(midi(0xB0, 0, 2, 127));
  EXPECT_EQ(effect->getParameterPlain(kParamDryLevel), 0.0f);
}

TEST(ScriptLoading, UserScriptsRunAfterTheBuiltInOneInNameOrder) {
  RecordingHost host;
  ScriptsFolder folder;
  folder.write("b.lua", "order = (order or '') .. 'b'\n");
  folder.write("a.lua",
               "order = (order or '') .. 'a'\n"
               "builtInSeen = type(addSpectralScript) == 'function' and "
               "getParameter('Dry Level') == 0\n");
  // A first line starting with '#' is skipped.
  folder.write("c.lua", "#!/usr/bin/env lua\norder = (order or '') .. 'c'\n");
  // Only "midi.lua" replaces the built-in script.
  folder.write("MIDI.lua", "userLoaded = true\n");
  const auto effect = makeEffect();
  EXPECT_EQ(luaString(helperOf(*effect), "order"), "abc");
  EXPECT_EQ(luaString(helperOf(*effect), "userLoaded"), "true");
  EXPECT_EQ(builtInScripts(*effect), 1u);
}

TEST(ScriptLoading, TwoScriptsBothReceiveEveryControllerInLoadOrder) {
  RecordingHost host;
  ScriptsFolder folder;
  folder.write("first.lua",
               "seen = seen or {}\n"
               "requestAllCC(function(c, n, v) seen[#seen + 1] = 'first' .. v end)\n");
  folder.write("second.lua",
               "seen = seen or {}\n"
               "requestAllCC(function(c, n, v) seen[#seen + 1] = 'second' .. v end)\n");
  const auto effect = makeEffect();
  helperOf(*effect).HandleMessage(midi(0xB0, 0, 40, 1));
  helperOf(*effect).HandleMessage(midi(0xB0, 0, 41, 2));
  EXPECT_EQ(luaString(helperOf(*effect), "table.concat(seen, ' ')"),
            "first1 second1 first2 second2");
}

TEST(ScriptLoading, FailingScriptsAreReportedAndTheOthersStillLoad) {
  RecordingHost host;
  ScriptsFolder folder;
  folder.write("1-syntax.lua", "this is not lua\n");
  folder.write("2-runtime.lua",
               "requestAllCC(function() hits = (hits or 0) + 1 end)\n"
               "error('broken on purpose')\n");
  folder.write("3-fine.lua", "fine = true\n");
  ::testing::internal::CaptureStdout();
  const auto effect = makeEffect();
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string dir = folder.path();
  EXPECT_EQ(out, "@@@ failed to run file: " + dir +
                     "/1-syntax.lua:1: '=' expected near 'is'\n"
                     "@@@ failed to run file: " +
                     dir + "/2-runtime.lua:2: broken on purpose\n");
  QwkTonalmire::BrvkLuaMIDIHelper& helper = helperOf(*effect);
  EXPECT_EQ(luaString(helper, "fine"), "true");
  EXPECT_EQ(builtInScripts(*effect), 1u);
  // What the failing script registered before its error stays registered.
  helper.HandleMessage(midi(0xB0, 0, 40, 1));
  EXPECT_EQ(luaNumber(helper, "hits"), 1.0);
}

TEST(ScriptLoading, OnlyRegularFilesEndingInDotLuaAreLoaded) {
  RecordingHost host;
  ScriptsFolder folder;
  folder.write("notes.txt", "error('not a script')\n");
  folder.write("old.lua.bak", "error('not a script')\n");
  folder.write("lua", "error('not a script')\n");
  folder.write(".lua", "hidden = true\n");
  ASSERT_EQ(mkdir((folder.path() + "/folder.lua").c_str(), 0700), 0);
  ASSERT_EQ(symlink("/nonexistent/target.lua", (folder.path() + "/dangling.lua").c_str()), 0);
  folder.write("binary.lua", std::string("\x1bLua\x51\x00garbage", 12));
  folder.write("\xff\xfe-invalid-utf8.lua", "weird = 1\n");
  ::testing::internal::CaptureStdout();
  const auto effect = makeEffect();
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::vector<std::string> listed = platform::listUserScripts(folder.path());
  EXPECT_EQ(listed.size(), 3u);  // ".lua", "binary.lua", the invalid UTF-8 name
  EXPECT_EQ(luaNumber(helperOf(*effect), "weird"), 1.0);
  EXPECT_EQ(luaString(helperOf(*effect), "hidden"), "true");
  EXPECT_NE(out.find("@@@ failed to run file: " + folder.path() + "/binary.lua"),
            std::string::npos);
  EXPECT_EQ(builtInScripts(*effect), 1u);
}

TEST(ScriptLoading, AMissingFolderLoadsTheBuiltInScriptOnly) {
  RecordingHost host;
  setenv("VELDRANA_SCRIPTS_DIR", "/nonexistent/veldrana/scripts", 1);
  const auto effect = makeEffect();
  unsetenv("VELDRANA_SCRIPTS_DIR");
  EXPECT_EQ(effect->spectralScripts().size(), 7u);
}

TEST(ScriptLoading, UnreadableFilesAndFoldersAreSkipped) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads everything";
  RecordingHost host;
  ScriptsFolder folder;
  folder.write("secret.lua", "secret = true\n");
  chmod((folder.path() + "/secret.lua").c_str(), 0);
  {
    const auto effect = makeEffect();
    EXPECT_EQ(luaString(helperOf(*effect), "secret"), "nil");
  }
  chmod(folder.path().c_str(), 0);
  const auto effect = makeEffect();
  EXPECT_EQ(effect->spectralScripts().size(), 7u);
  chmod(folder.path().c_str(), 0700);
}

// Points XDG_DATA_HOME at a private folder while it lives, so nothing here
// can reach the real user's data whatever other tests did to the variable.
class PrivateDataHome {
 public:
  PrivateDataHome() {
    const char* old = std::getenv("XDG_DATA_HOME");
    hadOld_ = old != nullptr;
    if (old) old_ = old;
    char pattern[] = "/tmp/veldrana-data-XXXXXX";
    const char* dir = mkdtemp(pattern);
    path_ = dir ? dir : "/tmp/veldrana-data-unavailable";
    setenv("XDG_DATA_HOME", path_.c_str(), 1);
    unsetenv("VELDRANA_SCRIPTS_DIR");
  }
  ~PrivateDataHome() {
    if (hadOld_)
      setenv("XDG_DATA_HOME", old_.c_str(), 1);
    else
      unsetenv("XDG_DATA_HOME");
    ScriptsFolder::removeTree(path_);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string old_;
  bool hadOld_ = false;
};

TEST(ScriptLoading, TheDefaultFolderIsUnderTheUserDataFolder) {
  const PrivateDataHome data;
  EXPECT_EQ(platform::scriptsFolder("Veldrana"), data.path() + "/Quillworks/Veldrana/Scripts/");
  setenv("VELDRANA_SCRIPTS_DIR", "/some/where", 1);
  EXPECT_EQ(platform::scriptsFolder("Veldrana"), "/some/where/");
  unsetenv("VELDRANA_SCRIPTS_DIR");
}

TEST(ScriptLoading, ScriptsInTheDefaultFolderAreFound) {
  RecordingHost host;
  const PrivateDataHome data;
  const std::string folder = platform::scriptsFolder("Veldrana");
  for (const std::string& dir :
       {data.path() + "/Quillworks", data.path() + "/Quillworks/Veldrana", folder})
    mkdir(dir.c_str(), 0700);
  std::ofstream(folder + "found.lua") << "foundInDefault = true\n";
  const auto effect = std::make_unique<QwkTonalmire>(RecordingHost::callback());
  EXPECT_EQ(luaString(helperOf(*effect), "foundInDefault"), "true");
}

}  // namespace
