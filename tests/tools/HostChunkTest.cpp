// `chunk save`, `chunk load` and `set --save`: the plug-in's state goes to a
// file and comes back byte for byte.
#include <unistd.h>

#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

// The fixture's chunk: "VHFC", 13 floats, then 'B' for a bank or 'P' for a
// program.
constexpr size_t kFixtureChunkSize = 4 + 13 * 4 + 1;

double gainAfterLoading(const std::string& chunkFile, const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args{"chunk",   "load",   Paths::gainFixture(),
                                chunkFile, "--then", "params"};
  args.insert(args.end(), extra.begin(), extra.end());
  const Json loaded = runHostJson(args);
  return loaded["parameters"][0]["value"].number;
}

// Big-endian, as preset files store their numbers.
uint32_t word(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

TEST(HostChunk, SavedBankIsAnFxbWithThePluginsIdentity) {
  const ScratchDir dir;
  const std::string file = dir.path("state.fxb");
  const Json saved =
      runHostJson({"chunk", "save", Paths::gainFixture(), file, "--set", "Gain=0.25"});
  EXPECT_EQ(saved["bytes"].number, kFixtureChunkSize);
  EXPECT_EQ(saved["kind"].string, "bank");
  EXPECT_EQ(saved["format"].string, "fxb");
  const std::string bytes = readText(file);
  ASSERT_EQ(bytes.size(), 160 + kFixtureChunkSize);
  EXPECT_EQ(saved["fileBytes"].number, bytes.size());
  EXPECT_EQ(bytes.substr(0, 4), "CcnK");
  EXPECT_EQ(word(bytes, 4), bytes.size() - 8);
  EXPECT_EQ(bytes.substr(8, 4), "FBCh");
  EXPECT_EQ(bytes.substr(16, 4), "VhFg");
  EXPECT_EQ(word(bytes, 20), 1u);  // the plug-in's version
  EXPECT_EQ(word(bytes, 24), 1u);  // its programs
  EXPECT_EQ(word(bytes, 156), kFixtureChunkSize);
  EXPECT_EQ(bytes.substr(160, 4), "VHFC");
  EXPECT_EQ(bytes.back(), 'B');
  EXPECT_DOUBLE_EQ(gainAfterLoading(file), 0.25);
  const std::string log = dir.path("log");
  ASSERT_EQ(runHost({"chunk", "load", Paths::gainFixture(), file}, {{"VHF_LOG", log}}).exitCode, 0);
  const auto lines = readLines(log);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "set chunk 57 bank"), lines.end());
}

TEST(HostChunk, RawSaveAndLoadKeepTheBytesAlone) {
  const ScratchDir dir;
  const std::string file = dir.path("state.chunk");
  const Json saved = runHostJson(
      {"chunk", "save", Paths::gainFixture(), file, "--raw", "--program", "--set", "Gain=0.5"});
  EXPECT_EQ(saved["format"].string, "raw");
  const std::string bytes = readText(file);
  ASSERT_EQ(bytes.size(), kFixtureChunkSize);
  EXPECT_EQ(bytes.substr(0, 4), "VHFC");
  EXPECT_EQ(bytes.back(), 'P');
  EXPECT_DOUBLE_EQ(gainAfterLoading(file, {"--raw", "--program"}), 0.5);
}

// Only a preset of this very plug-in loads: nothing else is taken for its
// state, nothing at all goes to a plug-in without chunks, and a failed save
// leaves no file.
TEST(HostChunk, RefusesWhatIsNotThisPluginsPresetOrCannotBeWritten) {
  const ScratchDir dir;
  ASSERT_EQ(runHost({"chunk", "save", Paths::gainFixture(), dir.path("good.fxb")}).exitCode, 0);
  const std::string good = readText(dir.path("good.fxb"));
  std::string foreign = good;
  foreign.replace(16, 4, "XyZw");
  std::string values = good;
  values.replace(8, 4, "FxBk");
  writeAudio(dir.path("audio.wav"), testSignal(1, 8000, 100));
  writeText(dir.path("foreign.fxb"), foreign);
  writeText(dir.path("cut.fxb"), good.substr(0, good.size() - 1));
  writeText(dir.path("values.fxb"), values);
  writeText(dir.path("random.bin"), std::string("\x13\x37\xC0\xDE random", 10));
  writeText(dir.path("empty.chunk"), "");
  const std::map<std::string, std::string> noChunks{{"VHF_NO_CHUNKS", "1"}};
  const struct {
    std::vector<std::string> args;  // after the plug-in; a name without '/' is in the folder
    std::map<std::string, std::string> environment;
    const char* mentioning;
  } cases[] = {
      {{"load", "audio.wav"}, {}, "is not a .fxp or .fxb preset (a raw chunk needs --raw)"},
      {{"load", "random.bin"}, {}, "is not a .fxp or .fxb preset"},
      {{"load", "foreign.fxb"}, {}, "ID XyZw, not of"},
      {{"load", "cut.fxb"}, {}, "follow"},
      {{"load", "values.fxb"}, {}, "parameter values, not a chunk"},
      {{"load", "good.fxb"}, noChunks, "does not declare ProgramChunks"},
      {{"load", "good.fxb", "--program"}, {}, "holds a bank"},
      {{"load", "missing.chunk"}, {}, "missing.chunk"},
      {{"load", "empty.chunk"}, {}, "is empty"},
      {{"load", ""}, {}, ": it is a directory"},
      {{"load", "."}, {}, ": it is a directory"},
      {{"save", "x.chunk"}, noChunks, "gave no bank chunk"},
      {{"save", "good.fxb/inside.chunk"}, {}, "cannot write"},
      {{"copy", "x"}, {}, "'save' or 'load'"},
  };
  const auto before = dir.entries().size();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    std::vector<std::string> args{"chunk", c.args[0], Paths::gainFixture(), dir.path(c.args[1])};
    args.insert(args.end(), c.args.begin() + 2, c.args.end());
    std::map<std::string, std::string> environment = c.environment;
    environment["VHF_LOG"] = dir.path("log");
    const RunResult result = runHost(args, environment);
    expectCleanFailure(result, c.mentioning);
    for (const auto& line : readLines(dir.path("log")))
      EXPECT_EQ(line.rfind("set chunk", 0), std::string::npos);
    unlink(dir.path("log").c_str());
    EXPECT_EQ(dir.entries().size(), before);
  }
}

