// Loading: the entry point search, every way a file can fail to be a usable
// plug-in, and the command line around it. Each failure must be one clear
// line and a known exit status, never a crash.
#include <fstream>
#include <sstream>

#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

constexpr int kExitUsage = 2;
constexpr int kExitLoad = 3;

TEST(HostLoad, BadPluginsAndCommandLinesFailCleanly) {
  const ScratchDir dir;
  writeText(dir.path("text.so"), "this is not an ELF file\n");
  const struct {
    std::vector<std::string> args;
    int exitCode;  // 0: any failure
    std::vector<const char*> mentioning;
  } cases[] = {
      {{"info", "/nonexistent/nothing.so"}, kExitLoad, {"/nonexistent/nothing.so", "No such file"}},
      {{"info", Paths::noEntryFixture()}, kExitLoad, {"no VSTPluginMain or main entry point"}},
      {{"info", Paths::nullEntryFixture()}, kExitLoad, {"returned no effect"}},
      // The fixture's dispatcher is null: any call into it would crash.
      {{"info", Paths::badMagicFixture()}, kExitLoad, {"bad magic"}},
      {{"info", dir.path("text.so")}, kExitLoad, {"cannot load"}},
      {{"info", dir.path("")}, 0, {"directory"}},
      {{"frobnicate", Paths::gainFixture()}, kExitUsage, {"unknown command"}},
      {{"info", Paths::gainFixture(), "--frob"}, kExitUsage, {"unknown option --frob"}},
      {{"info"}, kExitUsage, {"usage"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    const RunResult result = runHost(c.args);
    for (const char* text : c.mentioning) expectCleanFailure(result, text);
    if (c.exitCode != 0) {
      EXPECT_EQ(result.exitCode, c.exitCode);
    }
  }
}

TEST(HostLoad, EveryCommandRefusesABrokenPluginTheSameWay) {
  const ScratchDir dir;
  writeAudio(dir.path("in.wav"), testSignal(2, 48000, 1000));
  writeText(dir.path("state.chunk"), "x");
  const std::string broken = Paths::badMagicFixture();
  const std::vector<std::vector<std::string>> commands = {
      {"info", broken},
      {"params", broken},
      {"get", broken, "0"},
      {"set", broken, "0=0.5"},
      {"chunk", "save", broken, dir.path("saved.chunk")},
      {"chunk", "load", broken, dir.path("state.chunk"), "--raw"},
      {"render", broken, dir.path("in.wav"), dir.path("out.wav")},
  };
  for (const auto& command : commands) {
    SCOPED_TRACE(command[0]);
    const RunResult result = runHost(command);
    expectCleanFailure(result, "bad magic");
    EXPECT_EQ(result.exitCode, kExitLoad);
  }
  EXPECT_EQ(dir.entries().size(), 2u) << "output or temporary files left behind";
}

TEST(HostLoad, EntryPointsAndBareFileNamesAreFound) {
  EXPECT_EQ(runHostJson({"info", Paths::mainOnlyFixture()})["name"].string, "Fixture Gain");
  // dlopen would search the system's library paths for a name without a
  // slash; the user means the file right here.
  const ScratchDir dir;
  {
    std::ifstream from(Paths::gainFixture(), std::ios::binary);
    std::ofstream to(dir.path("copied-fixture.so"), std::ios::binary);
    to << from.rdbuf();
  }
  const RunResult result = runHost({"info", "copied-fixture.so", "--json"}, {}, dir.path(""));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(parseJson(result.out)["name"].string, "Fixture Gain");
}

TEST(HostLoad, HostCallsOpenFirstAndCloseLastAndAnswersCanDo) {
  const ScratchDir dir;
  const std::string log = dir.path("log");
  ASSERT_EQ(runHost({"info", Paths::gainFixture()}, {{"VHF_LOG", log}}).exitCode, 0);
  const auto lines = readLines(log);
  ASSERT_GE(lines.size(), 4u);
  // The entry point asks the host first, before there is anything to open.
  EXPECT_EQ(lines[0], "host version 2400");
  EXPECT_EQ(lines[1], "host canDo sendVstMidiEvent 1 somethingNoHostDoes 0");
  EXPECT_EQ(lines[2], "open");
  EXPECT_EQ(lines.back(), "close");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "open"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "close"), 1);
}

// -h is --help on every command, wherever it stands before "--"; every
// option a command's help lists is described in docs/host.md.
TEST(HostLoad, HelpAndVersion) {
  const RunResult help = runHost({"help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* command : {"info", "params", "set", "get", "chunk", "render"})
    EXPECT_NE(help.out.find(std::string("  ") + command + " "), std::string::npos) << command;
  const std::string doc = readText(Paths::doc("host.md"));
  ASSERT_FALSE(doc.empty()) << Paths::doc("host.md");
  for (const char* command :
       {"info", "params", "set", "get", "chunk", "render", "serve", "editor"}) {
    SCOPED_TRACE(command);
    const RunResult result = runHost({command, "-h"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.rfind(std::string("usage: veldrana-host ") + command, 0), 0u)
        << result.out;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("  --", 0) != 0) continue;
      const std::string option = line.substr(2, line.find(' ', 2) - 2);
      EXPECT_NE(doc.find("`" + option), std::string::npos) << option << " is not in docs/host.md";
    }
  }
  const RunResult renderHelp = runHost({"render", "--help"});
  EXPECT_EQ(renderHelp.exitCode, 0);
  EXPECT_NE(renderHelp.out.find("--compensate"), std::string::npos);
  const RunResult late = runHost({"info", Paths::gainFixture(), "-h"});
  EXPECT_EQ(late.exitCode, 0);
  EXPECT_NE(late.out.find("usage:"), std::string::npos);
  for (const char* spelling : {"--version", "version"}) {
    const RunResult result = runHost({spelling});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "veldrana-host 1.0.5\n");
  }
}

}  // namespace
}  // namespace hosttest
