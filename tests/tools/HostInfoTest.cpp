// `info`: what a plug-in says about itself, for our own plug-in, a fixture
// with known answers, and a third-party plug-in.
#include <dirent.h>

#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

bool contains(const Json& array, const std::string& text) {
  for (const auto& item : array.array)
    if (item.string == text) return true;
  return false;
}

TEST(HostInfo, DescribesVeldranaInJsonAndText) {
  ASSERT_TRUE(fileExists(Paths::veldrana())) << "build the Veldrana target first";
  const Json info = runHostJson({"info", Paths::veldrana()});
  EXPECT_EQ(info["name"].string, "Veldrana");
  EXPECT_EQ(info["vendor"].string, "Quillworks");
  EXPECT_EQ(info["vendorVersion"].number, 65541);
  EXPECT_EQ(info["uniqueId"].string, "QWvd");
  EXPECT_EQ(info["inputs"].number, 2);
  EXPECT_EQ(info["outputs"].number, 2);
  EXPECT_EQ(info["latency"].number, 1024);
  EXPECT_EQ(info["parameters"].number, 2081);
  EXPECT_EQ(info["vstVersion"].number, 2400);
  EXPECT_TRUE(contains(info["flags"], "CanReplacing"));
  EXPECT_TRUE(contains(info["flags"], "ProgramChunks"));
  const RunResult text = runHost({"info", Paths::veldrana()});
  ASSERT_EQ(text.exitCode, 0) << text.err;
  for (const char* fact : {"Veldrana", "Quillworks", "65541", "QWvd", "1024 samples", "2081"})
    EXPECT_NE(text.out.find(fact), std::string::npos) << fact << "\n" << text.out;
}

TEST(HostInfo, ReportsEveryFieldOfAKnownPlugin) {
  const Json info = runHostJson({"info", Paths::gainFixture()});
  EXPECT_EQ(info["name"].string, "Fixture Gain");
  EXPECT_EQ(info["vendor"].string, "Veldrana Test Fixtures");
  EXPECT_EQ(info["product"].string, "Gain Fixture");
  EXPECT_EQ(info["vendorVersion"].number, 4242);
  EXPECT_EQ(info["uniqueId"].string, "VhFg");
  EXPECT_EQ(info["uniqueIdNumber"].number, 0x56684667);
  EXPECT_EQ(info["version"].number, 1);
  EXPECT_EQ(info["category"].string, "Effect");
  EXPECT_EQ(info["inputs"].number, 2);
  EXPECT_EQ(info["outputs"].number, 2);
  EXPECT_EQ(info["latency"].number, 64);
  EXPECT_EQ(info["parameters"].number, 13);
  EXPECT_EQ(info["programs"].number, 1);
  ASSERT_EQ(info["flags"].array.size(), 2u);
  EXPECT_TRUE(contains(info["flags"], "CanReplacing"));
  EXPECT_TRUE(contains(info["flags"], "ProgramChunks"));
  EXPECT_EQ(info["canDo"]["receiveVstMidiEvent"].string, "yes");
  EXPECT_EQ(info["canDo"]["offline"].string, "no");
  EXPECT_EQ(info["canDo"]["bypass"].string, "unknown");
  const Json synth = runHostJson({"info", Paths::gainFixture()}, {{"VHF_SYNTH", "1"}});
  EXPECT_TRUE(contains(synth["flags"], "IsSynth"));
  EXPECT_EQ(synth["category"].string, "Synth");
  const RunResult text = runHost({"info", Paths::gainFixture()});
  ASSERT_EQ(text.exitCode, 0) << text.err;
  for (const char* fact : {"VhFg (0x56684667", "CanReplacing", "receiveVstMidiEvent"})
    EXPECT_NE(text.out.find(fact), std::string::npos) << fact << "\n" << text.out;
  // What the plug-in prints itself goes to stderr, never into the JSON.
  const RunResult chatty = runHost({"info", Paths::gainFixture(), "--json"}, {{"VHF_CHATTY", "1"}});
  ASSERT_EQ(chatty.exitCode, 0) << chatty.err;
  EXPECT_NO_THROW(parseJson(chatty.out)) << chatty.out;
  EXPECT_NE(chatty.err.find("hello from the plug-in"), std::string::npos) << chatty.err;
}

TEST(HostInfo, DescribesThirdPartyPlugins) {
  const std::string lsp = Paths::lsp("comp-delay-stereo.so");
  SKIP_WITHOUT_LSP(lsp);
  const Json info = runHostJson({"info", lsp});
  EXPECT_NE(info["vendor"].string.find("LSP"), std::string::npos) << info["vendor"].string;
  EXPECT_NE(info["name"].string.find("Delay Compensator"), std::string::npos);
  EXPECT_EQ(info["inputs"].number, 2);
  EXPECT_EQ(info["outputs"].number, 2);
  EXPECT_GT(info["parameters"].number, 0);
  EXPECT_EQ(info["uniqueId"].string.size(), 4u);
  EXPECT_TRUE(contains(info["flags"], "CanReplacing"));
  EXPECT_EQ(runHostJson({"info", Paths::lsp("comp-delay-mono.so")})["outputs"].number, 1);
  const std::string folder = "/usr/lib/vst/lsp-plugins";
  std::vector<std::string> libraries;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0)
        libraries.push_back(folder + "/" + name);
    }
    closedir(dir);
  }
  int described = 0;
  for (const auto& library : libraries) {
    SCOPED_TRACE(library);
    const RunResult result = runHost({"info", library, "--json"});
    ASSERT_EQ(result.signal, 0) << result.err;
    if (result.exitCode == 0) {
      EXPECT_NE(parseJson(result.out)["vendor"].string.find("LSP"), std::string::npos);
      ++described;
    } else {
      // The package's shared core library is not itself a plug-in.
      expectCleanFailure(result, library);
      EXPECT_EQ(result.exitCode, 3);
    }
  }
  EXPECT_GT(described, static_cast<int>(libraries.size()) / 2);
}

}  // namespace
}  // namespace hosttest
