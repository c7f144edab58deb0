// Where the service listens: OSC base port + "OSC Port Offset", nowhere
// while the offset is 0, and what happens when the port is taken.
#include <sys/stat.h>

#include <fstream>

#include "OscTestSupport.h"
#include "tests/support/ScopedEnv.h"

using namespace osc_test;

namespace {

class Ports : public ::testing::Test {
 protected:
  void setOffset(float offset) { f.effect->setParameterPlain(kParamOscPortOffset, offset, false); }
  bool answersAt(int32_t port) const { return f.client.waitForService(port, 1500); }
  bool silentAt(int32_t port) const { return !f.client.ping(port, 300); }

  const int32_t base = testBasePort() + 100;
  ServiceFixture f{0, base};
};

TEST_F(Ports, TheServiceFollowsOffsetBasePortAndProgramChanges) {
  EXPECT_EQ(f.service().BoundPort(), 0);
  EXPECT_TRUE(silentAt(base));
  setOffset(3);
  EXPECT_TRUE(answersAt(base + 3));
  setOffset(0);
  EXPECT_TRUE(silentAt(base + 3));
  EXPECT_EQ(f.service().Port(), 0);
  setOffset(5);
  EXPECT_TRUE(answersAt(base + 5));
  EXPECT_TRUE(silentAt(base + 3));
  EXPECT_EQ(f.service().BoundPort(), base + 5);

  QW::GlobalSettings::oscBasePort = base + 50;
  // What the preferences dialog does after storing the new base port.
  f.effect->setParameter(kParamOscPortOffset, f.effect->getParameter(kParamOscPortOffset));
  EXPECT_TRUE(answersAt(base + 55));
  EXPECT_TRUE(silentAt(base + 5));
  QW::GlobalSettings::oscBasePort = base + 20;
  f.effect->setProgram(0);
  EXPECT_TRUE(answersAt(base + 25));

  QW::GlobalSettings::oscBasePort = base;
  for (int offset = 1; offset <= 9; ++offset) setOffset(static_cast<float>(offset));
  setOffset(0);
  setOffset(8);
  EXPECT_TRUE(answersAt(base + 8));
  for (int offset = 1; offset <= 7; ++offset) EXPECT_TRUE(silentAt(base + offset)) << offset;
}

TEST_F(Ports, APortInUseIsLoggedAndTheServiceStaysSilentUntilMoved) {
  Client blocker;  // holds a port on 127.0.0.1; binding any address there fails
  QW::GlobalSettings::oscBasePort = blocker.port() - 1;
  CapturedStdout out;
  setOffset(1);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  std::string log;
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (f.service().Port() == blocker.port() && f.service().BoundPort() == 0) break;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  log = out.take();
  EXPECT_NE(log.find("std::runtime_error in TaskMain(): unable to bind udp socket\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(f.service().BoundPort(), 0);
  QW::GlobalSettings::oscBasePort = base;
  setOffset(2);
  EXPECT_TRUE(answersAt(base + 2));
}

TEST_F(Ports, StartingTwiceOnlyWarnsAndStoppingClosesThePortPromptly) {
  CapturedStdout out;
  f.service().StartThreads();
  EXPECT_EQ(out.take(), "Warning: Attempt to recreate OSC task\n");
  setOffset(2);
  ASSERT_TRUE(answersAt(base + 2));
  const auto start = std::chrono::steady_clock::now();
  f.service().StopTask();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_TRUE(silentAt(base + 2));
  f.service().StopTask();  // a second stop is harmless
}

// The address a UDP socket on port is bound to, from the kernel's table
// ("127.0.0.1", "0.0.0.0"), or "" when none is.
std::string boundAddress(int32_t port) {
  std::ifstream table("/proc/net/udp");
  std::string line;
  std::getline(table, line);  // the column names
  while (std::getline(table, line)) {
    unsigned int address = 0, localPort = 0;
    if (std::sscanf(line.c_str(), " %*d: %x:%x", &address, &localPort) != 2 ||
        static_cast<int32_t>(localPort) != port)
      continue;
    in_addr raw{};
    raw.s_addr = address;  // the table prints the address as it is stored
    char text[INET_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET, &raw, text, sizeof text) ? text : "?";
  }
  return "";
}

// Other machines reach the port only when the user's preferences say so.
TEST(PortAddress, LoopbackUnlessThePreferencesOpenItToTheNetwork) {
  struct Case {
    const char* preferences;
    const char* bound;
  };
  const Case cases[] = {
      {"", "127.0.0.1"},
      {"OSC Open To Network=0\n", "127.0.0.1"},
      {"OSC Open To Network=1\n", "0.0.0.0"},
  };
  char pattern[] = "/tmp/veldrana-osc-prefs-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string config = pattern;
  const std::string folder = config + "/Quillworks/Veldrana";
  mkdir((config + "/Quillworks").c_str(), 0700);
  mkdir(folder.c_str(), 0700);
  const std::string file = folder + "/preferences";
  const ScopedEnv home("XDG_CONFIG_HOME", config.c_str());
  for (const Case& c : cases) {
    std::ofstream(file) << c.preferences;
    ServiceFixture f{1, testBasePort() + 150};
    ASSERT_TRUE(f.ready()) << c.preferences;
    EXPECT_EQ(boundAddress(f.port), c.bound) << c.preferences;
  }
  unlink(file.c_str());
  rmdir(folder.c_str());
  rmdir((config + "/Quillworks").c_str());
  rmdir(config.c_str());
}

}  // namespace
