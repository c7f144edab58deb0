// The host API functions. Lua reports errors with longjmp, which skips C++
// destructors, so every function checks all its arguments before it makes
// any object with a destructor or takes any lock.
#include "scripting/LuaMIDIFunctions.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/AudioUnitTypes.h"
#include "core/QwkAuBase.h"
#include "core/RelaxedAtomic.h"
#include "core/ViewState.h"
#include "scripting/InstanceRegistry.h"
#include "scripting/LuaIntegers.h"
#include "scripting/LuaMIDIHelper.h"
#include "scripting/OSCScriptBindings.h"
#include "scripting/OscSend.h"

namespace QW {
namespace {

using Kind = LuaMIDIHelper::CallbackKind;

LuaMIDIHelper& helperOf(lua_State* L) {
  LuaMIDIHelper* helper = LuaMIDIHelper::FromState(L);
  if (!helper) luaL_error(L, "no Lua MIDI helper");
  return *helper;
}

int32_t clampToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  if (value >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

// An instance key: numbers and numeric strings truncated, anything else 0.
int32_t instanceKey(lua_State* L, int arg) {
  return lua_isnumber(L, arg) ? clampToInt(std::trunc(lua_tonumber(L, arg))) : 0;
}

// An indicator id 0..7; negative ids and ids beyond any integer are
// refused too.
int32_t checkIndicator(lua_State* L, int arg) {
  const lua_Number id = std::trunc(luaL_checknumber(L, arg));
  if (!(id >= 0 && id < 8)) luaL_error(L, "indicator id out of range: %f", id);
  return static_cast<int32_t>(id);
}

int32_t referenceTo(lua_State* L, int arg) {
  lua_pushvalue(L, arg);
  return luaL_ref(L, LUA_REGISTRYINDEX);
}

ViewState* viewStateOf(QwkAuBase* effect) {
  ViewState* view = nullptr;
  if (effect->GetProperty(kQwkProperty_ViewState, 0, 0, &view) != kAudioUnitNoErr) return nullptr;
  return view;
}

int setParameter(lua_State* L) {
  LuaMIDIHelper& helper = helperOf(L);
  const int32_t index = LuaMIDIHelper::CheckParameter(L, 1);
  const lua_Number value = luaL_checknumber(L, 2);
  if (helper.effect()) helper.effect()->setParameterPlain(index, static_cast<float>(value), true);
  return 0;
}

int getParameter(lua_State* L) {
  LuaMIDIHelper& helper = helperOf(L);
  const int32_t index = LuaMIDIHelper::CheckParameter(L, 1);
  lua_pushnumber(L, helper.effect() ? helper.effect()->getParameterPlain(index) : 0.0f);
  return 1;
}

// A number is taken in its string form and looked up as a name.
int getParameterID(lua_State* L) {
  const char* name = luaL_checkstring(L, 1);
  const int32_t index = LuaMIDIHelper::FindParameterName(L, name);
  if (index < 0) return luaL_error(L, "parameter not found: '%s'", name);
  lua_pushnumber(L, index);
  return 1;
}

int getParameterMinMax(lua_State* L) {
  const ParamSpec& row = helperOf(L).parameterTable()[LuaMIDIHelper::CheckParameter(L, 1)];
  lua_pushnumber(L, row.minValue);
  lua_pushnumber(L, row.maxValue);
  return 2;
}

int getParameterUnit(lua_State* L) {
  const ParamSpec& row = helperOf(L).parameterTable()[LuaMIDIHelper::CheckParameter(L, 1)];
  lua_pushnumber(L, row.unit);
  return 1;
}

int getParameterName(lua_State* L) {
  const ParamSpec& row = helperOf(L).parameterTable()[LuaMIDIHelper::CheckParameter(L, 1)];
  if (row.name)
    lua_pushstring(L, row.name);
  else
    lua_pushnil(L);
  return 1;
}

int isParameterUsed(lua_State* L) {
  LuaMIDIHelper& helper = helperOf(L);
  lua_pushboolean(L, helper.IsParameterUsed(LuaMIDIHelper::CheckParameter(L, 1)));
  return 1;
}

int getNumParameters(lua_State* L) {
  lua_pushnumber(L, helperOf(L).parameterCount());
  return 1;
}

int setOthersParameter(lua_State* L) {
  LuaMIDIHelper& helper = helperOf(L);
  const int32_t key = instanceKey(L, 1);
  const int32_t index = LuaMIDIHelper::CheckParameter(L, 2);
  const auto value = static_cast<float>(luaL_checknumber(L, 3));
  if (!helper.effect()) return 0;
  InstanceRegistry::instance().ForEachWithKey(InstanceRegistry::ProductOf(helper.effect()), key,
                                              [&](QwkAuBase* other) {
                                                other->setParameterPlain(index, value, true);
                                                return true;
                                              });
  return 0;
}

int getOthersParameter(lua_State* L) {
  LuaMIDIHelper& helper = helperOf(L);
  const int32_t key = instanceKey(L, 1);
  const int32_t index = LuaMIDIHelper::CheckParameter(L, 2);
  float value = 0.0f;
  if (helper.effect()) {
    InstanceRegistry::instance().ForEachWithKey(InstanceRegistry::ProductOf(helper.effect()), key,
                                                [&](QwkAuBase* other) {
                                                  value = other->getParameterPlain(index);
                                                  return false;
                                                });
  }
  lua_pushnumber(L, value);
  return 1;
}

template <Kind kind, const char* message>
int requestAll(lua_State* L) {
  LuaMIDIHelper& helper = helperOf(L);
  if (!lua_isfunction(L, 1)) return luaL_error(L, "%s", message);
  helper.AddCallback(kind, referenceTo(L, 1));
  return 0;
}

template <Kind kind, const char* message>
int requestKeyed(lua_State* L) {
  LuaMIDIHelper& helper = helperOf(L);
  const int32_t key = checkInt32(L, 1);
  if (!lua_isfunction(L, 2)) return luaL_error(L, "%s", message);
  helper.AddKeyedCallback(kind, key, referenceTo(L, 2));
  return 0;
}

constexpr char kAllNoteOn[] = "first argument to requestAllNoteOn() is not a function";
constexpr char kAllNoteOff[] = "first argument to requestAllNoteOff() is not a function";
constexpr char kAllCC[] = "first argument to requestAllCC() is not a function";
constexpr char kAllNRPN[] = "first argument to requestAllNRPN() is not a function";
constexpr char kAllProgram[] = "first argument to requestAllProgramChange() is not a function";
constexpr char kAllPoly[] = "first argument to requestAllPolyPressure() is not a function";
constexpr char kNoteOn[] = "second argument to requestNoteOn() is not a function";
constexpr char kNoteOff[] = "second argument to requestNoteOff() is not a function";
constexpr char kCC[] = "second argument to requestCC() is not a function";
constexpr char kNRPN[] = "second argument to requestNRPN() is not a function";
constexpr char kPitch[] = "first argument to requestPitchWheel() is not a function";
constexpr char kPressure[] = "first argument to requestChannelPressure() is not a function";
constexpr char kProgram[] = "second argument to requestProgramChange() is not a function";
constexpr char kPoly[] = "second argument to requestPolyPressure() is not a function";
constexpr char kTimer[] = "second argument to requestTimerCallback() is not a function";

int time(lua_State* L) {
  lua_pushnumber(L, helperOf(L).Now());
  return 1;
}

// trunc(seconds × 1000) as an unsigned 32-bit count, wrapping as the C
// conversion of the original does for negative values.
uint32_t dueMilliseconds(lua_Number seconds) {
  const double ms = std::trunc(seconds * 1000.0);
  if (std::isnan(ms)) return 0;
  if (ms >= 4294967295.0) return UINT32_MAX;
  if (ms <= -2147483648.0) return 2147483648u;
  return static_cast<uint32_t>(static_cast<int64_t>(ms));
}

template <bool periodic>
int requestTimer(lua_State* L) {
  LuaMIDIHelper& helper = helperOf(L);
  const lua_Number seconds = luaL_checknumber(L, 1);
  if (!lua_isfunction(L, 2)) return luaL_error(L, "%s", kTimer);
  const int32_t reference = referenceTo(L, 2);
  auto* id =
      static_cast<LuaMIDIHelper::TimerId*>(lua_newuserdata(L, sizeof(LuaMIDIHelper::TimerId)));
  *id = platform::TimerQueue::kNoTimer;
  luaL_getmetatable(L, LuaMIDIHelper::kTimerMetatable);
  lua_setmetatable(L, -2);
  *id = helper.StartTimer(dueMilliseconds(seconds), periodic, reference);
  return 1;
}

int cancelTimer(lua_State* L) {
  LuaMIDIHelper& helper = helperOf(L);
  auto* id = static_cast<LuaMIDIHelper::TimerId*>(lua_touserdata(L, 1));
  bool isTimer = false;
  if (id && lua_getmetatable(L, 1)) {
    luaL_getmetatable(L, LuaMIDIHelper::kTimerMetatable);
    isTimer = lua_rawequal(L, -1, -2) != 0;
    lua_pop(L, 2);
  }
  if (!isTimer) return luaL_argerror(L, 1, "first argument to cancelTimer() is not a timer");
  helper.CancelTimer(*id);
  return 0;
}

int setGUIBoolValue(lua_State* L) {
  LuaMIDIHelper& helper = helperOf(L);
  const int32_t id = checkIndicator(L, 1);
  helper.SetGUIBoolValue(id, lua_toboolean(L, 2) != 0);
  return 0;
}

int getGUIBoolValue(lua_State* L) {
  LuaMIDIHelper& helper = helperOf(L);
  const int32_t id = checkIndicator(L, 1);
  lua_pushboolean(L, helper.GetGUIBoolValue(id));
  return 1;
}

int setOthersGUIBoolValue(lua_State* L) {
  LuaMIDIHelper& helper = helperOf(L);
  const int32_t key = instanceKey(L, 1);
  const int32_t id = checkIndicator(L, 2);
  const bool value = lua_toboolean(L, 3) != 0;
  if (!helper.effect()) return 0;
  InstanceRegistry::instance().ForEachWithKey(
      InstanceRegistry::ProductOf(helper.effect()), key, [&](QwkAuBase* other) {
        if (ViewState* view = viewStateOf(other))
          rt::relaxedStore(view->guiBool[id], uint8_t{value});
        return true;
      });
  return 0;
}

int getOthersGUIBoolValue(lua_State* L) {
  LuaMIDIHelper& helper = helperOf(L);
  const int32_t key = instanceKey(L, 1);
  const int32_t id = checkIndicator(L, 2);
  bool value = false;
  if (helper.effect()) {
    InstanceRegistry::instance().ForEachWithKey(
        InstanceRegistry::ProductOf(helper.effect()), key, [&](QwkAuBase* other) {
          const ViewState* view = viewStateOf(other);
          value = view && rt::relaxedLoad(view->guiBool[id]) != 0;
          return false;
        });
  }
  lua_pushboolean(L, value);
  return 1;
}

template <bool normalized>
int registerOSCPathForParameter(lua_State* L) {
  OSCScriptBindings* osc = helperOf(L).oscService();
  if (osc) osc->RegisterOSCPathForParameter(L, normalized);
  return 0;
}

int registerOSCPathForFunction(lua_State* L) {
  OSCScriptBindings* osc = helperOf(L).oscService();
  if (osc) osc->RegisterOSCPathForFunction(L);
  return 0;
}

const luaL_Reg kFunctions[] = {
    {"setParameter", setParameter},
    {"getParameter", getParameter},
    {"getParameterID", getParameterID},
    {"getParameterMinMax", getParameterMinMax},
    {"getParameterUnit", getParameterUnit},
    {"getParameterName", getParameterName},
    {"isParameterUsed", isParameterUsed},
    {"getNumParameters", getNumParameters},
    {"sendOSC", luaSendOSC},
    {"setOthersParameter", setOthersParameter},
    {"getOthersParameter", getOthersParameter},
    {"requestAllNoteOn", requestAll<LuaMIDIHelper::kNoteOnCallbacks, kAllNoteOn>},
    {"requestAllNoteOff", requestAll<LuaMIDIHelper::kNoteOffCallbacks, kAllNoteOff>},
    {"requestAllCC", requestAll<LuaMIDIHelper::kControllerCallbacks, kAllCC>},
    {"requestAllNRPN", requestAll<LuaMIDIHelper::kNrpnCallbacks, kAllNRPN>},
    {"requestAllProgramChange", requestAll<LuaMIDIHelper::kProgramChangeCallbacks, kAllProgram>},
    {"requestAllPolyPressure", requestAll<LuaMIDIHelper::kPolyPressureCallbacks, kAllPoly>},
    {"requestNoteOn", requestKeyed<LuaMIDIHelper::kNoteOnCallbacks, kNoteOn>},
    {"requestNoteOff", requestKeyed<LuaMIDIHelper::kNoteOffCallbacks, kNoteOff>},
    {"requestCC", requestKeyed<LuaMIDIHelper::kControllerCallbacks, kCC>},
    {"requestNRPN", requestKeyed<LuaMIDIHelper::kNrpnCallbacks, kNRPN>},
    {"requestPitchWheel", requestAll<LuaMIDIHelper::kPitchWheelCallbacks, kPitch>},
    {"requestChannelPressure", requestAll<LuaMIDIHelper::kChannelPressureCallbacks, kPressure>},
    {"requestProgramChange", requestKeyed<LuaMIDIHelper::kProgramChangeCallbacks, kProgram>},
    {"requestPolyPressure", requestKeyed<LuaMIDIHelper::kPolyPressureCallbacks, kPoly>},
    {"time", time},
    {"requestTimedCallback", requestTimer<false>},
    {"requestPeriodicCallback", requestTimer<true>},
    {"cancelTimer", cancelTimer},
    {"setGUIBoolValue", setGUIBoolValue},
    {"getGUIBoolValue", getGUIBoolValue},
    {"setOthersGUIBoolValue", setOthersGUIBoolValue},
    {"getOthersGUIBoolValue", getOthersGUIBoolValue},
    {"registerOSCPathForParameter", registerOSCPathForParameter<false>},
    {"registerOSCPathForParameterNormalized", registerOSCPathForParameter<true>},
    {"registerOSCPathForFunction", registerOSCPathForFunction},
};

}  // namespace

void registerHelperFunctions(lua_State* L) {
  for (const luaL_Reg& function : kFunctions) lua_register(L, function.name, function.func);
}

}  // namespace QW
