// The fixed commands, subscriptions, "/qwks/" addressing and ports, end to
// end: clients on 127.0.0.1 talk to listening services.
#include <arpa/inet.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "OscTestSupport.h"
#include "osc/OscInstanceDirectory.h"
#include "tests/support/ScopedEnv.h"

using namespace osc_test;

namespace {

struct Commands : ::testing::Test {
  void SetUp() override { ASSERT_TRUE(f.ready()); }
  // The reply's arguments to `command [index] url "/r"`, sent from one client
  // with the URL of another.
  Args ask(const char* command, std::optional<int32_t> index = std::nullopt) {
    f.client.send(f.port, message(command, [&](Packet& p) {
                    if (index) p << *index;
                    p << other.url().c_str() << "/r";
                  }));
    const auto reply = other.receiveAt("/r");
    return reply ? reply->arguments : Args{};
  }
  void subscribe(const char* command, int32_t index, const Client& who, const char* path) {
    f.sync(message(command, [&](Packet& p) { p << index << who.url().c_str() << path; }));
  }
  // The value of the next notification at path (-1 when none came).
  float next(const Client& who, const char* path) {
    const auto m = who.receiveAt(path);
    return m && m->arguments.size() == 2 ? std::get<float>(m->arguments[1]) : -1.0f;
  }
  void set(int32_t index, float value) {
    f.sync(message("/set", [&](Packet& p) { p << index << value; }));
  }

