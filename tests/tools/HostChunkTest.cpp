// `chunk save`, `chunk load` and `set --save`: the plug-in's state goes to a
// file and comes back byte for byte.
#include <fstream>
#include <iterator>

#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

// The fixture's chunk: "VHFC", 13 floats, then 'B' for a bank or 'P' for a
// program.
constexpr size_t kFixtureChunkSize = 4 + 13 * 4 + 1;

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

double gainAfterLoading(const std::string& chunkFile, const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args{"chunk",   "load",   Paths::gainFixture(),
                                chunkFile, "--then", "params"};
  args.insert(args.end(), extra.begin(), extra.end());
  const Json loaded = runHostJson(args);
  return loaded["parameters"][0]["value"].number;
}

TEST(HostChunk, SavedBankRestoresTheParameters) {
  const ScratchDir dir;
  const std::string file = dir.path("state.chunk");
  const Json saved =
      runHostJson({"chunk", "save", Paths::gainFixture(), file, "--set", "Gain=0.25"});
  EXPECT_EQ(saved["bytes"].number, kFixtureChunkSize);
  EXPECT_EQ(saved["kind"].string, "bank");
  const std::string bytes = readBytes(file);
  ASSERT_EQ(bytes.size(), kFixtureChunkSize);
  EXPECT_EQ(bytes.substr(0, 4), "VHFC");
  EXPECT_EQ(bytes.back(), 'B');
  EXPECT_DOUBLE_EQ(gainAfterLoading(file), 0.25);
}

TEST(HostChunk, LoadHandsTheWholeFileToThePlugin) {
  const ScratchDir dir;
  const std::string file = dir.path("state.chunk");
  ASSERT_EQ(runHost({"chunk", "save", Paths::gainFixture(), file}).exitCode, 0);
  const std::string log = dir.path("log");
  ASSERT_EQ(runHost({"chunk", "load", Paths::gainFixture(), file}, {{"VHF_LOG", log}}).exitCode, 0);
  const auto lines = readLines(log);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "set chunk 57 bank"), lines.end());
}

TEST(HostChunk, ProgramChunksUseTheProgramIndex) {
  const ScratchDir dir;
  const std::string file = dir.path("program.chunk");
  ASSERT_EQ(
      runHost({"chunk", "save", Paths::gainFixture(), file, "--program", "--set", "Gain=0.75"})
          .exitCode,
      0);
  EXPECT_EQ(readBytes(file).back(), 'P');
  const std::string log = dir.path("log");
  ASSERT_EQ(runHost({"chunk", "load", Paths::gainFixture(), file, "--program"}, {{"VHF_LOG", log}})
                .exitCode,
            0);
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

TEST(HostChunk, PluginWithoutChunksFailsAndLeavesNoFile) {
  const ScratchDir dir;
  const RunResult result = runHost({"chunk", "save", Paths::gainFixture(), dir.path("x.chunk")},
                                   {{"VHF_NO_CHUNKS", "1"}});
  expectCleanFailure(result, "gave no bank chunk");
  EXPECT_TRUE(dir.entries().empty());
}

TEST(HostChunk, MissingOrEmptyChunkFileFails) {
  const ScratchDir dir;
  RunResult result = runHost({"chunk", "load", Paths::gainFixture(), dir.path("missing.chunk")});
  expectCleanFailure(result, "missing.chunk");
  writeText(dir.path("empty.chunk"), "");
  result = runHost({"chunk", "load", Paths::gainFixture(), dir.path("empty.chunk")});
  expectCleanFailure(result, "is empty");
  result = runHost({"chunk", "load", Paths::gainFixture(), dir.path("")});
  expectCleanFailure(result, "directory");
}

TEST(HostChunk, UnwritableChunkPathFailsCleanly) {
  const ScratchDir dir;
  writeText(dir.path("file"), "x");
  const RunResult result =
      runHost({"chunk", "save", Paths::gainFixture(), dir.path("file/inside.chunk")});
  expectCleanFailure(result, "cannot write");
  EXPECT_EQ(dir.entries().size(), 1u);
}

TEST(HostChunk, SaveRefusesAnUnknownAction) {
  const RunResult result = runHost({"chunk", "copy", Paths::gainFixture(), "x"});
  expectCleanFailure(result, "'save' or 'load'");
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
  const Json loaded = runHostJson({"chunk", "load", Paths::veldrana(), dir.path("v.chunk"),
                                   "--then", "params", "--match", "FFT Size"});
  ASSERT_EQ(loaded["parameters"].array.size(), 1u);
  EXPECT_NEAR(loaded["parameters"][0]["value"].number, 0.857142, 1e-6);
}

}  // namespace
}  // namespace hosttest
