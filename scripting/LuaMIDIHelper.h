// The plug-in's scripting Lua state and its host API: builds the state with
// the global functions and constants scripts use, loads the built-in and the
// user's scripts, routes MIDI messages and timers into the callbacks they
// registered, and serialises every entry into Lua with one recursive lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/MessageQueue.h"
#include "core/ParamSpec.h"
#include "core/VstAbi.h"
#include "platform/TimerQueue.h"
#include "scripting/InstructionBudget.h"
#include "scripting/LuaAllocator.h"
#include "scripting/LuaHeaders.h"

class QwkAuBase;

namespace QW {

class OSCScriptBindings;

// Parameter name (exact bytes) to index; looked up without copying the key.
using ParameterNameMap = std::map<std::string, int32_t, std::less<>>;

class LuaMIDIHelper {
 public:
  // The callback lists a script can add to.
  enum CallbackKind : int {
    kNoteOnCallbacks,
    kNoteOffCallbacks,
    kControllerCallbacks,
    kNrpnCallbacks,
    kProgramChangeCallbacks,
    kPolyPressureCallbacks,
    kPitchWheelCallbacks,       // no keyed map
    kChannelPressureCallbacks,  // no keyed map
    kCallbackKindCount
  };

  // A script timer. Scripts hold its timer-queue id (never reused), not its
  // address, so a stale timer userdata can only miss, never reach freed
  // memory.
  struct Timer {
    LuaMIDIHelper* helper;
    int32_t reference;
    platform::TimerQueue::TimerId handle;
    // On the audio clock only: the clock's milliseconds it fires at, and
    // its period (0 for a one-shot). Kept in time rather than frames, so
    // timers started before the host sets the sample rate still land right.
    double dueMs = 0.0;
    double periodMs = 0.0;
  };
  using TimerId = platform::TimerQueue::TimerId;

  static constexpr const char* kTimerMetatable = "QW::LuaMIDIHelper::Timer";

  LuaMIDIHelper(QwkAuBase* effect, MessageQueue* queue, OSCScriptBindings* osc = nullptr);
  virtual ~LuaMIDIHelper();
  LuaMIDIHelper(const LuaMIDIHelper&) = delete;
  LuaMIDIHelper& operator=(const LuaMIDIHelper&) = delete;

  // MIDI dispatch (channel 0-based, data bytes 0..127).
  virtual void NoteOn(int32_t channel, int32_t note, int32_t velocity);
  virtual void NoteOff(int32_t channel, int32_t note, int32_t velocity);
  virtual void ControlChange(int32_t channel, int32_t controller, int32_t value);
  virtual void PitchWheel(int32_t channel, int32_t lsb, int32_t msb);
  // The audio thread's entry: never waits for the Lua lock. While another
  // thread holds it, the message is kept (in order, up to
  // kDeferredMessages) and handled by a later call or RetryDeferredMessages.
  virtual void HandleMessage(const MessageQueueItem& item);
  virtual bool IsParameterUsed(int32_t index);
  // The eight indicator values (ids 0..7); this class keeps none.
  virtual void SetGUIBoolValue(int32_t /*id*/, bool /*value*/) {}
  virtual bool GetGUIBoolValue(int32_t /*id*/) { return false; }
  // Adds a subclass's own global functions while the state is built, after
  // the helper's own and before any script runs.
  virtual void RegisterFunctions() {}

  void PolyPressure(int32_t channel, int32_t note, int32_t pressure);
  void ProgramChange(int32_t channel, int32_t program);
  void ChannelPressure(int32_t channel, int32_t value);

  void SetParameterTable(uint32_t count, const ParamSpec* table);
  void SetOSCService(OSCScriptBindings* osc) { osc_ = osc; }
  // Builds the Lua state and loads the scripts.
  virtual void Init();
  lua_State* GetLuaState();
  void CloseLuaState();
  // Function and n arguments pushed (under LuaLock()): runs them protected,
  // with no results, and pops the error message of a failure.
  int CallProtected(int nargs);
  std::recursive_mutex& LuaLock() { return luaLock_; }
  // Ends every timer, waiting for callbacks already running. The owner
  // calls it before it takes apart what the callbacks reach.
  void StopTimers();

  // Handles the messages HandleMessage had to keep, if the lock is free now;
  // the audio thread calls it once per block.
  void RetryDeferredMessages();
  static constexpr size_t kDeferredMessages = 256;
  // What the audio thread did without the script because another thread
  // held the Lua lock: spectral runs left out, MIDI messages handled late,
  // and messages dropped because too many were waiting.
  uint64_t SkippedSpectralRuns() const {
    return skippedSpectralRuns_.load(std::memory_order_relaxed);
  }
  uint64_t DeferredMessageCount() const {
    return deferredMessages_.load(std::memory_order_relaxed);
  }
  uint64_t DroppedMessageCount() const { return droppedMessages_.load(std::memory_order_relaxed); }

  // Copies the list into the queue; 1, or the system-exclusive write's answer.
  int32_t ProcessEvents(const vst::VstEvents* events);

