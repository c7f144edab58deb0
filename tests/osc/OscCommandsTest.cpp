// The fixed commands end to end: a client on 127.0.0.1 sends each one to a
// listening service and checks the reply and the effect's parameters.
#include "OscTestSupport.h"

using namespace osc_test;

namespace {

using Packet = osc::OutboundPacketStream;

class Commands : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(f.ready()); }

  // The reply's arguments to command [index] url "/r"; none when nothing came.
  std::vector<Value> ask(const char* command, std::optional<int32_t> index = std::nullopt) {
    f.client.send(f.port, message(command, [&](Packet& p) {
                    if (index) p << *index;
                    p << f.client.url().c_str() << "/r";
                  }));
    const auto reply = f.client.receiveAt("/r");
    return reply ? reply->arguments : std::vector<Value>{};
  }

  ServiceFixture f{7};
};

TEST_F(Commands, QueriesReplyToTheGivenUrlWithTheirArguments) {
  using Args = std::vector<Value>;
  f.effect->setParameterPlain(kParamWetLevel, 0.25f, false);
  EXPECT_EQ(ask("/ping"),
            (Args{"osc.udp://127.0.0.1:" + std::to_string(f.port), std::string("Veldrana 1.0.5")}));
  EXPECT_EQ(ask("/get", kParamWetLevel), (Args{int32_t{kParamWetLevel}, 0.25f}));
  EXPECT_EQ(ask("/getNumParameters"), (Args{int32_t{2081}}));
  EXPECT_EQ(ask("/isParameterUsed", 2080), (Args{int32_t{2080}, true}));
  EXPECT_EQ(ask("/getInfo", kParamViewMinDb),
            (Args{int32_t{kParamViewMinDb}, -180.0f, 0.0f, -160.0f, std::string("View Min dB"),
                  int32_t{13}}));
}

TEST_F(Commands, SetWritesThePlainValueAndAnnouncesIt) {
  const int before = automations.load();
  f.client.send(f.port,
                message("/set", [](Packet& p) { p << int32_t{kParamViewMinDb} << -90.0f; }));
  ASSERT_TRUE(f.client.ping(f.port));
  EXPECT_EQ(f.value(kParamViewMinDb), -90.0f);
  EXPECT_GT(automations.load(), before);
}

TEST_F(Commands, GetAllSendsOneReplyPerParameterInOrder) {
  f.effect->setParameterPlain(kParamBin0Level + 2048, 0.5f, false);
  f.client.send(f.port,
                message("/getAll", [&](Packet& p) { p << f.client.url().c_str() << "/all"; }));
  int expected = 0;
  while (expected < 2081) {
    const auto reply = f.client.receive(2000);
    if (!reply) break;
    if (reply->address != "/all") continue;
    ASSERT_EQ(std::get<int32_t>(reply->arguments[0]), expected);
    EXPECT_EQ(std::get<float>(reply->arguments[1]), f.value(expected));
    ++expected;
  }
  EXPECT_EQ(expected, 2081);
}

TEST_F(Commands, RepliesGoToTheUrlNotTheSender) {
  Client other;
  f.client.send(f.port, message("/getNumParameters", [&](Packet& p) {
                  p << ("127.0.0.1:" + std::to_string(other.port())).c_str() << "/n";
                }));
  EXPECT_TRUE(other.receiveAt("/n"));
  EXPECT_TRUE(f.client.quiet());
}

TEST_F(Commands, UnusableReplyUrlSendsNothingAndTheServiceGoesOn) {
  CapturedStdout out;
  for (const char* url : {"127.0.0.1", "no-such-host.invalid:9000", "127.0.0.1:0"}) {
    f.client.send(f.port, message("/get", [&](Packet& p) { p << int32_t{1} << url << "/v"; }));
  }
  EXPECT_TRUE(f.client.ping(f.port));
  EXPECT_NE(out.take().find("no reply sent to \"127.0.0.1\""), std::string::npos);
}

// "" (or anything not starting with '/') is no OSC address: no datagram
// carries it, replies and subscriptions alike.
TEST_F(Commands, ReplyAddressesThatAreNoOscAddressSendNothing) {
  Client other;
  const std::string url = other.url();
  for (const char* address : {"", "reply"}) {
    CapturedStdout out;
    f.client.send(f.port,
                  message("/get", [&](Packet& p) { p << int32_t{1} << url.c_str() << address; }));
    f.client.send(f.port, message("/ping", [&](Packet& p) { p << url.c_str() << address; }));
    f.client.send(f.port,
                  message("/getNumParameters", [&](Packet& p) { p << url.c_str() << address; }));
    f.client.send(f.port, message("/getAll", [&](Packet& p) { p << url.c_str() << address; }));
    f.client.send(f.port, message("/call", [&](Packet& p) {
                    p << "getNumParameters" << url.c_str() << address;
                  }));
    f.client.send(f.port, message("/registerUpdate", [&](Packet& p) {
                    p << int32_t{kParamWetLevel} << url.c_str() << address;
                  }));
    f.effect->setParameterPlain(kParamWetLevel, 0.5f, false);
    ASSERT_TRUE(f.client.ping(f.port)) << '"' << address << '"';
    EXPECT_TRUE(other.quiet(200)) << '"' << address << '"';
    const std::string log = out.take();
    EXPECT_NE(log.find("(an OSC address begins with '/')"), std::string::npos) << log;
  }
}

