// Two instances in one process, addressed through "/qwks/" at either one.
#include "OscTestSupport.h"
#include "osc/OscInstanceDirectory.h"

using namespace osc_test;

namespace {

using Packet = osc::OutboundPacketStream;

class MultiInstance : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(first.ready());
    ASSERT_TRUE(second.ready());
  }
  // Sent to the first instance's port; the second is reached through it.
  void send(const std::string& datagram) {
    first.client.send(first.port, datagram);
    ASSERT_TRUE(first.client.ping(first.port));
  }

  ServiceFixture first{21};
  ServiceFixture second{22};
};

TEST_F(MultiInstance, ProcessWideNumbersFollowTheOrderOfFirstUse) {
  send(message("/qwks/2/1", [](Packet& p) { p << 0.5f; }));
  EXPECT_EQ(first.value(kParamDryLevel), 0.0f);
  EXPECT_EQ(second.value(kParamDryLevel), 0.5f);
  send(message("/qwks/1/1", [](Packet& p) { p << 0.25f; }));
  EXPECT_EQ(first.value(kParamDryLevel), 0.25f);
  EXPECT_EQ(second.value(kParamDryLevel), 0.5f);
  auto& directory = QW::OscInstanceDirectory::instance();
  EXPECT_EQ(directory.ProcessNumberOf(first.effect.get()), 1);
  EXPECT_EQ(directory.ProcessNumberOf(second.effect.get()), 2);
}

TEST_F(MultiInstance, EachAddressReachesItsTargetsOnly) {
  struct Case {
    const char* address;
    float value;
    int32_t index;
    float first, second;
  };
  const Case cases[] = {
      {"/qwks/Other/*/2", 0.5f, kParamWetLevel, 1.0f, 1.0f},
      {"/qwks/1/Wet Level", 0.5f, kParamWetLevel, 1.0f, 1.0f},
      {"/qwks/3/2", 0.5f, kParamWetLevel, 1.0f, 1.0f},
      {"/qwks/1/2081", 0.5f, kParamWetLevel, 1.0f, 1.0f},
      {"/qwks/Veldrana/2/2", 0.375f, kParamWetLevel, 1.0f, 0.375f},
      {"/qwks/Veldrana/*/2", 0.125f, kParamWetLevel, 0.125f, 0.125f},
      {"/qwks/+multi1/2/32/4", 0.5f, kParamBin0Level + 3, 1.0f, 0.5f},
  };
  for (const Case& c : cases) {
    send(message(c.address, [&](Packet& p) { p << c.value; }));
    EXPECT_EQ(first.value(c.index), c.first) << c.address;
    EXPECT_EQ(second.value(c.index), c.second) << c.address;
  }
  send(message("/qwks/1/1/2/2", [](Packet& p) { p << 0.5f << 0.25f; }));
  EXPECT_EQ(first.value(kParamDryLevel), 0.5f);
  EXPECT_EQ(second.value(kParamWetLevel), 0.25f);
}

TEST_F(MultiInstance, ChangesThroughQwksReachTheTargetsSubscribers) {
  Client subscriber;
  second.client.send(second.port, message("/registerUpdate", [&](Packet& p) {
                       p << int32_t{kParamDryLevel} << subscriber.url().c_str() << "/dry";
                     }));
  ASSERT_TRUE(second.client.ping(second.port));
  send(message("/qwks/Veldrana/2/1", [](Packet& p) { p << 0.5f; }));
  const auto heard = subscriber.receiveAt("/dry");
  ASSERT_TRUE(heard);
  EXPECT_EQ(std::get<float>(heard->arguments[1]), 0.5f);
}

TEST_F(MultiInstance, MalformedAddressesAreLoggedWithTheWholeAddress) {
  CapturedStdout out;
  send(message("/qwks/+multi2/1/3/1", [](Packet& p) { p << 0.5f; }));
  send(message("/qwks/1/3"));
  send(message("/qwks/Veldrana/x/3", [](Packet& p) { p << 0.5f; }));
  send(message("/qwks/1/3", [](Packet& p) { p << int32_t{1}; }));
  const std::string log = out.take();
  for (const char* line : {
           "error while parsing message: /qwks/+multi2/1/3/1: /qwks/+multi2/1/3/1\n",
           "error while parsing message: /qwks/1/3: missing argument\n",
           "error while parsing message: /qwks/Veldrana/x/3: /qwks/Veldrana/x/3\n",
           "error while parsing message: /qwks/1/3: wrong argument type\n",
       })
    EXPECT_NE(log.find(line), std::string::npos) << line << "\nin:\n" << log;
}

TEST_F(MultiInstance, NumbersAreReusedAfterAnInstanceLeaves) {
  send(message("/qwks/Veldrana/*/2", [](Packet& p) { p << 0.5f; }));  // numbers both
  auto& directory = QW::OscInstanceDirectory::instance();
  ASSERT_EQ(directory.ProductNumberOf(second.effect.get()), 2);
  first.effect.reset();
  ServiceFixture third{23};
  ASSERT_TRUE(third.ready());
  third.client.send(third.port, message("/qwks/Veldrana/1/2", [](Packet& p) { p << 0.25f; }));
  ASSERT_TRUE(third.client.ping(third.port));
  // The second keeps its 2; the newcomer gets the freed 1.
  EXPECT_EQ(directory.ProductNumberOf(second.effect.get()), 2);
  EXPECT_EQ(directory.ProductNumberOf(third.effect.get()), 1);
  EXPECT_EQ(third.value(kParamWetLevel), 0.25f);
  EXPECT_EQ(second.value(kParamWetLevel), 0.5f);
}

}  // namespace