  // Used by the script functions.
  static LuaMIDIHelper* FromState(lua_State* L);
  // A parameter designator at arg: an index (number or numeric string) or
  // a parameter name; raises the Lua errors of a bad one. A designator that
  // is a copy (a table element pushed on the stack) names the argument it
  // came from, reportAs, in its argument error.
  static int32_t CheckParameter(lua_State* L, int arg, int reportAs = 0);
  // The index of the parameter of that exact name, or -1.
  static int32_t FindParameterName(lua_State* L, const char* name);
  QwkAuBase* effect() const { return effect_; }
  uint32_t parameterCount() const { return paramCount_; }
  const ParamSpec* parameterTable() const { return paramTable_; }
  OSCScriptBindings* oscService() const { return osc_; }
  void AddCallback(CallbackKind kind, int32_t reference);
  void AddKeyedCallback(CallbackKind kind, int32_t key, int32_t reference);
  // Starts a timer for the function referenced; kNoTimer once stopped.
  TimerId StartTimer(uint32_t dueMs, bool periodic, int32_t reference);
  void CancelTimer(TimerId id);
  size_t LiveTimerCount() const;

  // The scripts' clock. It reads the wall clock unless FollowAudioTime was
  // called (before any script runs): then it reads the frames rendered so
  // far, and timers fire at the frame they are due, when the audio thread
  // gets there, so an offline render does not depend on the machine or the
  // block size.
  void FollowAudioTime();
  bool followsAudioTime() const { return audioTime_; }
  double Now() const;
  // Audio clock: fires the timers due at the current frame, in the order
  // they are due (ties in the order they were started).
  void FireDueTimers();
  // Audio clock: frames from the current one to the next timer due after
  // it, at most limit (and at least 1).
  uint32_t FramesUntilNextTimer(uint32_t limit) const;
  void AdvanceAudioTime(uint32_t frames);

  // Writes the diagnostics parked by the audio thread, unless another
  // thread is in Lua right now; never waits.
  void FlushLog();

  const LuaAllocator& allocator() const { return *allocator_; }
  InstructionBudget& budget() { return budget_; }

 protected:
  // Runs the pushed function and its n arguments as one script entry under
  // the Lua lock and the instruction budget. The caller holds the lock.
  // With keepError a failed entry leaves its error on the stack.
  int RunEntry(int nargs, const char* what, const char* name = nullptr, bool keepError = false);
  void CountSkippedSpectralRun() { skippedSpectralRuns_.fetch_add(1, std::memory_order_relaxed); }
  // The state, or null before GetLuaState has built it.
  lua_State* CurrentState() const { return state_.get(); }

 private:
  using CallbackList = std::vector<int32_t>;
  using KeyedCallbacks = std::map<int32_t, CallbackList>;

  static int BuildState(lua_State* L);
  void dispatch(CallbackKind kind, int32_t key, const int32_t* args, int count);
  void callReference(int32_t reference, const int32_t* args, int count, const char* what);
  void dispatchNrpn(int32_t channel);
  struct ShortMessage {
    uint8_t status, channel, data1, data2;
  };
  void route(const ShortMessage& message);
  void handleDeferred();
  static void OnOneShotTimer(void* context, TimerId id);
  static void OnPeriodicTimer(void* context, TimerId id);
  void fireTimer(TimerId id, bool oneShot);
  void callTimer(int32_t reference);
  TimerId startAudioTimer(uint32_t dueMs, bool periodic, int32_t reference);
  double framesPerMs() const;
  uint64_t dueFrame(const Timer& timer) const;
  static void OnHousekeeping(void* context, TimerId id);

  QwkAuBase* effect_;
  MessageQueue* queue_;
  OSCScriptBindings* osc_;
  uint32_t paramCount_ = 0;
  const ParamSpec* paramTable_ = nullptr;
  std::unique_ptr<LuaAllocator> allocator_;
  std::unique_ptr<ParameterNameMap> paramNames_;
  std::unique_ptr<lua_State, void (*)(lua_State*)> state_;
  std::recursive_mutex luaLock_;
  InstructionBudget budget_;
  CallbackList lists_[kCallbackKindCount];
  KeyedCallbacks keyed_[kPitchWheelCallbacks];
  struct NRPNState {
    uint8_t numberLsb = 0;  // controller 98
    uint8_t numberMsb = 0;  // controller 99
    uint8_t dataLsb = 0;    // controller 38
    uint8_t dataMsb = 0;    // controller 6
  } nrpn_;
  // Audio thread only.
  std::array<ShortMessage, kDeferredMessages> deferred_{};
  size_t deferredFirst_ = 0;
  size_t deferredCount_ = 0;
  std::atomic<uint64_t> skippedSpectralRuns_{0};
  std::atomic<uint64_t> deferredMessages_{0};
  std::atomic<uint64_t> droppedMessages_{0};
  mutable std::mutex timerLock_;
  std::map<TimerId, std::unique_ptr<Timer>> liveTimers_;
  bool timersStopped_ = false;
  bool audioTime_ = false;
  std::atomic<uint64_t> renderedFrames_{0};
  TimerId nextAudioTimer_ = 1;  // guarded by timerLock_
  platform::TimerQueue timerQueue_;
};

}  // namespace QW
