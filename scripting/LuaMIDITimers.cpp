// Script timers of the Lua MIDI helper. The live set decides whether a
// firing still counts: a timer is live from its request until its one-shot
// firing, its cancellation or the helper's end; callbacks that start after
// that find nothing and do nothing.
#include "scripting/LuaMIDIHelper.h"

namespace QW {
namespace {
// The first due time only has to outlast the few steps that make the timer
// live; the real one is set afterwards.
constexpr uint32_t kParkedDueMs = 1000000;
}  // namespace

LuaMIDIHelper::TimerId LuaMIDIHelper::StartTimer(uint32_t dueMs, bool periodic, int32_t reference) {
  if (audioTime_) return startAudioTimer(dueMs, periodic, reference);
  auto record = std::make_unique<Timer>(Timer{this, reference, platform::TimerQueue::kNoTimer});
  const uint32_t period = periodic ? dueMs : 0;
  const TimerId id =
      timerQueue_.Create(periodic ? OnPeriodicTimer : OnOneShotTimer, this, kParkedDueMs, period);
  if (id == platform::TimerQueue::kNoTimer) return id;
  record->handle = id;
  {
    std::lock_guard<std::mutex> lock(timerLock_);
    if (timersStopped_) {
      timerQueue_.Delete(id, platform::TimerQueue::Completion::kDontWait);
      return platform::TimerQueue::kNoTimer;
    }
    liveTimers_.emplace(id, std::move(record));
  }
  timerQueue_.Change(id, dueMs, period);
  return id;
}

void LuaMIDIHelper::CancelTimer(TimerId id) {
  std::lock_guard<std::mutex> lock(timerLock_);
  const auto it = liveTimers_.find(id);
  if (it == liveTimers_.end()) return;
  // Audio-clock ids are the helper's own and mean nothing to the queue.
  if (!audioTime_) timerQueue_.Delete(id, platform::TimerQueue::Completion::kDontWait);
  liveTimers_.erase(it);
}

size_t LuaMIDIHelper::LiveTimerCount() const {
  std::lock_guard<std::mutex> lock(timerLock_);
  return liveTimers_.size();
}

void LuaMIDIHelper::OnOneShotTimer(void* context, TimerId id) {
  static_cast<LuaMIDIHelper*>(context)->fireTimer(id, true);
}

void LuaMIDIHelper::OnPeriodicTimer(void* context, TimerId id) {
  static_cast<LuaMIDIHelper*>(context)->fireTimer(id, false);
}

void LuaMIDIHelper::fireTimer(TimerId id, bool oneShot) {
  int32_t reference = LUA_NOREF;
  {
    std::lock_guard<std::mutex> lock(timerLock_);
    const auto it = liveTimers_.find(id);
    if (it == liveTimers_.end()) return;
    reference = it->second->reference;
    if (oneShot) {
      timerQueue_.Delete(id, platform::TimerQueue::Completion::kDontWait);
      liveTimers_.erase(it);
    }
  }
  callTimer(reference);
}

void LuaMIDIHelper::callTimer(int32_t reference) {
  std::lock_guard<std::recursive_mutex> lock(luaLock_);
  lua_State* L = state_.get();
  if (!L) return;
  lua_rawgeti(L, LUA_REGISTRYINDEX, reference);
  RunEntry(0, "timer callback");
  budget_.deferred().Flush();
}

// The queue is closed without the timer lock held: a running callback takes
// that lock, and closing waits for it.
void LuaMIDIHelper::StopTimers() {
  timerQueue_.Close();
  std::lock_guard<std::mutex> lock(timerLock_);
  timersStopped_ = true;
  liveTimers_.clear();
}

}  // namespace QW
