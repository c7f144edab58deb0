// The OSC service's parts on their own: "/qwks/" addresses, reply URLs and
// the queue of parameter changes.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "osc/ParamChangeQueue.h"
#include "osc/QwksAddress.h"
#include "osc/ReplyUrl.h"

namespace {

// The targets as "instance:index" (a product's * as "*", a name as itself).
std::string targets(const char* rest) {
  const auto parsed = QW::ParseQwksAddress(rest);
  if (!parsed) return "refused";
  std::string out = parsed->elementMode ? "multi" : "";
  for (const QW::QwksTarget& t : parsed->targets) {
    out += " " + (t.hasProduct ? t.product + "/" : std::string());
    out += t.everyInstance ? "*" : std::to_string(t.instance);
    out += ":" + (t.parameterIsIndex ? std::to_string(t.index) : t.parameterName);
  }
  return out;
}

TEST(QwksAddress, TargetsFollowOneAnother) {
  const struct {
    const char* rest;
    std::string targets;
  } cases[] = {
      {"1/3/Veldrana/*/4/Veldrana/2/17", " 1:3 Veldrana/*:4 Veldrana/2:17"},
      {"+multi1/1/32/5/2/40/1", "multi 1:36 2:40"},  // elements count from 1
      {"1/Dry Level", " 1:Dry Level"},
      {"99999999999999999999/99999999999999999999", " 2147483647:2147483647"},
  };
  for (const auto& c : cases) EXPECT_EQ(targets(c.rest), c.targets) << c.rest;
  for (const char* rest :
       {"", "1", "1/3/", "+multi2/1/3/1", "+multi1", "+multi1/1/3", "+multi1/1/3/x", "+multi1/1/3/",
        "Veldrana/x/3", "Veldrana/**/3", "Veldrana/3", "Veldrana", "+/1/3"})
    EXPECT_EQ(targets(rest), "refused") << '"' << rest << '"';
}

TEST(ReplyUrl, HostAndPortWithOrWithoutScheme) {
  const struct {
    std::string url;
    const char* host;
    int port;
  } cases[] = {
      {"osc.udp://127.0.0.1:9000", "127.0.0.1", 9000},
      {"studio:9001/", "studio", 9001},
      {"localhost", "localhost", -1},
      {"localhost:abc", "localhost", -1},
      {std::string(1023, 'h') + ":9000", nullptr, -1},  // only the first 1023 bytes count
  };
  for (const auto& c : cases) {
    const auto parts = QW::ParseReplyUrl(c.url.c_str());
    EXPECT_EQ(parts.host, c.host ? c.host : parts.host) << c.url;
    EXPECT_EQ(parts.port, c.port) << c.url;
  }
  const auto endpoint = QW::ResolveReplyUrl("osc.udp://127.0.0.1:9000");
  ASSERT_TRUE(endpoint);
  EXPECT_EQ(endpoint->address, 0x7F000001u);
  EXPECT_EQ(endpoint->port, 9000);
  EXPECT_EQ(QW::ResolveReplyUrl("localhost:9002")->address >> 24, 127u);
  for (const char* url : {"127.0.0.1", "127.0.0.1:0", "127.0.0.1:70000", "127.0.0.1:-5", ":9000",
                          "no-such-host.invalid:9000", ""})
    EXPECT_FALSE(QW::ResolveReplyUrl(url)) << url;
}

TEST(ParamChangeQueue, KeepsOrderAndHolds63) {
  QW::ParamChangeQueue queue;
  QW::ParamChangeQueue::Change change{};
  for (int round = 0; round < 3; ++round) {  // wrapping round
    for (int32_t i = 0; i < 63; ++i) ASSERT_TRUE(queue.TryPush({i, i * 0.5f})) << i;
    EXPECT_FALSE(queue.TryPush({63, 0.0f}));
    for (int32_t i = 0; i < 63; ++i) {
      ASSERT_TRUE(queue.TryPop(change));
      EXPECT_EQ(change.index, i);
      EXPECT_EQ(change.value, i * 0.5f);
    }
    EXPECT_FALSE(queue.TryPop(change));
  }
}

// Every accepted change arrives once, each writer's in the order written.
TEST(ParamChangeQueue, ManyWritersOneReaderLoseAndDuplicateNothing) {
  QW::ParamChangeQueue queue;
  constexpr int kWriters = 4;
  constexpr int32_t kPerWriter = 20000;
  std::atomic<int> accepted{0};
  std::atomic<bool> writing{true};
  std::vector<int32_t> last(kWriters, -1);
  int received = 0;
  bool ordered = true;
  std::thread reader([&] {
    QW::ParamChangeQueue::Change change{};
    for (bool more = true; more;) {
      more = writing.load();
      for (; queue.TryPop(change); ++received) {
        int32_t& seen = last[static_cast<size_t>(change.index / kPerWriter)];
        ordered = ordered && change.index % kPerWriter > seen;
        seen = change.index % kPerWriter;
      }
    }
  });
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w)
    writers.emplace_back([&, w] {
      for (int32_t i = 0; i < kPerWriter; ++i)
        if (queue.TryPush({w * kPerWriter + i, 0.0f})) accepted.fetch_add(1);
    });
  for (auto& t : writers) t.join();
  writing = false;
  reader.join();
  EXPECT_EQ(received, accepted.load());
  EXPECT_TRUE(ordered);
  EXPECT_GT(accepted.load(), 0);
}

}  // namespace
