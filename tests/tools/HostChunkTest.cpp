// `chunk save`, `chunk load` and `set --save`: the plug-in's state goes to a
// file and comes back byte for byte.
#include <unistd.h>

#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

// The fixture's chunk: "VHFC", 13 floats, then 'B' for a bank or 'P' for a
// program.
constexpr size_t kChunkSize = 4 + 13 * 4 + 1;

double gainAfterLoading(const std::string& file, const Args& extra = {}) {
  Args args{"chunk", "load", kGain, file, "--then", "params"};
  args.insert(args.end(), extra.begin(), extra.end());
  return runHostJson(args)["parameters"][0]["value"].number;
}

uint32_t bigEndian(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

TEST(HostChunk, BanksProgramsAndRawChunksRoundTrip) {
  const ScratchDir dir;
  const std::string bank = dir.path("state.fxb"), program = dir.path("program.fxp");
  const Json saved = runHostJson({"chunk", "save", kGain, bank, "--set", "Gain=0.25"});
  EXPECT_EQ(saved["bytes"].number, kChunkSize);
  std::string bytes = readText(bank);
  ASSERT_EQ(bytes.size(), 160 + kChunkSize);
  EXPECT_EQ(bytes.substr(0, 4), "CcnK");
  EXPECT_EQ(bigEndian(bytes, 4), bytes.size() - 8);
  EXPECT_EQ(bytes.substr(8, 4), "FBCh");
  EXPECT_EQ(bytes.substr(16, 4), "VhFg");
  EXPECT_EQ(bigEndian(bytes, 156), kChunkSize);
  EXPECT_EQ(bytes.substr(160, 4) + bytes.back(), "VHFCB");
  EXPECT_DOUBLE_EQ(gainAfterLoading(bank), 0.25);

  // The preset says it is a program; --program may say so too.
  ASSERT_EQ(runHost({"chunk", "save", kGain, program, "--program", "--set", "Gain=0.75"}).exitCode,
            0);
  bytes = readText(program);
  EXPECT_EQ(bytes.substr(8, 4), "FPCh");
  EXPECT_EQ(bigEndian(bytes, 24), 13u);  // the plug-in's parameters
  ASSERT_EQ(runHost({"chunk", "load", kGain, program}, {{"VHF_LOG", dir.path("log")}}).exitCode, 0);
  EXPECT_EQ(readLines(dir.path("log"), "set chunk"), Args{"set chunk 57 program"});
  EXPECT_DOUBLE_EQ(gainAfterLoading(program, {"--program"}), 0.75);

  const std::string raw = dir.path("state.chunk");
  const RunResult set = runHost({"set", kGain, "Gain=0.125", "--save", raw});
  EXPECT_NE(set.out.find("saved 57 bytes of bank chunk"), std::string::npos) << set.out;
  ASSERT_EQ(
      runHost({"chunk", "save", kGain, raw, "--raw", "--program", "--set", "Gain=0.5"}).exitCode,
      0);
  bytes = readText(raw);
  ASSERT_EQ(bytes.size(), kChunkSize);
  EXPECT_EQ(bytes.substr(0, 4) + bytes.back(), "VHFCP");
  EXPECT_DOUBLE_EQ(gainAfterLoading(raw, {"--raw", "--program"}), 0.5);
}

// Only a preset of this very plug-in loads: nothing else is taken for its
// state, nothing at all goes to a plug-in without chunks, and a failed save
// leaves no file.
TEST(HostChunk, RefusesWhatIsNotThisPluginsPresetOrCannotBeWritten) {
  const ScratchDir dir;
  ASSERT_EQ(runHost({"chunk", "save", kGain, dir.path("good.fxb")}).exitCode, 0);
  const std::string good = readText(dir.path("good.fxb"));
  writeText(dir.path("foreign.fxb"), good.substr(0, 16) + "XyZw" + good.substr(20));
  writeText(dir.path("values.fxb"), good.substr(0, 8) + "FxBk" + good.substr(12));
  writeText(dir.path("cut.fxb"), good.substr(0, good.size() - 1));
  writeText(dir.path("random.bin"), std::string("\x13\x37\xC0\xDE random", 10));
  const Environment noChunks{{"VHF_NO_CHUNKS", "1"}};
  const struct {
    Args args;  // after the plug-in; files are in the folder
    Environment environment;
    const char* mentioning;
  } cases[] = {
      {{"load", "random.bin"}, {}, "is not a .fxp or .fxb preset (a raw chunk needs --raw)"},
      {{"load", "foreign.fxb"}, {}, "ID XyZw, not of"},
      {{"load", "cut.fxb"}, {}, "follow"},
      {{"load", "values.fxb"}, {}, "parameter values, not a chunk"},
      {{"load", "good.fxb"}, noChunks, "does not declare ProgramChunks"},
      {{"load", "good.fxb", "--program"}, {}, "holds a bank"},
      {{"load", ""}, {}, ": it is a directory"},
      {{"save", "x.chunk"}, noChunks, "gave no bank chunk"},
      {{"save", "good.fxb/inside.chunk"}, {}, "cannot write"},
      {{"copy", "x"}, {}, "'save' or 'load'"},
  };
  const Args before = dir.entries();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    Args args{"chunk", c.args[0], kGain, dir.path(c.args[1])};
    args.insert(args.end(), c.args.begin() + 2, c.args.end());
    Environment environment = c.environment;
    environment["VHF_LOG"] = dir.path("log");
    expectCleanFailure(runHost(args, environment), c.mentioning);
    EXPECT_EQ(readLines(dir.path("log"), "set chunk"), Args{});
    unlink(dir.path("log").c_str());
    EXPECT_EQ(dir.entries(), before);
  }
}

TEST(HostChunk, VeldranaStateRoundTripsInItsFixedSize) {
  const ScratchDir dir;
  const std::string file = dir.path("v.chunk");
  const Json saved = runHostJson({"chunk", "save", kVeldrana, file, "--set", "FFT Size=0.857142",
                                  "--set", "Bin 3 Level..Bin 5 Level=0.25", "--set", "2080=1"});
  EXPECT_EQ(saved["bytes"].number, 8500);
  EXPECT_EQ(readText(file).substr(16, 4), "QWvd");
  expectCleanFailure(runHost({"chunk", "load", kGain, file}), "ID QWvd, not of");
  const Json loaded =
      runHostJson({"chunk", "load", kVeldrana, file, "--then", "params"})["parameters"];
  EXPECT_NEAR(loaded.named("FFT Size")["value"].number, 0.857142, 1e-6);
  EXPECT_NEAR(loaded.named("Bin 4 Level")["value"].number, 0.25, 1e-6);
  EXPECT_NEAR(loaded[2080]["value"].number, 1.0, 1e-6) << "the last value is restored too";
}

}  // namespace
}  // namespace hosttest
