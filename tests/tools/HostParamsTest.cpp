// `params`, `set` and `get`: naming parameters (exact, any case, index,
// range), normalized values or values as the plug-in shows them.
#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

const char* const kLongName = "A rather long parameter name well past eight characters";

TEST(HostParams, ListsFiltersAndLimitsTheParameters) {
  const Json listing = runHostJson({"params", kGain});
  EXPECT_EQ(listing["count"].number, 13);
  const Json& gain = listing["parameters"][0];
  EXPECT_EQ(gain["name"].string, "Gain");
  EXPECT_EQ(gain["label"].string, "x");
  EXPECT_EQ(gain["display"].string, "0.500");
  EXPECT_DOUBLE_EQ(gain["value"].number, 0.5);
  EXPECT_EQ(listing["parameters"][12]["name"].string, kLongName) << "long names arrive whole";
  EXPECT_EQ(listing["parameters"][1]["label"].string, "\xEF\xBF\xBD")
      << "text that is not UTF-8 still gives valid JSON (U+FFFD)";
  const Json bands = runHostJson({"params", kGain, "--match", "bAnD"});
  EXPECT_EQ(bands["count"].number, 10);
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
  for (int band = 0; band < 10; ++band)
    EXPECT_DOUBLE_EQ(after.named("Band " + std::to_string(band))["value"].number,
                     band == 3                ? 0.125
                     : band == 6 || band == 7 ? 1.0
                                              : 0.0)
        << band;
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
      {kVeldrana, {"Output Gain=36dB"}, "Output Gain", 1.0, "36"},
      {kGain, {"Gain=0.75 x"}, "Gain", 0.75, "0.750"},
      {kGain, {"Gain=0.5"}, "Gain", 0.5, "0.500", false},
      {kVeldrana, {"FFT Size=2000"}, nullptr, 0, "nearest: 2048"},
      {kVeldrana, {"Output Gain=-6 Hz"}, nullptr, 0, "'dB'"},
      {kVeldrana, {"Output Gain=100 dB"}, nullptr, 0, "from -inf to 36"},
      {kVeldrana, {"FFT Size=huge"}, nullptr, 0, "a value it displays"},
      // Nothing is saved when one name is unknown.
      {kGain, {"Gain=1", "Volume=0.5", "--save", dir.path("x")}, nullptr, 0, "no parameter named 'Volume'", true, kExitFailure},
      {kGain, {"Gain=1.5"}, nullptr, 0, "Gain"},
      {kGain, {"Gain"}, nullptr, 0, "Gain"},
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
      expectCleanFailure(result, c.display);
      EXPECT_EQ(result.exitCode, c.exitCode);
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
  EXPECT_EQ(runHostJson({"params", kVeldrana, "--limit", "40"})["parameters"].array.size(), 40u);
}

}  // namespace
}  // namespace hosttest
