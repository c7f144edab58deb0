// Loading and `info`: the entry point search, every way a file can fail to be
// a usable plug-in, what a plug-in says about itself, and the command line.
#include <filesystem>
#include <sstream>

#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

// Each failure is one clear line and a known exit status, never a crash.
TEST(HostLoad, BadPluginsAndCommandLinesFailCleanly) {
  const ScratchDir dir;
  writeText(dir.path("text.so"), "this is not an ELF file\n");
  writeAudio(dir.path("in.wav"), whiteNoise(2, 48000, 100));
  const std::string badMagic = FIXTURE_BAD_MAGIC_PATH;  // any call into it would crash
  const struct {
    Args args;
    int exitCode;
    const char* mentioning;
  } cases[] = {
      {{"info", "/nonexistent/nothing.so"}, kExitLoad, "/nonexistent/nothing.so: No such file"},
      {{"info", FIXTURE_NO_ENTRY_PATH}, kExitLoad, "no VSTPluginMain or main entry point"},
      {{"info", FIXTURE_NULL_ENTRY_PATH}, kExitLoad, "returned no effect"},
      {{"info", dir.path("text.so")}, kExitLoad, "cannot load"},
      {{"info", dir.path("")}, kExitLoad, "directory"},
      {{"set", badMagic, "0=0.5"}, kExitLoad, "bad magic"},
      {{"chunk", "save", badMagic, dir.path("saved.chunk")}, kExitLoad, "bad magic"},
      {{"render", badMagic, dir.path("in.wav"), dir.path("out.wav")}, kExitLoad, "bad magic"},
      {{"frobnicate", kGain}, kExitUsage, "unknown command"},
      {{"info", kGain, "--frob"}, kExitUsage, "unknown option --frob"},
      {{"info"}, kExitUsage, "usage"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    expectCleanFailure(runHost(c.args), c.mentioning, c.exitCode);
  }
  EXPECT_EQ(dir.entries(), (Args{"in.wav", "text.so"})) << "output or temporary files left behind";
}

TEST(HostLoad, FindsTheMainEntryPointAndBareFileNamesHere) {
  EXPECT_EQ(runHostJson({"info", FIXTURE_MAIN_ONLY_PATH})["name"].string, "Fixture Gain");
  // dlopen would search the library paths for a name without a slash; the
  // user means the file right here.
  const ScratchDir dir;
  std::filesystem::copy_file(kGain, dir.path("copied.so"));
  const RunResult result = runHost({"info", "copied.so", "--json"}, {}, dir.path(""));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(parseJson(result.out)["name"].string, "Fixture Gain");
}

TEST(HostInfo, ReportsWhatThePluginSaysInJsonAndText) {
  const Json info = runHostJson({"info", kGain});
  EXPECT_EQ(info["vendor"].string, "Veldrana Test Fixtures");
  EXPECT_EQ(info["uniqueId"].string, "VhFg");
  EXPECT_EQ(info["uniqueIdNumber"].number, 0x56684667);
  EXPECT_EQ(info["category"].string, "Effect");
  EXPECT_EQ(info["latency"].number, 64);
  ASSERT_EQ(info["flags"].array.size(), 2u);
  EXPECT_EQ(info["canDo"]["receiveVstMidiEvent"].string, "yes");
  EXPECT_EQ(info["canDo"]["offline"].string, "no");
  EXPECT_EQ(info["canDo"]["bypass"].string, "unknown");
  EXPECT_EQ(runHostJson({"info", kGain}, {{"VHF_SYNTH", "1"}})["category"].string, "Synth");
  // What the plug-in prints itself goes to stderr, never into the JSON.
  const RunResult chatty = runHost({"info", kGain, "--json"}, {{"VHF_CHATTY", "1"}});
  EXPECT_NO_THROW(parseJson(chatty.out)) << chatty.out;
  EXPECT_NE(chatty.err.find("hello from the plug-in"), std::string::npos) << chatty.err;

  const Json veldrana = runHostJson({"info", kVeldrana});
  EXPECT_EQ(veldrana["vendorVersion"].number, 65541);
  EXPECT_EQ(veldrana["parameters"].number, 2081);
  const RunResult text = runHost({"info", kVeldrana});
  for (const char* fact : {"Quillworks", "QWvd (0x", "1024 samples", "ProgramChunks"})
    EXPECT_NE(text.out.find(fact), std::string::npos) << fact << "\n" << text.out;
}

// -h is --help on every command, wherever it stands before "--"; every
// option a command's help lists is described in docs/host.md.
TEST(HostLoad, HelpAndVersion) {
  const std::string doc = readText(kDocs + "/host.md"), help = runHost({"help"}).out;
  for (const char* command :
       {"info", "params", "set", "get", "chunk", "render", "serve", "editor"}) {
    EXPECT_NE(help.find(std::string("  ") + command + " "), std::string::npos) << help;
    const RunResult result = runHost({command, "-h"});
    EXPECT_EQ(result.out.rfind(std::string("usage: veldrana-host ") + command, 0), 0u) << command;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);)
      EXPECT_TRUE(line.rfind("  --", 0) != 0 ||
                  doc.find("`" + line.substr(2, line.find(' ', 2) - 2)) != std::string::npos)
          << line << " is not in docs/host.md";
  }
  EXPECT_EQ(runHost({"info", kGain, "-h"}).out.rfind("usage: veldrana-host info", 0), 0u);
  EXPECT_EQ(runHost({"--version"}).out, "veldrana-host 1.0.5\n");
}

}  // namespace
}  // namespace hosttest
