#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "gui/RenderEvents.h"
#include "gui/RenderWorkers.h"

namespace {

using namespace std::chrono_literals;
using QW::RenderEvents;
using QW::RenderWorkers;

TEST(RenderEvents, LowestSignalledFirstEachResetsOnlyItselfAndOthersWakeAnEndlessWait) {
  RenderEvents events;
  events.signal(RenderEvents::kRedrawLayer);
  events.signal(RenderEvents::kResized);
  events.signal(RenderEvents::kResized);  // remembered once
  events.signal(RenderEvents::kCount);    // out of range: ignored
  EXPECT_EQ(events.waitAny(0ms), RenderEvents::kResized);
  EXPECT_EQ(events.waitAny(0ms), RenderEvents::kRedrawLayer);
  EXPECT_EQ(events.waitAny(20ms), RenderEvents::kTimedOut);
  std::thread signaller([&] {
    std::this_thread::sleep_for(10ms);
    events.signal(RenderEvents::kStop);
  });
  EXPECT_EQ(events.waitAny(std::nullopt), RenderEvents::kStop);
  signaller.join();
}

// Editors opened one after the other must share one thread: a new one each
// time costs the host a malloc arena and the GL driver's buffers in it.
TEST(RenderWorkers, ATaskAfterAFinishedOneRunsOnTheSameThread) {
  std::vector<std::thread::id> ran(4);
  for (std::thread::id& id : ran) {
    const RenderWorkers::Ticket ticket =
        RenderWorkers::run([&id] { id = std::this_thread::get_id(); });
    ASSERT_NE(ticket, RenderWorkers::kNoTicket);
    RenderWorkers::waitFor(ticket);
    EXPECT_NE(id, std::thread::id()) << "waitFor returned before the task ran";
  }
  for (const std::thread::id& id : ran) EXPECT_EQ(id, ran[0]);
  EXPECT_NE(ran[0], std::this_thread::get_id());
  EXPECT_EQ(RenderWorkers::idleCount(), RenderWorkers::workerCount());
}

// Open editors each draw on a thread of their own, and waiting for one
// waits for that one only.
TEST(RenderWorkers, TasksAtOnceRunOnThreadsOfTheirOwnAndWaitForSeesThemEnd) {
  std::mutex mutex;
  std::condition_variable changed;
  int started = 0;
  bool release[2] = {false, false};
  std::atomic<bool> ended[2] = {false, false};
  std::thread::id ids[2];
  RenderWorkers::Ticket tickets[2];
  for (int i = 0; i < 2; ++i) {
    tickets[i] = RenderWorkers::run([&, i] {
      std::unique_lock<std::mutex> lock(mutex);
      ids[i] = std::this_thread::get_id();
      ++started;
      changed.notify_all();
      changed.wait(lock, [&] { return release[i]; });
      lock.unlock();
      std::this_thread::sleep_for(20ms);
      ended[i] = true;
    });
  }
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return started == 2; }))
        << "the second task waited for the first";
    EXPECT_NE(ids[0], ids[1]);
    release[1] = true;
  }
  changed.notify_all();
  RenderWorkers::waitFor(tickets[1]);
  EXPECT_TRUE(ended[1]) << "waitFor returned while its task still ran";
  EXPECT_FALSE(ended[0]) << "the other task ended without being released";
  {
    std::lock_guard<std::mutex> lock(mutex);
    release[0] = true;
  }
  changed.notify_all();
  RenderWorkers::waitFor(tickets[0]);
  EXPECT_TRUE(ended[0]);
  RenderWorkers::waitFor(RenderWorkers::kNoTicket);  // returns at once
}

}  // namespace
