// `params`, `set` and `get`: naming parameters (exact, any case, index,
// range), normalized values, and how the results are shown.
#include <cmath>

#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
const char* const kLongName = "A rather long parameter name well past eight characters";

const Json& findParameter(const Json& parameters, const std::string& name) {
  for (const auto& p : parameters.array)
    if (p["name"].string == name) return p;
  throw std::runtime_error("no parameter " + name);
}

TEST(HostParams, ListsFiltersAndLimitsTheParameters) {
  const Json listing = runHostJson({"params", Paths::gainFixture()});
  EXPECT_EQ(listing["total"].number, 13);
  EXPECT_EQ(listing["count"].number, 13);
  const Json& parameters = listing["parameters"];
  ASSERT_EQ(parameters.array.size(), 13u);
  EXPECT_EQ(parameters[0]["index"].number, 0);
  EXPECT_EQ(parameters[0]["name"].string, "Gain");
  EXPECT_EQ(parameters[0]["label"].string, "x");
  EXPECT_EQ(parameters[0]["display"].string, "0.500");
  EXPECT_DOUBLE_EQ(parameters[0]["value"].number, 0.5);
  EXPECT_EQ(parameters[2]["name"].string, "Band 0");
  EXPECT_EQ(parameters[11]["name"].string, "Band 9");
  EXPECT_EQ(parameters[12]["name"].string, kLongName) << "long names arrive whole";
  EXPECT_EQ(parameters[1]["label"].string, "\xEF\xBF\xBD") << "text that is not UTF-8 still "
                                                              "gives valid JSON (U+FFFD)";
  const RunResult table = runHost({"params", Paths::gainFixture()});
  ASSERT_EQ(table.exitCode, 0) << table.err;
  EXPECT_NE(table.out.find("0.500 x"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("13 parameters"), std::string::npos) << table.out;
  const Json bands = runHostJson({"params", Paths::gainFixture(), "--match", "bAnD"});
  EXPECT_EQ(bands["count"].number, 10);
  for (const auto& p : bands["parameters"].array)
    EXPECT_EQ(p["name"].string.rfind("Band ", 0), 0u) << p["name"].string;
  const RunResult limited = runHost({"params", Paths::gainFixture(), "--limit", "3"});
  ASSERT_EQ(limited.exitCode, 0) << limited.err;
  EXPECT_NE(limited.out.find("Mix"), std::string::npos);
  EXPECT_EQ(limited.out.find("Band 1"), std::string::npos);
  EXPECT_NE(limited.out.find("10 more, 13 parameters in all"), std::string::npos) << limited.out;
  const Json first = runHostJson({"params", Paths::gainFixture(), "--limit", "3"});
  EXPECT_EQ(first["count"].number, 13);
  EXPECT_EQ(first["parameters"].array.size(), 3u);
}

TEST(HostParams, SetAndGetByExactNameIndexAnyCaseAndRange) {
  const Json result = runHostJson(
      {"set", Paths::gainFixture(), "Gain=0.25", "1=0.75", "band 3=0.125", "--then", "params"});
  const Json& set = result["set"];
  ASSERT_EQ(set.array.size(), 3u);
  EXPECT_EQ(set[0]["name"].string, "Gain");
  EXPECT_DOUBLE_EQ(set[0]["value"].number, 0.25);
  EXPECT_EQ(set[1]["name"].string, "Mix");
  EXPECT_DOUBLE_EQ(set[1]["value"].number, 0.75);
  EXPECT_EQ(set[2]["name"].string, "Band 3");
  EXPECT_DOUBLE_EQ(set[2]["value"].number, 0.125);
  const Json& after = result["parameters"];
  EXPECT_EQ(findParameter(after, "Gain")["display"].string, "0.250");
  EXPECT_DOUBLE_EQ(findParameter(after, "Band 2")["value"].number, 0.0);
  const Json got =
      runHostJson({"get", Paths::gainFixture(), "mix", "0", "Band 8..Band 9", kLongName});
  const Json& p = got["parameters"];
  ASSERT_EQ(p.array.size(), 5u);
  EXPECT_EQ(p[0]["name"].string, "Mix");
  EXPECT_DOUBLE_EQ(p[0]["value"].number, 1.0);
  EXPECT_EQ(p[1]["name"].string, "Gain");
  EXPECT_EQ(p[2]["name"].string, "Band 8");
  EXPECT_EQ(p[3]["name"].string, "Band 9");
  EXPECT_EQ(p[4]["index"].number, 12);
}

TEST(HostParams, SetARangeByNamesOrIndices) {
  Json result = runHostJson({"set", Paths::gainFixture(), "Band 2..Band 5=1", "--then", "params"});
  EXPECT_EQ(result["set"].array.size(), 4u);
  for (int band = 0; band < 10; ++band) {
    const double expected = band >= 2 && band <= 5 ? 1.0 : 0.0;
    EXPECT_DOUBLE_EQ(
        findParameter(result["parameters"], "Band " + std::to_string(band))["value"].number,
        expected)
        << band;
  }
  result = runHostJson({"set", Paths::gainFixture(), "2..4=0.5"});
  ASSERT_EQ(result["set"].array.size(), 3u);
  EXPECT_EQ(result["set"][2]["name"].string, "Band 2");
  const RunResult text = runHost({"set", Paths::gainFixture(), "Band 0..Band 9=0.5"});
  ASSERT_EQ(text.exitCode, 0) << text.err;
  EXPECT_NE(text.out.find("Band 0 .. Band 9 (10 parameters) to 0.500000"), std::string::npos)
      << text.out;
}

TEST(HostParams, BadNamesValuesAndRangesAreRefused) {
  const ScratchDir dir;
  const struct {
    std::vector<std::string> args;  // after the plug-in
    const char* message;
    int exitCode;
  } cases[] = {
      // Nothing is saved when one name is unknown.
      {{"Gain=1", "Volume=0.5", "--save", dir.path("state.chunk")},
       "no parameter named 'Volume'",
       kExitFailure},
      {{"Gain=1.5"}, "Gain", kExitUsage},
      {{"Gain=-0.1"}, "Gain", kExitUsage},
      {{"Gain=loud"}, "Gain", kExitUsage},
      {{"Gain="}, "Gain", kExitUsage},
      {{"Gain"}, "Gain", kExitUsage},
      {{"Band 5..Band 2=1"}, "backwards", 0},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"set", Paths::gainFixture()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(args[2]);
    const RunResult result = runHost(args);
    expectCleanFailure(result, c.message);
    if (c.exitCode != 0) {
      EXPECT_EQ(result.exitCode, c.exitCode);
    }
  }
  EXPECT_TRUE(dir.entries().empty());
  expectCleanFailure(runHost({"get", Paths::gainFixture(), "13"}), "out of range");
}

TEST(HostParams, AutomationTheHostHearsIsReported) {
  const Json result =
      runHostJson({"set", Paths::gainFixture(), "Gain=0.5"}, {{"VHF_AUTOMATE", "1"}});
  ASSERT_EQ(result["automation"].array.size(), 1u);
  EXPECT_EQ(result["automation"][0]["index"].number, 1);
  EXPECT_DOUBLE_EQ(result["automation"][0]["value"].number, 0.25);
}

TEST(HostParams, ThirdPartyParametersAreListedAndSet) {
  const std::string lsp = Paths::lsp("comp-delay-stereo.so");
  SKIP_WITHOUT_LSP(lsp);
  const Json listing = runHostJson({"params", lsp});
  EXPECT_GT(listing["count"].number, 0);
  for (const auto& p : listing["parameters"].array) {
    EXPECT_FALSE(p["name"].string.empty());
    EXPECT_GE(p["value"].number, 0.0);
    EXPECT_LE(p["value"].number, 1.0);
  }
  const Json set = runHostJson({"set", lsp, "samp=0.01", "--then", "params"});
  const Json& samples = findParameter(set["parameters"], "samp");
  EXPECT_NEAR(samples["value"].number, 0.01, 1e-6);
  EXPECT_EQ(samples["display"].string, "100");
  EXPECT_EQ(samples["label"].string, "samp");
}

TEST(HostParams, VeldranaParametersByNameAndRange) {
  ASSERT_TRUE(fileExists(Paths::veldrana())) << "build the Veldrana target first";
  const Json listing = runHostJson({"params", Paths::veldrana(), "--limit", "40"});
  EXPECT_EQ(listing["count"].number, 2081);
  EXPECT_EQ(listing["parameters"].array.size(), 40u);
  const Json set =
      runHostJson({"set", Paths::veldrana(), "FFT Size=0.857142", "Bin 20 Level..Bin 120 Level=0"});
  ASSERT_EQ(set["set"].array.size(), 102u);
  EXPECT_EQ(set["set"][0]["name"].string, "FFT Size");
  EXPECT_NE(set["set"][0]["display"].string.find("2048"), std::string::npos)
      << set["set"][0]["display"].string;
  EXPECT_EQ(set["set"][1]["name"].string, "Bin 20 Level");
  EXPECT_EQ(set["set"][101]["name"].string, "Bin 120 Level");
  EXPECT_DOUBLE_EQ(set["set"][101]["value"].number, 0.0);
}

// A value typed as the plug-in shows it is looked up among its displays,
// and the normalized value chosen is said; a plain normalized number is
// taken as it is; a value the plug-in cannot show is refused.
TEST(HostParams, ValuesAsThePluginShowsThem) {
  ASSERT_TRUE(fileExists(Paths::veldrana())) << "build the Veldrana target first";
  struct Case {
    std::string plugin;
    const char* assignment;
    const char* name;  // nullptr: refused, `display` is the reason
    double value;
    const char* display;
  };
  const Case cases[] = {
      {Paths::veldrana(), "FFT Size=2048", "FFT Size", 6.0 / 7.0, "2048"},
      {Paths::veldrana(), "fft size = 32", "FFT Size", 0.0, "32"},
      {Paths::veldrana(), "Output Gain=-6 dB", "Output Gain", 74.0 / 116.0, "-6"},
      {Paths::veldrana(), "Output Gain=36dB", "Output Gain", 1.0, "36"},
      {Paths::gainFixture(), "Gain=0.75 x", "Gain", 0.75, "0.750"},
      {Paths::gainFixture(), "Gain=0.5", "Gain", 0.5, "0.500"},
      {Paths::veldrana(), "FFT Size=2000", nullptr, 0, "nearest: 2048"},
      {Paths::veldrana(), "Output Gain=-6 Hz", nullptr, 0, "'dB'"},
      {Paths::veldrana(), "Output Gain=100 dB", nullptr, 0, "from -inf to 36"},
      {Paths::veldrana(), "FFT Size=huge", nullptr, 0, "a value it displays"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.assignment);
    const RunResult result = runHost({"set", c.plugin, c.assignment, "--json"});
    if (!c.name) {
      expectCleanFailure(result, c.display);
      EXPECT_EQ(result.exitCode, kExitUsage);
      continue;
    }
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Json report = parseJson(result.out);
    const Json& set = report["set"][0];
    EXPECT_EQ(set["name"].string, c.name);
    EXPECT_NEAR(set["value"].number, c.value, 1e-4);
    EXPECT_NE(set["display"].string.find(c.display), std::string::npos) << set["display"].string;
    const bool searched = std::string(c.assignment) != "Gain=0.5";
    EXPECT_EQ(result.err.find("is normalized") != std::string::npos, searched) << result.err;
  }
}

}  // namespace
}  // namespace hosttest
