#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/AutoResetEvent.h"
#include "platform/TimerQueue.h"

namespace {

using namespace std::chrono_literals;
using platform::TimerQueue;

struct Probe {
  std::atomic<int> calls{0};
  std::atomic<bool> inside{false};
  std::atomic<bool> finished{false};
  std::chrono::milliseconds work{0};
  TimerQueue* queue = nullptr;
  bool deleteSelfWaiting = false;
};

void onTimer(void* context, TimerQueue::TimerId id) {
  auto* probe = static_cast<Probe*>(context);
  probe->inside = true;
  ++probe->calls;
  if (probe->deleteSelfWaiting) probe->queue->Delete(id, TimerQueue::Completion::kWaitForCallback);
  std::this_thread::sleep_for(probe->work);
  probe->finished = true;
  probe->inside = false;
}

bool waitUntil(const std::atomic<int>& value, int atLeast) {
  for (int i = 0; i < 400 && value < atLeast; ++i) std::this_thread::sleep_for(5ms);
  return value >= atLeast;
}

TEST(TimerQueue, OneShotFiresOnceAndItsIdIsNotReused) {
  TimerQueue queue;
  Probe probe;
  const TimerQueue::TimerId id = queue.Create(onTimer, &probe, 5, 0);
  ASSERT_NE(id, TimerQueue::kNoTimer);
  ASSERT_TRUE(waitUntil(probe.calls, 1));
  std::this_thread::sleep_for(40ms);
  EXPECT_EQ(probe.calls, 1);
  // A spent one-shot timer stays known until it is deleted.
  EXPECT_TRUE(queue.Delete(id, TimerQueue::Completion::kDontWait));
  EXPECT_FALSE(queue.Delete(id, TimerQueue::Completion::kDontWait));
  EXPECT_NE(queue.Create(onTimer, &probe, 100000, 0), id);  // ids are never reused
}

TEST(TimerQueue, PeriodicRepeatsAndChangeReschedules) {
  TimerQueue queue;
  Probe probe;
  const TimerQueue::TimerId id = queue.Create(onTimer, &probe, 1000000, 2);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(probe.calls, 0);
  ASSERT_TRUE(queue.Change(id, 0, 2));
  ASSERT_TRUE(waitUntil(probe.calls, 4));
  queue.Delete(id, TimerQueue::Completion::kWaitForCallback);
  const int afterDelete = probe.calls;
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(probe.calls, afterDelete);
}

TEST(TimerQueue, DeleteWaitsForTheRunningCallbackOnlyWhenAskedTo) {
  for (const bool wait : {true, false}) {
    TimerQueue queue;
    Probe probe;
    probe.work = 150ms;
    const TimerQueue::TimerId id = queue.Create(onTimer, &probe, 0, 0);
    for (int i = 0; i < 400 && !probe.inside; ++i) std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(probe.inside);
    queue.Delete(
        id, wait ? TimerQueue::Completion::kWaitForCallback : TimerQueue::Completion::kDontWait);
    EXPECT_EQ(probe.finished, wait);
    queue.Close();
    EXPECT_TRUE(probe.finished);
  }
}

TEST(TimerQueue, ACallbackMayDeleteItsOwnTimerWithoutDeadlock) {
  TimerQueue queue;
  Probe probe;
  probe.queue = &queue;
  probe.deleteSelfWaiting = true;
  queue.Create(onTimer, &probe, 0, 1);
  ASSERT_TRUE(waitUntil(probe.calls, 1));
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(probe.calls, 1);
  EXPECT_EQ(queue.size(), 0u);
}

TEST(TimerQueue, ClosingWaitsForTheRunningCallbackAndRefusesNewTimers) {
  Probe probe;
  probe.work = 100ms;
  {
    TimerQueue queue;
    queue.Create(onTimer, &probe, 0, 0);
    for (int i = 0; i < 400 && !probe.inside; ++i) std::this_thread::sleep_for(1ms);
    queue.Close();
    EXPECT_TRUE(probe.finished);
    EXPECT_EQ(queue.Create(onTimer, &probe, 0, 0), TimerQueue::kNoTimer);
  }
}

TEST(AutoResetEvent, ASetWakesOneWaitOnly) {
  platform::AutoResetEvent event;
  event.Set();
  EXPECT_TRUE(event.WaitFor(0));
  EXPECT_FALSE(event.WaitFor(10));
  std::atomic<bool> woken{false};
  std::thread waiter([&] {
    event.Wait();
    woken = true;
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(woken);
  event.Set();
  waiter.join();
  EXPECT_TRUE(woken);
}

}  // namespace
