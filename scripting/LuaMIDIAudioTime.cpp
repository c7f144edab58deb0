// The scripts' clock while the host renders offline: time is the frames
// rendered, and the audio thread fires each timer at the frame it is due,
// so what a timer does lands at the same sample whatever the block size or
// the speed of the machine.
#include <algorithm>
#include <cmath>
#include <memory>

#include "core/QwkAuBase.h"
#include "platform/MonotonicClock.h"
#include "scripting/LuaMIDIHelper.h"

namespace QW {
namespace {
constexpr double kFallbackRate = 44100.0;
// Timers a callback may start at the very frame it runs at are fired at
// that frame up to this count; the rest wait one frame, so a script that
// keeps restarting a zero-second timer slows the render but cannot stop it.
constexpr int kFiringsPerFrame = 256;
}  // namespace

void LuaMIDIHelper::FollowAudioTime() {
  audioTime_ = true;
}

double LuaMIDIHelper::framesPerMs() const {
  const double rate = effect_ ? effect_->getSampleRate() : 0.0;
  return (rate > 0.0 ? rate : kFallbackRate) * 0.001;
}

double LuaMIDIHelper::Now() const {
  if (!audioTime_) return platform::secondsSinceLoad();
  // Whole milliseconds, as the wall clock gives them.
  const double ms = std::floor(static_cast<double>(renderedFrames_.load()) / framesPerMs());
  return ms * 0.001;
}

LuaMIDIHelper::TimerId LuaMIDIHelper::startAudioTimer(uint32_t dueMs, bool periodic,
                                                      int32_t reference) {
  const double now = static_cast<double>(renderedFrames_.load()) / framesPerMs();
  std::lock_guard<std::mutex> lock(timerLock_);
  if (timersStopped_) return platform::TimerQueue::kNoTimer;
  const TimerId id = nextAudioTimer_++;
  auto record = std::make_unique<Timer>(Timer{this, reference, id});
  record->dueMs = now + dueMs;
  // A periodic timer of period 0 fires once, like a one-shot.
  record->periodMs = periodic ? dueMs : 0.0;
  liveTimers_.emplace(id, std::move(record));
  return id;
}

uint64_t LuaMIDIHelper::dueFrame(const Timer& timer) const {
  return static_cast<uint64_t>(std::llround(timer.dueMs * framesPerMs()));
}

void LuaMIDIHelper::FireDueTimers() {
  const uint64_t now = renderedFrames_.load();
  for (int fired = 0; fired < kFiringsPerFrame; ++fired) {
    int32_t reference = LUA_NOREF;
    {
      std::lock_guard<std::mutex> lock(timerLock_);
      auto due = liveTimers_.end();
      for (auto it = liveTimers_.begin(); it != liveTimers_.end(); ++it) {
        if (dueFrame(*it->second) <= now &&
            (due == liveTimers_.end() || it->second->dueMs < due->second->dueMs))
          due = it;
      }
      if (due == liveTimers_.end()) return;
      Timer& timer = *due->second;
      reference = timer.reference;
      // A period shorter than a frame still moves on by one frame a firing.
      if (timer.periodMs <= 0.0)
        liveTimers_.erase(due);
      else
        timer.dueMs += std::max(timer.periodMs, 1.0 / framesPerMs());
    }
    callTimer(reference);
  }
}

uint32_t LuaMIDIHelper::FramesUntilNextTimer(uint32_t limit) const {
  const uint64_t now = renderedFrames_.load();
  uint64_t frames = limit;
  std::lock_guard<std::mutex> lock(timerLock_);
  for (const auto& entry : liveTimers_) {
    const uint64_t due = dueFrame(*entry.second);
    if (due > now && due - now < frames) frames = due - now;
  }
  return static_cast<uint32_t>(std::max<uint64_t>(frames, 1));
}

void LuaMIDIHelper::AdvanceAudioTime(uint32_t frames) {
  renderedFrames_.store(renderedFrames_.load() + frames);
}

}  // namespace QW
