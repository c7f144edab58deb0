#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "osc/ParamChangeQueue.h"

namespace {

using QW::ParamChangeQueue;

TEST(ParamChangeQueue, KeepsOrderAndHolds63) {
  ParamChangeQueue queue;
  for (int32_t i = 0; i < 63; ++i) ASSERT_TRUE(queue.TryPush({i, i * 0.5f})) << i;
  EXPECT_FALSE(queue.TryPush({63, 0.0f}));
  ParamChangeQueue::Change change{};
  for (int32_t i = 0; i < 63; ++i) {
    ASSERT_TRUE(queue.TryPop(change));
    EXPECT_EQ(change.index, i);
    EXPECT_EQ(change.value, i * 0.5f);
  }
  EXPECT_FALSE(queue.TryPop(change));
}

TEST(ParamChangeQueue, WrapsAroundManyTimes) {
  ParamChangeQueue queue;
  ParamChangeQueue::Change change{};
  for (int32_t i = 0; i < 1000; ++i) {
    ASSERT_TRUE(queue.TryPush({i, 0.0f}));
    ASSERT_TRUE(queue.TryPush({i + 1, 0.0f}));
    ASSERT_TRUE(queue.TryPop(change));
    EXPECT_EQ(change.index, i);
    ASSERT_TRUE(queue.TryPop(change));
    EXPECT_EQ(change.index, i + 1);
  }
}

// Four writers against one reader: every accepted change arrives exactly
// once, and each writer's changes arrive in the order written.
TEST(ParamChangeQueue, ManyWritersOneReaderLoseAndDuplicateNothing) {
  ParamChangeQueue queue;
  constexpr int kWriters = 4;
  constexpr int32_t kPerWriter = 20000;
  std::atomic<int> accepted{0};
  std::atomic<bool> writing{true};
  std::vector<int32_t> lastSeen(kWriters, -1);
  std::vector<int> received(kWriters, 0);
  bool ordered = true;
  std::thread reader([&] {
    ParamChangeQueue::Change change{};
    for (;;) {
      const bool more = writing.load();
      while (queue.TryPop(change)) {
        const int writer = change.index / kPerWriter;
        const int32_t sequence = change.index % kPerWriter;
        if (sequence <= lastSeen[writer]) ordered = false;
        lastSeen[writer] = sequence;
        ++received[writer];
      }
      if (!more) return;
    }
  });
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int32_t i = 0; i < kPerWriter; ++i)
        if (queue.TryPush({w * kPerWriter + i, 0.0f})) accepted.fetch_add(1);
    });
  }
  for (auto& t : writers) t.join();
  writing = false;
  reader.join();
  int total = 0;
  for (int n : received) total += n;
  EXPECT_EQ(total, accepted.load());
  EXPECT_TRUE(ordered);
  EXPECT_GT(accepted.load(), 0);
}

}  // namespace