  ServiceFixture f{7};
  Client other;
};

TEST_F(Commands, QueriesReplyToTheGivenUrlWithTheirArguments) {
  const int automated = automations.load();
  set(kParamWetLevel, 0.25f);
  EXPECT_GT(automations.load(), automated);
  EXPECT_EQ(ask("/ping"),
            (Args{"osc.udp://127.0.0.1:" + std::to_string(f.port), std::string("Veldrana 1.0.5")}));
  EXPECT_EQ(ask("/get", kParamWetLevel), (Args{int32_t{kParamWetLevel}, 0.25f}));
  EXPECT_EQ(ask("/getNumParameters"), (Args{int32_t{2081}}));
  EXPECT_EQ(ask("/isParameterUsed", 2080), (Args{int32_t{2080}, true}));
  EXPECT_EQ(ask("/getInfo", kParamViewMinDb),
            (Args{int32_t{kParamViewMinDb}, -180.0f, 0.0f, -160.0f, std::string("View Min dB"),
                  int32_t{13}}));
  EXPECT_TRUE(f.client.quiet(100));  // nothing went to the sender
  f.client.send(f.port, message("/getAll", [&](Packet& p) { p << other.url().c_str() << "/r"; }));
  int32_t index = 0;
  for (auto reply = other.receiveAt("/r"); reply; reply = other.receiveAt("/r", 500), ++index)
    ASSERT_EQ(reply->arguments, (Args{index, f.value(index)}));
  EXPECT_EQ(index, 2081);
}

TEST_F(Commands, BundlesAreHandledElementByElementNestedOnesToo) {
  char buffer[1024];
  Packet p(buffer, sizeof buffer);
  p << osc::BeginBundleImmediate << osc::BeginMessage("/set") << int32_t{kParamViewMinDb} << -10.0f
    << osc::EndMessage << osc::BeginBundleImmediate << osc::BeginMessage("/set")
    << int32_t{kParamViewMaxDb} << -5.0f << osc::EndMessage << osc::EndBundle << osc::EndBundle;
  f.sync(std::string(p.Data(), p.Size()));
  EXPECT_EQ(f.value(kParamViewMinDb), -10.0f);
  EXPECT_EQ(f.value(kParamViewMaxDb), -5.0f);
}

TEST_F(Commands, FaultyArgumentsAreLoggedWithTheirCommandAndAnswerNothing) {
  const std::string url = f.client.url();
  const auto with = [&](const char* command, int32_t index) {
    return message(command, [&](Packet& p) { p << index << url.c_str() << "/v"; });
  };
  const struct {
    std::string datagram;
    const char* logged;
  } cases[] = {
      {message("/set", [](Packet& p) { p << int32_t{2081} << 0.5f; }),
       "/set: parameter id out of range in set"},
      {with("/get", 2081), "/get: parameter id out of range in get"},
      {with("/getInfo", 9999), "/getInfo: parameter id out of range in getInfo"},
      {with("/registerUpdate", 2081), "/registerUpdate: parameter id out of range in"},
      {with("/unregisterUpdate", -3), "/unregisterUpdate: parameter id out of range in"},
      {message("/get", [&](Packet& p) { p << int32_t{1} << url.c_str(); }),
       "/get: missing argument"},
      {message("/set", [](Packet& p) { p << 1.0f << 0.5f; }), "/set: wrong argument type"},
      {message("/set", [](Packet& p) { p << int32_t{1} << 0.5f << 0.5f; }),
       "/set: too many arguments"},
      {message("/exec"), "/exec: missing argument"},
      {message("/call",
               [](Packet& p) {
                 p << "f"
                   << "127.0.0.1:1";
               }),
       "/call: missing argument"},
  };
  for (const auto& c : cases) {
    const std::string log = stdoutOf([&] { f.sync(c.datagram); });
    EXPECT_NE(log.find(std::string("error while parsing message: ") + c.logged), std::string::npos)
        << c.logged << " in: " << log;
  }
  EXPECT_EQ(f.value(kParamDryLevel), 0.0f);
  EXPECT_EQ(f.value(2080), 1.0f);
  EXPECT_TRUE(f.client.quiet(100));
}

// "" (or anything not starting with '/') is no OSC address: no datagram
// carries it, replies and subscriptions alike.
TEST_F(Commands, ReplyAddressesThatAreNoOscAddressSendNothing) {
  const std::string url = other.url();
  for (const char* address : {"", "reply"}) {
    const std::string log = stdoutOf([&] {
      f.client.send(f.port,
                    message("/get", [&](Packet& p) { p << int32_t{1} << url.c_str() << address; }));
      for (const char* command : {"/ping", "/getNumParameters", "/getAll"})
        f.client.send(f.port, message(command, [&](Packet& p) { p << url.c_str() << address; }));
      f.client.send(f.port, message("/call", [&](Packet& p) {
                      p << "getNumParameters" << url.c_str() << address;
                    }));
      subscribe("/registerUpdate", kParamWetLevel, other, address);
      set(kParamWetLevel, 0.5f);
    });
    EXPECT_TRUE(other.quiet(200)) << '"' << address << '"';
    EXPECT_NE(log.find("(an OSC address begins with '/')"), std::string::npos) << log;
  }
}

TEST_F(Commands, ChangesFromHostScriptAndOscReachEachSubscriptionOnce) {
  Client second;
  subscribe("/registerUpdate", kParamWetLevel, other, "/a");
  subscribe("/registerUpdate", kParamWetLevel, other, "/a");
  subscribe("/registerUpdate", kParamWetLevel, other, "/b");
  subscribe("/registerUpdate", kParamDryLevel, second, "/dry");
  f.effect->setParameter(kParamWetLevel, 0.5f);  // the host, normalized
  std::multiset<std::string> heard;
  for (int i = 0; i < 2; ++i) {
    const auto m = other.receive();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->arguments, (Args{int32_t{kParamWetLevel}, f.value(kParamWetLevel)}));
    heard.insert(m->address);
  }
  EXPECT_EQ(heard, (std::multiset<std::string>{"/a", "/b"}));
  EXPECT_TRUE(other.quiet());
  ASSERT_EQ(runLua(*f.effect, "setParameter(1, 0.25)"), "");  // a script, plain
  EXPECT_EQ(next(second, "/dry"), 0.25f);
  set(kParamDryLevel, 0.75f);
  EXPECT_EQ(next(second, "/dry"), 0.75f);

  subscribe("/unregisterUpdate", kParamWetLevel, other, "/a");
  subscribe("/unregisterUpdate", kParamWetLevel, other, "/nobody");
  set(kParamWetLevel, 0.25f);
  EXPECT_EQ(next(other, "/b"), 0.25f);
  subscribe("/unregisterUpdate", kParamWetLevel, other, "/b");
  f.effect->setParameter(kParamWetLevel, 0.1f);
  f.client.send(f.port, message("/getAllRegistered", [](Packet& p) { p << "ignored" << 5; }));
  EXPECT_EQ(next(second, "/dry"), 0.75f);
  EXPECT_TRUE(other.quiet(500));
}

// A parameter subscribed to the service's own "/set" gets each notification
// back as a "/set" of the same value; sent again, it would go round for ever.
TEST_F(Commands, OwnNotificationsComingBackAreNotSentAgain) {
  const std::string self = "127.0.0.1:" + std::to_string(f.port);
  f.client.send(f.port, message("/registerUpdate", [&](Packet& p) {
                  p << int32_t{kParamWetLevel} << self.c_str() << "/set";
                }));
  subscribe("/registerUpdate", kParamWetLevel, other, "/wet");
  for (const float value : {0.5f, 0.25f}) {
    set(kParamWetLevel, value);
    EXPECT_EQ(next(other, "/wet"), value);
    EXPECT_TRUE(other.quiet(500)) << "the change went round again";
  }
  f.effect->setParameterPlain(kParamWetLevel, 0.25f, false);  // the host's own, still sent
  EXPECT_EQ(next(other, "/wet"), 0.25f);
}

