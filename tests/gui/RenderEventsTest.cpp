#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "gui/RenderEvents.h"

namespace {

using namespace std::chrono_literals;
using QW::RenderEvents;

TEST(RenderEvents, TimesOutWhenNothingIsSignalled) {
  RenderEvents events;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(events.waitAny(20ms), RenderEvents::kTimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 19ms);
}

TEST(RenderEvents, LowestSignalledFirstAndEachResetsOnlyItself) {
  RenderEvents events;
  events.signal(RenderEvents::kRedrawLayer);
  events.signal(RenderEvents::kResized);
  events.signal(RenderEvents::kResized);  // remembered once
  EXPECT_EQ(events.waitAny(0ms), RenderEvents::kResized);
  EXPECT_EQ(events.waitAny(0ms), RenderEvents::kRedrawLayer);
  EXPECT_EQ(events.waitAny(0ms), RenderEvents::kTimedOut);
}

TEST(RenderEvents, ASignalFromAnotherThreadWakesAnEndlessWait) {
  RenderEvents events;
  std::thread signaller([&] {
    std::this_thread::sleep_for(10ms);
    events.signal(RenderEvents::kStop);
  });
  EXPECT_EQ(events.waitAny(std::nullopt), RenderEvents::kStop);
  signaller.join();
}

TEST(RenderEvents, OutOfRangeSignalsAreIgnored) {
  RenderEvents events;
  events.signal(-1);
  events.signal(RenderEvents::kCount);
  EXPECT_EQ(events.waitAny(0ms), RenderEvents::kTimedOut);
}

}  // namespace
