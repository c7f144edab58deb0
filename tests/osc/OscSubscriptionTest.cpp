// Subscriptions: "/registerUpdate" and "/unregisterUpdate", and the changes
// a subscriber hears about whoever made them.
#include <set>

#include "OscTestSupport.h"

using namespace osc_test;

namespace {

using Packet = osc::OutboundPacketStream;

class Subscriptions : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(f.ready()); }

  void subscribe(const char* command, int32_t index, const Client& who, const char* path) {
    f.client.send(f.port,
                  message(command, [&](Packet& p) { p << index << who.url().c_str() << path; }));
    ASSERT_TRUE(f.client.ping(f.port));
  }

  // The next notification at path, as (index, value).
  std::optional<std::pair<int32_t, float>> next(const Client& who, const char* path,
                                                int ms = 2000) {
    const auto m = who.receiveAt(path, ms);
    if (!m || m->arguments.size() != 2) return std::nullopt;
    return std::make_pair(std::get<int32_t>(m->arguments[0]), std::get<float>(m->arguments[1]));
  }

  ServiceFixture f{11};
  Client subscriber;
};

TEST_F(Subscriptions, ChangesFromHostScriptAndOscArriveAsIndexAndValue) {
  subscribe("/registerUpdate", kParamWetLevel, subscriber, "/wet");

  f.effect->setParameter(kParamWetLevel, 0.5f);  // the host, normalized
  auto heard = next(subscriber, "/wet");
  ASSERT_TRUE(heard);
  EXPECT_EQ(heard->first, kParamWetLevel);
  EXPECT_EQ(heard->second, f.value(kParamWetLevel));

  ASSERT_EQ(runLua(*f.effect, "setParameter(2, 0.25)"), "");  // a script, plain
  heard = next(subscriber, "/wet");
  ASSERT_TRUE(heard);
  EXPECT_EQ(heard->second, 0.25f);

  f.client.send(f.port, message("/set", [](Packet& p) { p << int32_t{kParamWetLevel} << 0.75f; }));
  heard = next(subscriber, "/wet");
  ASSERT_TRUE(heard);
  EXPECT_EQ(heard->second, 0.75f);
}

TEST_F(Subscriptions, EachSubscriptionHearsItsParameterOnceUntilUnregistered) {
  Client second;
  subscribe("/registerUpdate", kParamWetLevel, subscriber, "/a");
  subscribe("/registerUpdate", kParamWetLevel, subscriber, "/a");
  subscribe("/registerUpdate", kParamWetLevel, subscriber, "/b");
  subscribe("/registerUpdate", kParamWetLevel, second, "/a");
  f.effect->setParameterPlain(kParamDryLevel, 0.5f, false);
  f.effect->setParameterPlain(kParamWetLevel, 0.5f, false);
  std::multiset<std::string> heard;
  for (int i = 0; i < 2; ++i) {
    const auto m = subscriber.receive();
    ASSERT_TRUE(m);
    EXPECT_EQ(std::get<int32_t>(m->arguments[0]), kParamWetLevel);
    heard.insert(m->address);
  }
  EXPECT_EQ(heard, (std::multiset<std::string>{"/a", "/b"}));
  EXPECT_TRUE(subscriber.quiet());
  EXPECT_TRUE(next(second, "/a"));

  subscribe("/unregisterUpdate", kParamWetLevel, subscriber, "/a");
  subscribe("/unregisterUpdate", kParamWetLevel, subscriber, "/nobody");
  f.effect->setParameterPlain(kParamWetLevel, 0.25f, false);
  EXPECT_TRUE(next(subscriber, "/b"));
  EXPECT_TRUE(subscriber.quiet());

  subscribe("/unregisterUpdate", kParamWetLevel, subscriber, "/b");
  f.effect->setParameter(kParamWetLevel, 0.1f);
  ASSERT_EQ(runLua(*f.effect, "setParameter(2, 0.2)"), "");
  f.client.send(f.port, message("/set", [](Packet& p) { p << int32_t{kParamWetLevel} << 0.3f; }));
  ASSERT_TRUE(f.client.ping(f.port));
  EXPECT_TRUE(subscriber.quiet(500));
}

TEST_F(Subscriptions, GetAllRegisteredSendsEverySubscriberItsValue) {
  Client second;
  subscribe("/registerUpdate", kParamWetLevel, subscriber, "/wet");
  subscribe("/registerUpdate", kParamDryLevel, second, "/dry");
  f.client.send(f.port, message("/getAllRegistered", [](Packet& p) { p << "ignored" << 5; }));
  auto heard = next(subscriber, "/wet");
  ASSERT_TRUE(heard);
  EXPECT_EQ(heard->first, kParamWetLevel);
  EXPECT_EQ(heard->second, 1.0f);
  heard = next(second, "/dry");
  ASSERT_TRUE(heard);
  EXPECT_EQ(heard->second, 0.0f);
}

// With the notify thread stopped, 63 changes wait in the ring and the next
// one is dropped with its line on standard error; started again, the
// thread sends the 63.
TEST_F(Subscriptions, FullQueueDropsTheChangeAndSaysSo) {
  subscribe("/registerUpdate", kParamBin0Level, subscriber, "/bin");
  f.service().StopTask();
  for (int i = 0; i < 64; ++i)
    f.effect->setParameterPlain(kParamBin0Level, static_cast<float>(i) / 64.0f, false);
  testing::internal::CaptureStderr();
  f.service().StartThreads();
  int received = 0;
  float last = -1.0f;
  while (auto heard = next(subscriber, "/bin", 1000)) {
    ++received;
    last = heard->second;
  }
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(received, 63);
  EXPECT_EQ(last, 62.0f / 64.0f);
  EXPECT_NE(errors.find("OSCHelper::SetParamQueue::Write() overflow\n"), std::string::npos);
}

TEST_F(Subscriptions, ASubscriberAddressTooLongForANotificationCostsOnlyThatOne) {
  const std::string longPath = "/" + std::string(2000, 'x');
  subscribe("/registerUpdate", kParamWetLevel, subscriber, longPath.c_str());
  subscribe("/registerUpdate", kParamWetLevel, subscriber, "/short");
  f.effect->setParameterPlain(kParamWetLevel, 0.5f, false);
  EXPECT_TRUE(next(subscriber, "/short"));
  f.effect->setParameterPlain(kParamWetLevel, 0.25f, false);
  EXPECT_TRUE(next(subscriber, "/short"));
}

// A parameter subscribed to the service's own "/set": each notification
// comes back as a "/set" of the same value. It must not be sent again, or
// the two threads play it back and forth for ever.
TEST_F(Subscriptions, OwnNotificationsComingBackAreNotSentAgain) {
  const std::string self = "127.0.0.1:" + std::to_string(f.port);
  f.client.send(f.port, message("/registerUpdate", [&](Packet& p) {
                  p << int32_t{kParamWetLevel} << self.c_str() << "/set";
                }));
  subscribe("/registerUpdate", kParamWetLevel, subscriber, "/wet");
  for (const float value : {0.5f, 0.25f}) {
    f.client.send(f.port,
                  message("/set", [&](Packet& p) { p << int32_t{kParamWetLevel} << value; }));
    const auto heard = next(subscriber, "/wet");
    ASSERT_TRUE(heard);
    EXPECT_EQ(heard->second, value);
    EXPECT_TRUE(subscriber.quiet(500)) << "the change went round again";
  }
  // The host's own changes are still sent, also to the same value.
  f.effect->setParameterPlain(kParamWetLevel, 0.25f, false);
  EXPECT_TRUE(next(subscriber, "/wet"));
}

}  // namespace
