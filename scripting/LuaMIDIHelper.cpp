#include "scripting/LuaMIDIHelper.h"

#include <cmath>
#include <limits>

#include "core/AudioUnitTypes.h"
#include "core/QwkAuBase.h"
#include "scripting/LuaMIDIFunctions.h"
#include "scripting/LuaPrint.h"
#include "scripting/RealtimeScope.h"
#include "scripting/ScriptInputPolicy.h"
#include "scripting/ScriptLoader.h"

namespace QW {
namespace {

// Registry keys: the addresses of these texts, as light userdata.
const char kRefcon[] = "QW::LuaMIDIHelper::kRefcon";
const char kParamLookup[] = "QW::LuaMIDIHelper::kParamLookup";

// How often the off-audio housekeeping (parked log lines, allocator
// headroom) runs.
constexpr uint32_t kHousekeepingMs = 250;

void setNumber(lua_State* L, const char* name, lua_Number value) {
  lua_pushnumber(L, value);
  lua_setglobal(L, name);
}

void setBoolean(lua_State* L, const char* name, bool value) {
  lua_pushboolean(L, value);
  lua_setglobal(L, name);
}

// A script must not end the host's process.
int refuseExit(lua_State* L) {
  return luaL_error(L, "os.exit is not available to plug-in scripts");
}

const char* displayNameOf(QwkAuBase* effect) {
  const char* name = nullptr;
  if (effect && effect->GetProperty(kQwkProperty_ServiceDisplayName, 0, 0, &name) == 0 && name)
    return name;
  return "Veldrana";
}

}  // namespace

LuaMIDIHelper::LuaMIDIHelper(QwkAuBase* effect, MessageQueue* queue, OSCScriptBindings* osc)
    : effect_(effect), queue_(queue), osc_(osc), state_(nullptr, lua_close) {}

LuaMIDIHelper::~LuaMIDIHelper() {
  StopTimers();
  CloseLuaState();
}

void LuaMIDIHelper::SetParameterTable(uint32_t count, const ParamSpec* table) {
  paramCount_ = count;
  paramTable_ = table;
}

void LuaMIDIHelper::Init() {
  GetLuaState();
}

LuaMIDIHelper* LuaMIDIHelper::FromState(lua_State* L) {
  lua_pushlightuserdata(L, const_cast<char*>(kRefcon));
  lua_rawget(L, LUA_REGISTRYINDEX);
  auto* helper = static_cast<LuaMIDIHelper*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  return helper;
}

int LuaMIDIHelper::BuildState(lua_State* L) {
  auto* helper = static_cast<LuaMIDIHelper*>(lua_touserdata(L, 1));
  luaL_openlibs(L);
  installLuaPrint(L);
  lua_getglobal(L, "os");
  lua_pushcfunction(L, refuseExit);
  lua_setfield(L, -2, "exit");
  lua_pop(L, 1);
  installScriptInputPolicy(L);
  registerHelperFunctions(L);
  luaL_newmetatable(L, kTimerMetatable);
  lua_pop(L, 1);
  helper->RegisterFunctions();

  lua_pushlightuserdata(L, const_cast<char*>(kRefcon));
  lua_pushlightuserdata(L, helper);
  lua_rawset(L, LUA_REGISTRYINDEX);
  lua_pushlightuserdata(L, const_cast<char*>(kParamLookup));
  lua_pushlightuserdata(L, helper->paramNames_.get());
  lua_rawset(L, LUA_REGISTRYINDEX);

  setBoolean(L, "isMac", false);
  setBoolean(L, "isWin", true);
  setBoolean(L, "isLinux", true);
  setBoolean(L, "isVST", true);
  setBoolean(L, "isAU", false);
  setNumber(L, "majorVersion", 1);
  setNumber(L, "minorVersion", 0);
  setNumber(L, "dotVersion", 5);
  setNumber(L, "version", 10005);
  return 0;
}

lua_State* LuaMIDIHelper::GetLuaState() {
  std::lock_guard<std::recursive_mutex> lock(luaLock_);
  if (state_) return state_.get();

  allocator_ = std::make_unique<LuaAllocator>();
  paramNames_ = std::make_unique<ParameterNameMap>();
  for (uint32_t i = 0; i < paramCount_ && paramTable_; ++i) {
    if (paramTable_[i].name) paramNames_->emplace(paramTable_[i].name, static_cast<int32_t>(i));
  }
  lua_State* L = lua_newstate(LuaAllocator::Allocate, allocator_.get());
  if (!L) {
    LogError("failed to create the Lua state\n");
    return nullptr;
  }
  state_.reset(L);
  if (lua_cpcall(L, BuildState, this) != 0) {
    LogError("failed to set up the Lua state: %s\n", lua_tostring(L, -1));
    lua_pop(L, 1);
  }
  budget_.Install(L);

  loadScripts(*this, L, displayNameOf(effect_));

  allocator_->Replenish();
  timerQueue_.Create(OnHousekeeping, this, kHousekeepingMs, kHousekeepingMs);
  return L;
}

void LuaMIDIHelper::CloseLuaState() {
  std::lock_guard<std::recursive_mutex> lock(luaLock_);
  if (!state_) return;
  state_.reset();
  paramNames_.reset();
  budget_.deferred().Flush();
}

int LuaMIDIHelper::RunEntry(int nargs, const char* what, const char* name, bool keepError) {
  lua_State* L = state_.get();
  int status;
  {
    InstructionBudget::Scope scope(budget_, what, name);
    status = lua_pcall(L, nargs, 0, 0);
  }
  if (status != 0 && !keepError) lua_pop(L, 1);
  return status;
}

// Hosts may suspend from their audio thread (a sample-rate change there is
// mains off, on), which must not wait for a timer or OSC call in Lua: when
// the lock is taken the lines wait for the housekeeping timer or the close.
void LuaMIDIHelper::FlushLog() {
  std::unique_lock<std::recursive_mutex> lock(luaLock_, std::try_to_lock);
  if (lock.owns_lock()) budget_.deferred().Flush();
}

int LuaMIDIHelper::CallProtected(int nargs) {
  std::lock_guard<std::recursive_mutex> lock(luaLock_);
  if (!state_) return LUA_ERRRUN;
  return RunEntry(nargs, "OSC call");
}

int32_t LuaMIDIHelper::CheckParameter(lua_State* L, int arg, int reportAs) {
  LuaMIDIHelper* helper = FromState(L);
  const auto count = static_cast<int64_t>(helper ? helper->paramCount_ : 0);
  if (lua_isnumber(L, arg)) {
    const double value = std::trunc(lua_tonumber(L, arg));
    // Clamped first so that the conversion stays defined for any number.
    const double clamped =
        std::isnan(value)                             ? -1.0
        : value < std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::min()
        : value > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                      : value;
    const auto index = static_cast<int32_t>(clamped);
    if (index < 0 || index >= count) luaL_error(L, "parameter out of range: %d", index);
    return index;
  }
  if (!lua_isstring(L, arg))
    luaL_argerror(L, reportAs ? reportAs : arg,
                  lua_pushfstring(L, "string expected, got %s", luaL_typename(L, arg)));
  const char* name = lua_tostring(L, arg);
  const int32_t index = FindParameterName(L, name);
  if (index < 0) luaL_error(L, "parameter not found: '%s'", name);
  return index;
}

int32_t LuaMIDIHelper::FindParameterName(lua_State* L, const char* name) {
  lua_pushlightuserdata(L, const_cast<char*>(kParamLookup));
  lua_rawget(L, LUA_REGISTRYINDEX);
  const auto* names = static_cast<const ParameterNameMap*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  if (!names) return -1;
  const auto it = names->find(std::string_view(name));
  return it == names->end() ? -1 : it->second;
}

bool LuaMIDIHelper::IsParameterUsed(int32_t /*index*/) {
  return true;
}

void LuaMIDIHelper::AddCallback(CallbackKind kind, int32_t reference) {
  lists_[kind].push_back(reference);
}

void LuaMIDIHelper::AddKeyedCallback(CallbackKind kind, int32_t key, int32_t reference) {
  if (kind < kPitchWheelCallbacks) keyed_[kind][key].push_back(reference);
}

void LuaMIDIHelper::OnHousekeeping(void* context, TimerId /*id*/) {
  auto* helper = static_cast<LuaMIDIHelper*>(context);
  // Skipped while a script runs; the next round catches up.
  std::unique_lock<std::recursive_mutex> lock(helper->luaLock_, std::try_to_lock);
  if (!lock.owns_lock()) return;
  helper->budget_.deferred().Flush();
  if (helper->allocator_) helper->allocator_->Replenish();
}

int32_t LuaMIDIHelper::ProcessEvents(const vst::VstEvents* events) {
  if (!events || !queue_) return 1;
  for (int32_t i = 0; i < events->numEvents; ++i) {
    const vst::VstEvent* event = events->events[i];
    if (!event) continue;
    if (event->type == vst::kVstMidiType) {
      const auto* midi = reinterpret_cast<const vst::VstMidiEvent*>(event);
      const auto status = static_cast<uint8_t>(midi->midiData[0]);
      queue_->Write(status & 0xF0, status & 0x0F, static_cast<uint8_t>(midi->midiData[1]) & 0x7F,
                    static_cast<uint8_t>(midi->midiData[2]) & 0x7F, midi->deltaFrames);
    } else if (event->type == vst::kVstSysExType) {
      // The leading 0xF0 is not stored; the rest of the list is not looked at.
      const auto* sysex = reinterpret_cast<const vst::VstMidiSysexEvent*>(event);
      const int32_t length = sysex->sysexDump && sysex->dumpBytes > 1 ? sysex->dumpBytes - 1 : 0;
      const auto* bytes = reinterpret_cast<const uint8_t*>(sysex->sysexDump);
      return queue_->WriteSysEx(length > 0 ? bytes + 1 : nullptr, length) ? 1 : 0;
    }
  }
  return 1;
}

}  // namespace QW