TEST_F(Commands, OutOfRangeIndexesAreLoggedWithTheirCommand) {
  CapturedStdout out;
  const std::string url = f.client.url();
  f.client.send(f.port, message("/set", [](Packet& p) { p << int32_t{2081} << 0.5f; }));
  f.client.send(f.port, message("/set", [](Packet& p) { p << int32_t{-1} << 0.5f; }));
  f.client.send(f.port,
                message("/get", [&](Packet& p) { p << int32_t{2081} << url.c_str() << "/v"; }));
  f.client.send(f.port, message("/isParameterUsed",
                                [&](Packet& p) { p << int32_t{2081} << url.c_str() << "/v"; }));
  f.client.send(f.port,
                message("/getInfo", [&](Packet& p) { p << int32_t{9999} << url.c_str() << "/v"; }));
  f.client.send(f.port, message("/registerUpdate",
                                [&](Packet& p) { p << int32_t{2081} << url.c_str() << "/v"; }));
  f.client.send(f.port, message("/unregisterUpdate",
                                [&](Packet& p) { p << int32_t{-3} << url.c_str() << "/v"; }));
  ASSERT_TRUE(f.client.ping(f.port));
  const std::string log = out.take();
  for (const char* line : {
           "error while parsing message: /set: parameter id out of range in set\n",
           "error while parsing message: /get: parameter id out of range in get\n",
           "error while parsing message: /isParameterUsed: parameter id out of range in "
           "isParameterUsed\n",
           "error while parsing message: /getInfo: parameter id out of range in getInfo\n",
           "error while parsing message: /registerUpdate: parameter id out of range in "
           "registerUpdate\n",
           "error while parsing message: /unregisterUpdate: parameter id out of range in "
           "registerUpdate\n",
       })
    EXPECT_NE(log.find(line), std::string::npos) << line << "\nin:\n" << log;
  EXPECT_EQ(f.value(2080), 1.0f);
  EXPECT_TRUE(f.client.quiet(100));  // no reply to any of them
}

TEST_F(Commands, ArgumentListsAreReadStrictly) {
  CapturedStdout out;
  const std::string url = f.client.url();
  f.client.send(f.port, message("/get", [&](Packet& p) { p << int32_t{1} << url.c_str(); }));
  f.client.send(f.port, message("/set", [](Packet& p) { p << 1.0f << 0.5f; }));
  f.client.send(f.port, message("/set", [](Packet& p) { p << int32_t{1} << 0.5f << 0.5f; }));
  f.client.send(f.port, message("/set", [](Packet& p) { p << int32_t{1} << int32_t{1}; }));
  ASSERT_TRUE(f.client.ping(f.port));
  const std::string log = out.take();
  EXPECT_NE(log.find("error while parsing message: /get: missing argument\n"), std::string::npos);
  EXPECT_NE(log.find("error while parsing message: /set: wrong argument type\n"),
            std::string::npos);
  EXPECT_NE(log.find("error while parsing message: /set: too many arguments\n"), std::string::npos);
  EXPECT_EQ(f.value(kParamDryLevel), 0.0f);
}

TEST_F(Commands, BundlesAreHandledElementByElementNestedOnesToo) {
  char buffer[1024];
  Packet p(buffer, sizeof buffer);
  p << osc::BeginBundleImmediate << osc::BeginMessage("/set") << int32_t{kParamViewMinDb} << -10.0f
    << osc::EndMessage << osc::BeginBundleImmediate << osc::BeginMessage("/set")
    << int32_t{kParamViewMaxDb} << -5.0f << osc::EndMessage << osc::EndBundle << osc::EndBundle;
  f.client.send(f.port, std::string(p.Data(), p.Size()));
  ASSERT_TRUE(f.client.ping(f.port));
  EXPECT_EQ(f.value(kParamViewMinDb), -10.0f);
  EXPECT_EQ(f.value(kParamViewMaxDb), -5.0f);
}

TEST_F(Commands, TouchFramesChangeNothingAndTheirFaultsAreLogged) {
  char buffer[1024];
  Packet p(buffer, sizeof buffer);
  p << osc::BeginBundleImmediate << osc::BeginMessage("/t3d/frm") << int32_t{1} << osc::EndMessage
    << osc::BeginMessage("/t3d/tch1") << 0.1f << 0.2f << 0.3f << 0.4f << osc::EndMessage
    << osc::BeginMessage("/t3d/tch2") << 0.1f << osc::EndMessage << osc::BeginMessage("/set")
    << int32_t{kParamDryLevel} << 1.0f << osc::EndMessage << osc::EndBundle;
  CapturedStdout out;
  f.client.send(f.port, std::string(p.Data(), p.Size()));
  ASSERT_TRUE(f.client.ping(f.port));
  EXPECT_NE(out.take().find("error while parsing message: /t3d/tch2: missing argument\n"),
            std::string::npos);
  EXPECT_EQ(f.value(kParamDryLevel), 0.0f);  // a "/set" inside a touch frame is not run
}

TEST_F(Commands, UnknownAddressesAreIgnoredQuietly) {
  CapturedStdout out;
  f.client.send(f.port, message("/nothing/here", [](Packet& p) { p << 1.0f; }));
  ASSERT_TRUE(f.client.ping(f.port));
  EXPECT_EQ(out.take().find("error while parsing message"), std::string::npos);
}

TEST_F(Commands, LuaCommandsRejectMissingLeadingStrings) {
  CapturedStdout out;
  f.client.send(f.port, message("/exec"));
  f.client.send(f.port, message("/call", [](Packet& p) {
                  p << "f"
                    << "127.0.0.1:1";
                }));
  f.client.send(f.port, message("/exec", [](Packet& p) { p << int32_t{3}; }));
  ASSERT_TRUE(f.client.ping(f.port));
  const std::string log = out.take();
  EXPECT_NE(log.find("error while parsing message: /exec: missing argument\n"), std::string::npos);
  EXPECT_NE(log.find("error while parsing message: /call: missing argument\n"), std::string::npos);
  EXPECT_NE(log.find("error while parsing message: /exec: wrong argument type\n"),
            std::string::npos);
}

}  // namespace
