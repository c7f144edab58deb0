// `params`, `set` and `get`: naming parameters (exact, any case, index,
// range), normalized values or values as the plug-in shows them; and `chunk
// save`, `chunk load` and `set --save`: the state goes to a file and comes
// back byte for byte.
#include <unistd.h>

#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

const char* const kLongName = "A rather long parameter name well past eight characters";

TEST(HostParams, ListsFiltersAndLimitsTheParameters) {
  const Json listing = runHostJson({"params", kGain});
  EXPECT_EQ(listing["count"].number, 13);
  const Json& gain = listing["parameters"][0];
  EXPECT_EQ(gain["name"].string + gain["label"].string + gain["display"].string, "Gainx0.500");
  EXPECT_DOUBLE_EQ(gain["value"].number, 0.5);
  EXPECT_EQ(listing["parameters"][12]["name"].string, kLongName) << "long names arrive whole";
  EXPECT_EQ(listing["parameters"][1]["label"].string, "\xEF\xBF\xBD")
      << "text that is not UTF-8 still gives valid JSON (U+FFFD)";
  EXPECT_EQ(runHostJson({"params", kGain, "--match", "bAnD"})["count"].number, 10);
  const RunResult limited = runHost({"params", kGain, "--limit", "3"});
  EXPECT_NE(limited.out.find("0.500 x"), std::string::npos) << limited.out;
  EXPECT_EQ(limited.out.find("Band 1"), std::string::npos) << limited.out;
  EXPECT_NE(limited.out.find("10 more, 13 parameters in all"), std::string::npos) << limited.out;
}

TEST(HostParams, SetAndGetByNameIndexAnyCaseAndRange) {
  const Json result = runHostJson({"set", kGain, "Gain=0.25", "1=0.75", "band 3=0.125",
                                   "Band 6..Band 7=1", "--then", "params"});
  const Json& set = result["set"];
  ASSERT_EQ(set.array.size(), 5u);
  EXPECT_EQ(set[1]["name"].string, "Mix");
  EXPECT_DOUBLE_EQ(set[1]["value"].number, 0.75);
  EXPECT_EQ(set[2]["name"].string, "Band 3");
  const Json& after = result["parameters"];
  EXPECT_EQ(after.named("Gain")["display"].string, "0.250");
  std::vector<double> bands;
  for (int band = 0; band < 10; ++band)
    bands.push_back(after.named("Band " + std::to_string(band))["value"].number);
  EXPECT_EQ(bands, (std::vector<double>{0, 0, 0, 0.125, 0, 0, 1, 1, 0, 0}));
  const Json got = runHostJson({"get", kGain, "mix", "0", "2..3", kLongName})["parameters"];
  ASSERT_EQ(got.array.size(), 5u);
  EXPECT_EQ(got[0]["name"].string, "Mix");
  EXPECT_DOUBLE_EQ(got[0]["value"].number, 1.0);
  EXPECT_EQ(got[3]["name"].string, "Band 1");
  EXPECT_EQ(got[4]["index"].number, 12);
}

// A value typed as the plug-in shows it is looked up among its displays, and
// the normalized value chosen is said; a plain number is taken as it is.
TEST(HostParams, ValuesAsThePluginShowsThemOrRefused) {
  const ScratchDir dir;
  const struct {
    std::string plugin;
    Args assignments;
    const char* name;  // nullptr: refused, `display` is the reason
    double value;
    const char* display;
    bool searched = true;  // among the displays
    int exitCode = kExitUsage;
  } cases[] = {
      // clang-format off
      {kVeldrana, {"FFT Size=2048"}, "FFT Size", 6.0 / 7.0, "2048"},
      {kVeldrana, {"fft size = 32"}, "FFT Size", 0.0, "32"},
      {kVeldrana, {"FFT Size=0.857142"}, "FFT Size", 0.857142, "2048", false},
      {kVeldrana, {"Output Gain=-6 dB"}, "Output Gain", 74.0 / 116.0, "-6"},
      {kGain, {"Gain=0.75 x"}, "Gain", 0.75, "0.750"},
      {kGain, {"Gain=0.5"}, "Gain", 0.5, "0.500", false},
      {kVeldrana, {"FFT Size=2000"}, nullptr, 0, "nearest: 2048"},
      {kVeldrana, {"Output Gain=100 dB"}, nullptr, 0, "from -inf to 36"},
      // Nothing is saved when one name is unknown.
      {kGain, {"Gain=1", "Volume=0.5", "--save", dir.path("x")}, nullptr, 0, "no parameter named 'Volume'", true, kExitFailure},
      {kGain, {"Gain=1.5"}, nullptr, 0, "Gain"},
      {kGain, {"Band 5..Band 2=1"}, nullptr, 0, "backwards"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.assignments[0]);
    Args args = c.assignments;
    args.insert(args.begin(), {"set", c.plugin});
    args.push_back("--json");
    const RunResult result = runHost(args);
    if (!c.name) {
      expectCleanFailure(result, c.display, c.exitCode);
      continue;
    }
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Json report = parseJson(result.out);
    const Json& set = report["set"][0];
    EXPECT_EQ(set["name"].string, c.name);
    EXPECT_NEAR(set["value"].number, c.value, 1e-4);
    EXPECT_NE(set["display"].string.find(c.display), std::string::npos) << set["display"].string;
    EXPECT_EQ(result.err.find("is normalized") != std::string::npos, c.searched) << result.err;
  }
  EXPECT_TRUE(dir.entries().empty());
  expectCleanFailure(runHost({"get", kGain, "13"}), "out of range");
}

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
  EXPECT_EQ(bytes.substr(0, 4) + bytes.substr(8, 4) + bytes.substr(16, 4), "CcnKFBChVhFg");
  EXPECT_EQ(bigEndian(bytes, 4), bytes.size() - 8);
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
  writeText(dir.path("raw.chunk"), good.substr(160));
  writeText(dir.path("foreign.fxb"), good.substr(0, 16) + "XyZw" + good.substr(20));
  writeText(dir.path("values.fxb"), good.substr(0, 8) + "FxBk" + good.substr(12));
  const Environment noChunks{{"VHF_NO_CHUNKS", "1"}};
  const struct {
    Args args;  // after the plug-in; files are in the folder
    Environment environment;
    const char* mentioning;
  } cases[] = {
      {{"load", "raw.chunk"}, {}, "is not a .fxp or .fxb preset (a raw chunk needs --raw)"},
      {{"load", "foreign.fxb"}, {}, "ID XyZw, not of"},
      {{"load", "values.fxb"}, {}, "parameter values, not a chunk"},
      {{"load", "good.fxb"}, noChunks, "does not declare ProgramChunks"},
      {{"load", "good.fxb", "--program"}, {}, "holds a bank"},
      {{"load", ""}, {}, ": it is a directory"},
      {{"save", "x.chunk"}, noChunks, "gave no bank chunk"},
      {{"save", "good.fxb/inside.chunk"}, {}, "cannot write"},
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