TEST(HostChunk, ProgramChunksUseTheProgramIndex) {
  const ScratchDir dir;
  const std::string file = dir.path("program.fxp");
  ASSERT_EQ(
      runHost({"chunk", "save", Paths::gainFixture(), file, "--program", "--set", "Gain=0.75"})
          .exitCode,
      0);
  const std::string bytes = readText(file);
  EXPECT_EQ(bytes.substr(8, 4), "FPCh");
  EXPECT_EQ(word(bytes, 24), 13u);  // the plug-in's parameters
  EXPECT_EQ(bytes.back(), 'P');
  // The preset says it is a program; --program may say so too.
  const std::string log = dir.path("log");
  ASSERT_EQ(runHost({"chunk", "load", Paths::gainFixture(), file}, {{"VHF_LOG", log}}).exitCode, 0);
  const auto lines = readLines(log);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "set chunk 57 program"), lines.end());
  EXPECT_DOUBLE_EQ(gainAfterLoading(file, {"--program"}), 0.75);
}

TEST(HostChunk, SetCanSaveTheResultingState) {
  const ScratchDir dir;
  const std::string file = dir.path("state.chunk");
  const RunResult result = runHost({"set", Paths::gainFixture(), "Gain=0.125", "--save", file});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("saved 57 bytes of bank chunk"), std::string::npos) << result.out;
  EXPECT_DOUBLE_EQ(gainAfterLoading(file), 0.125);
}

TEST(HostChunk, ThirdPartyStateRoundTrips) {
  const std::string lsp = Paths::lsp("comp-delay-stereo.so");
  SKIP_WITHOUT_LSP(lsp);
  const ScratchDir dir;
  const std::string file = dir.path("lsp.chunk");
  const Json saved = runHostJson({"chunk", "save", lsp, file, "--set", "samp=0.01"});
  EXPECT_GT(saved["bytes"].number, 0);
  const Json loaded = runHostJson({"chunk", "load", lsp, file, "--then", "params"});
  bool found = false;
  for (const auto& p : loaded["parameters"].array)
    if (p["name"].string == "samp") {
      found = true;
      EXPECT_NEAR(p["value"].number, 0.01, 1e-6);
    }
  EXPECT_TRUE(found);
}

TEST(HostChunk, VeldranaStateChunkHasItsFixedSize) {
  ASSERT_TRUE(fileExists(Paths::veldrana())) << "build the Veldrana target first";
  const ScratchDir dir;
  const Json saved = runHostJson(
      {"chunk", "save", Paths::veldrana(), dir.path("v.chunk"), "--set", "FFT Size=0.857142"});
  EXPECT_EQ(saved["bytes"].number, 8500);
  EXPECT_EQ(readText(dir.path("v.chunk")).substr(16, 4), "QWvd");
  expectCleanFailure(runHost({"chunk", "load", Paths::gainFixture(), dir.path("v.chunk")}),
                     "ID QWvd, not of");
  const Json loaded = runHostJson({"chunk", "load", Paths::veldrana(), dir.path("v.chunk"),
                                   "--then", "params", "--match", "FFT Size"});
  ASSERT_EQ(loaded["parameters"].array.size(), 1u);
  EXPECT_NEAR(loaded["parameters"][0]["value"].number, 0.857142, 1e-6);
}

}  // namespace
}  // namespace hosttest