// Two instances in one process, both reached through the first one's port.
TEST(MultiInstance, QwksAddressesReachTheirTargetsOnly) {
  ServiceFixture first{21}, second{22};
  ASSERT_TRUE(first.ready());
  ASSERT_TRUE(second.ready());
  auto& directory = QW::OscInstanceDirectory::instance();
  const struct {
    const char* address;
    float value;
    int32_t index;
    float first, second;
  } cases[] = {
      {"/qwks/2/1", 0.5f, kParamDryLevel, 0.0f, 0.5f},  // numbered in the order of first use
      {"/qwks/1/1", 0.25f, kParamDryLevel, 0.25f, 0.5f},
      {"/qwks/Other/*/2", 0.5f, kParamWetLevel, 1.0f, 1.0f},
      {"/qwks/1/Wet Level", 0.5f, kParamWetLevel, 1.0f, 1.0f},
      {"/qwks/3/2", 0.5f, kParamWetLevel, 1.0f, 1.0f},
      {"/qwks/1/2081", 0.5f, kParamWetLevel, 1.0f, 1.0f},
      {"/qwks/Veldrana/*/2", 0.5f, kParamWetLevel, 0.5f, 0.5f},
      {"/qwks/Veldrana/2/2", 0.25f, kParamWetLevel, 0.5f, 0.25f},
      {"/qwks/+multi1/2/32/4", 0.5f, kParamBin0Level + 3, 1.0f, 0.5f},
  };
  for (const auto& c : cases) {
    first.sync(message(c.address, [&](Packet& p) { p << c.value; }));
    EXPECT_EQ(first.value(c.index), c.first) << c.address;
    EXPECT_EQ(second.value(c.index), c.second) << c.address;
  }
  EXPECT_EQ(directory.ProcessNumberOf(first.effect.get()), 1);
  EXPECT_EQ(directory.ProcessNumberOf(second.effect.get()), 2);
}

// The service listens at base port + "OSC Port Offset", nowhere at 0.
TEST(Ports, TheServiceFollowsOffsetAndBasePort) {
  const int32_t base = testBasePort() + 100;
  ServiceFixture f{0, base};
  const auto offset = [&](float o) { f.effect->setParameterPlain(kParamOscPortOffset, o, false); };
  const auto silentAt = [&](int32_t port) { return !f.client.ping(port, 300); };
  EXPECT_EQ(f.service().BoundPort(), 0);
  EXPECT_TRUE(silentAt(base));
  offset(3);
  EXPECT_TRUE(f.client.waitForService(base + 3));
  EXPECT_EQ(f.service().BoundPort(), base + 3);
  offset(0);
  EXPECT_TRUE(silentAt(base + 3));
  QW::GlobalSettings::oscBasePort = base + 50;
  for (int o = 1; o <= 9; ++o) offset(static_cast<float>(o));
  offset(8);
  EXPECT_TRUE(f.client.waitForService(base + 58));
  for (int o = 1; o <= 7; ++o) EXPECT_TRUE(silentAt(base + 50 + o)) << o;
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
    raw.s_addr = address;  // printed as stored, in network order
    char text[INET_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET, &raw, text, sizeof text) ? text : "?";
  }
  return "";
}

// Other machines reach the port only when the user's preferences say so.
TEST(Ports, LoopbackUnlessThePreferencesOpenItToTheNetwork) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "127.0.0.1"},
      {"OSC Open To Network=0\n", "127.0.0.1"},
      {"OSC Open To Network=1\n", "0.0.0.0"},
  };
  char pattern[] = "/tmp/veldrana-osc-prefs-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string config = pattern, folder = config + "/Quillworks/Veldrana";
  std::filesystem::create_directories(folder);
  const ScopedEnv home("XDG_CONFIG_HOME", config.c_str());
  for (const auto& [preferences, bound] : cases) {
    std::ofstream(folder + "/preferences") << preferences;
    ServiceFixture f{1, testBasePort() + 150};
    ASSERT_TRUE(f.ready()) << preferences;
    EXPECT_EQ(boundAddress(f.port), bound) << preferences;
  }
  std::filesystem::remove_all(config);
}

}  // namespace
