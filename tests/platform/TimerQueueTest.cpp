#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/TimerQueue.h"

namespace {

using namespace std::chrono_literals;
using platform::TimerQueue;

struct Probe {
  std::atomic<int> calls{0};
  std::atomic<bool> inside{false}, finished{false};
  std::chrono::milliseconds work{0};
  TimerQueue* deleteSelf = nullptr;  // the callback deletes its own timer, waiting
};

void onTimer(void* context, TimerQueue::TimerId id) {
  auto* probe = static_cast<Probe*>(context);
  probe->inside = true;
  ++probe->calls;
  if (probe->deleteSelf) probe->deleteSelf->Delete(id, TimerQueue::Completion::kWaitForCallback);
  std::this_thread::sleep_for(probe->work);
  probe->finished = true;
  probe->inside = false;
}

template <typename Condition>
bool waitUntil(Condition done) {
  for (int i = 0; i < 400 && !done(); ++i) std::this_thread::sleep_for(5ms);
  return done();
}

TEST(TimerQueue, OneShotFiresOnceAndPeriodicRepeatsAfterAChange) {
  TimerQueue queue;
  Probe once, periodic, selfDeleting;
  selfDeleting.deleteSelf = &queue;  // may delete its own timer without a deadlock
  queue.Create(onTimer, &selfDeleting, 0, 1);
  const TimerQueue::TimerId id = queue.Create(onTimer, &once, 5, 0);
  ASSERT_TRUE(waitUntil([&] { return once.calls == 1 && selfDeleting.finished; }));
  const TimerQueue::TimerId later = queue.Create(onTimer, &periodic, 1000000, 2);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(once.calls + selfDeleting.calls, 2);
  EXPECT_EQ(periodic.calls, 0);
  EXPECT_NE(later, id);  // ids are never reused
  ASSERT_TRUE(queue.Change(later, 0, 2));
  ASSERT_TRUE(waitUntil([&] { return periodic.calls >= 4; }));
  queue.Delete(later, TimerQueue::Completion::kWaitForCallback);
  const int afterDelete = periodic.calls;
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(periodic.calls, afterDelete);
  EXPECT_EQ(queue.size(), 1u);  // the spent one-shot stays known until deleted
  EXPECT_TRUE(queue.Delete(id, TimerQueue::Completion::kDontWait));
  EXPECT_FALSE(queue.Delete(id, TimerQueue::Completion::kDontWait));
}

TEST(TimerQueue, DeleteWaitsForTheRunningCallbackOnlyWhenAskedAndCloseAlways) {
  for (const bool wait : {true, false}) {
    TimerQueue queue;
    Probe probe;
    probe.work = 150ms;
    const TimerQueue::TimerId id = queue.Create(onTimer, &probe, 0, 0);
    ASSERT_TRUE(waitUntil([&] { return probe.inside.load(); }));
    queue.Delete(
        id, wait ? TimerQueue::Completion::kWaitForCallback : TimerQueue::Completion::kDontWait);
    EXPECT_EQ(probe.finished, wait);
    queue.Close();
    EXPECT_TRUE(probe.finished);
    EXPECT_EQ(queue.Create(onTimer, &probe, 0, 0), TimerQueue::kNoTimer);
  }
}

}  // namespace
