// Loading: the entry point search, and every way a file can fail to be a
// usable plug-in. Each failure must be one clear line and a non-zero exit,
// never a crash.
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

constexpr int kExitLoad = 3;

TEST(HostLoad, MissingFileIsReportedWithItsPath) {
  const RunResult result = runHost({"info", "/nonexistent/nothing.so"});
  expectCleanFailure(result, "/nonexistent/nothing.so");
  EXPECT_EQ(result.exitCode, kExitLoad);
  EXPECT_NE(result.err.find("No such file"), std::string::npos) << result.err;
}

TEST(HostLoad, LibraryWithoutEntryPointIsRefused) {
  const RunResult result = runHost({"info", Paths::noEntryFixture()});
  expectCleanFailure(result, "no VSTPluginMain or main entry point");
  EXPECT_EQ(result.exitCode, kExitLoad);
}

TEST(HostLoad, EntryPointReturningNullIsRefused) {
  const RunResult result = runHost({"info", Paths::nullEntryFixture()});
  expectCleanFailure(result, "returned no effect");
  EXPECT_EQ(result.exitCode, kExitLoad);
}

TEST(HostLoad, BadMagicIsRefusedWithoutCallingTheRecord) {
  // The fixture's dispatcher is null: any call into it would crash.
  const RunResult result = runHost({"info", Paths::badMagicFixture()});
  expectCleanFailure(result, "bad magic");
  EXPECT_EQ(result.exitCode, kExitLoad);
}

TEST(HostLoad, FileThatIsNoLibraryIsRefused) {
  const ScratchDir dir;
  writeText(dir.path("text.so"), "this is not an ELF file\n");
  const RunResult result = runHost({"info", dir.path("text.so")});
  expectCleanFailure(result, "cannot load");
  EXPECT_EQ(result.exitCode, kExitLoad);
}

TEST(HostLoad, DirectoryIsRefused) {
  const ScratchDir dir;
  const RunResult result = runHost({"info", dir.path("")});
  expectCleanFailure(result, "directory");
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
  EXPECT_FALSE(fileExists(dir.path("saved.chunk")));
  EXPECT_FALSE(fileExists(dir.path("out.wav")));
  EXPECT_EQ(dir.entries().size(), 2u) << "temporary files left behind";
}

TEST(HostLoad, PluginExportingOnlyMainIsFound) {
  const Json info = runHostJson({"info", Paths::mainOnlyFixture()});
  EXPECT_EQ(info["name"].string, "Fixture Gain");
}

TEST(HostLoad, BareFileNameMeansTheFileInTheCurrentFolder) {
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

TEST(HostLoad, HostSendsOpenFirstAndCloseLast) {
  const ScratchDir dir;
  const std::string log = dir.path("log");
  ASSERT_EQ(runHost({"info", Paths::gainFixture()}, {{"VHF_LOG", log}}).exitCode, 0);
  const auto lines = readLines(log);
  ASSERT_GE(lines.size(), 4u);
  // The entry point asks the host first, before there is anything to open.
  EXPECT_EQ(lines[0], "host version 2400");
  EXPECT_EQ(lines[2], "open");
  EXPECT_EQ(lines.back(), "close");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "open"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "close"), 1);
}

TEST(HostLoad, HostCallbackAnswersCanDoOnlyForWhatItDoes) {
  const ScratchDir dir;
  const std::string log = dir.path("log");
  ASSERT_EQ(runHost({"info", Paths::gainFixture()}, {{"VHF_LOG", log}}).exitCode, 0);
  const auto lines = readLines(log);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1], "host canDo sendVstMidiEvent 1 somethingNoHostDoes 0");
}

TEST(HostLoad, UnknownCommandAndOptionAreUsageErrors) {
  constexpr int kExitUsage = 2;
  RunResult result = runHost({"frobnicate", Paths::gainFixture()});
  expectCleanFailure(result, "unknown command");
  EXPECT_EQ(result.exitCode, kExitUsage);
  result = runHost({"info", Paths::gainFixture(), "--frob"});
  expectCleanFailure(result, "unknown option --frob");
  EXPECT_EQ(result.exitCode, kExitUsage);
  result = runHost({"info"});
  expectCleanFailure(result, "usage");
  EXPECT_EQ(result.exitCode, kExitUsage);
}

TEST(HostLoad, HelpListsTheCommands) {
  const RunResult result = runHost({"help"});
  EXPECT_EQ(result.exitCode, 0);
  for (const char* command : {"info", "params", "set", "get", "chunk", "render"})
    EXPECT_NE(result.out.find(std::string("  ") + command + " "), std::string::npos) << command;
  const RunResult renderHelp = runHost({"render", "--help"});
  EXPECT_EQ(renderHelp.exitCode, 0);
  EXPECT_NE(renderHelp.out.find("--compensate"), std::string::npos);
}

// -h is --help on every command, wherever it stands before "--"; every
// option a command's help lists is described in docs/host.md.
TEST(HostLoad, ShortHelpWorksOnEveryCommand) {
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
  const RunResult late = runHost({"info", Paths::gainFixture(), "-h"});
  EXPECT_EQ(late.exitCode, 0);
  EXPECT_NE(late.out.find("usage:"), std::string::npos);
}

TEST(HostLoad, VersionIsTheProjects) {
  for (const char* spelling : {"--version", "version"}) {
    const RunResult result = runHost({spelling});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "veldrana-host 1.0.5\n");
  }
}

}  // namespace
}  // namespace hosttest
