// MIDI routing of the Lua MIDI helper: messages to the script callbacks,
// NRPN assembly from controller messages.
#include "scripting/LuaMIDIHelper.h"
#include "scripting/RealtimeScope.h"

namespace QW {

void LuaMIDIHelper::HandleMessage(const MessageQueueItem& item) {
  if (item.type != MessageQueueItem::kShort) return;
  const RealtimeScope realtime;
  const ShortMessage message{item.status, item.channel, item.data1, item.data2};
  // A timer or an OSC call may hold the lock for as long as its script (or
  // a slow C function it calls) runs; the audio thread must not wait for it.
  std::unique_lock<std::recursive_mutex> lock(luaLock_, std::try_to_lock);
  if (!lock.owns_lock()) {
    if (deferredCount_ == deferred_.size()) {
      droppedMessages_.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    deferred_[(deferredFirst_ + deferredCount_++) % deferred_.size()] = message;
    deferredMessages_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  handleDeferred();
  route(message);
}

void LuaMIDIHelper::RetryDeferredMessages() {
  if (deferredCount_ == 0) return;
  const RealtimeScope realtime;
  std::unique_lock<std::recursive_mutex> lock(luaLock_, std::try_to_lock);
  if (lock.owns_lock()) handleDeferred();
}

// Under the lock, oldest first, so the script sees the messages in order.
void LuaMIDIHelper::handleDeferred() {
  while (deferredCount_ > 0) {
    const ShortMessage message = deferred_[deferredFirst_];
    deferredFirst_ = (deferredFirst_ + 1) % deferred_.size();
    --deferredCount_;
    route(message);
  }
}

void LuaMIDIHelper::route(const ShortMessage& message) {
  const int32_t channel = message.channel;
  switch (message.status) {
    case 0x90:
      if (message.data2 != 0)
        NoteOn(channel, message.data1, message.data2);
      else
        NoteOff(channel, message.data1, message.data2);
      break;
    case 0x80:
      NoteOff(channel, message.data1, message.data2);
      break;
    case 0xA0:
      PolyPressure(channel, message.data1, message.data2);
      break;
    case 0xB0:
      ControlChange(channel, message.data1, message.data2);
      break;
    case 0xC0:
      ProgramChange(channel, message.data1);
      break;
    case 0xD0:
      ChannelPressure(channel, message.data1);
      break;
    case 0xE0:
      PitchWheel(channel, message.data1, message.data2);
      break;
    default:
      break;
  }
}

void LuaMIDIHelper::callReference(int32_t reference, const int32_t* args, int count,
                                  const char* what) {
  lua_State* L = state_.get();
  if (!L) return;
  lua_rawgeti(L, LUA_REGISTRYINDEX, reference);
  for (int i = 0; i < count; ++i) lua_pushnumber(L, args[i]);
  RunEntry(count, what);
}

// The lock is taken per callback, and the list is read again under it each
// time, so a callback added by another thread (or by a callback of this
// walk) is seen safely and, when it lands in this list, still reached.
void LuaMIDIHelper::dispatch(CallbackKind kind, int32_t key, const int32_t* args, int count) {
  for (size_t i = 0;; ++i) {
    std::lock_guard<std::recursive_mutex> lock(luaLock_);
    const CallbackList& list = lists_[kind];
    if (i >= list.size()) break;
    callReference(list[i], args, count, "MIDI callback");
  }
  if (kind >= kPitchWheelCallbacks) return;
  for (size_t i = 0;; ++i) {
    std::lock_guard<std::recursive_mutex> lock(luaLock_);
    const auto it = keyed_[kind].find(key);
    if (it == keyed_[kind].end() || i >= it->second.size()) break;
    callReference(it->second[i], args, count, "MIDI callback");
  }
}

void LuaMIDIHelper::NoteOn(int32_t channel, int32_t note, int32_t velocity) {
  const int32_t args[] = {channel + 1, note, velocity};
  dispatch(kNoteOnCallbacks, note, args, 3);
}

void LuaMIDIHelper::NoteOff(int32_t channel, int32_t note, int32_t velocity) {
  const int32_t args[] = {channel + 1, note, velocity};
  dispatch(kNoteOffCallbacks, note, args, 3);
}

void LuaMIDIHelper::PolyPressure(int32_t channel, int32_t note, int32_t pressure) {
  const int32_t args[] = {channel + 1, note, pressure};
  dispatch(kPolyPressureCallbacks, note, args, 3);
}

void LuaMIDIHelper::ProgramChange(int32_t channel, int32_t program) {
  const int32_t args[] = {channel + 1, program};
  dispatch(kProgramChangeCallbacks, program, args, 2);
}

void LuaMIDIHelper::ChannelPressure(int32_t channel, int32_t value) {
  const int32_t args[] = {channel + 1, value};
  dispatch(kChannelPressureCallbacks, 0, args, 2);
}

void LuaMIDIHelper::PitchWheel(int32_t channel, int32_t lsb, int32_t msb) {
  const int32_t args[] = {channel + 1, msb * 128 + lsb};
  dispatch(kPitchWheelCallbacks, 0, args, 2);
}

void LuaMIDIHelper::dispatchNrpn(int32_t channel) {
  const int32_t number = nrpn_.numberMsb * 128 + nrpn_.numberLsb;
  const int32_t value = nrpn_.dataMsb * 128 + nrpn_.dataLsb;
  const int32_t args[] = {channel + 1, number, value};
  dispatch(kNrpnCallbacks, number, args, 3);
}

// One NRPN state serves all sixteen channels and is never reset: a
// data-entry message reuses whatever number and other data byte came last.
void LuaMIDIHelper::ControlChange(int32_t channel, int32_t controller, int32_t value) {
  const auto byte = static_cast<uint8_t>(value);
  switch (controller) {
    case 6:
      nrpn_.dataMsb = byte;
      dispatchNrpn(channel);
      break;
    case 38:
      nrpn_.dataLsb = byte;
      dispatchNrpn(channel);
      break;
    case 99:
      nrpn_.numberMsb = byte;
      break;
    case 98:
      nrpn_.numberLsb = byte;
      break;
    default:
      break;
  }
  const int32_t args[] = {channel + 1, controller, value};
  dispatch(kControllerCallbacks, controller, args, 3);
}

}  // namespace QW
