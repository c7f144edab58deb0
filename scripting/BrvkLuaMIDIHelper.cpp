#include "scripting/BrvkLuaMIDIHelper.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <utility>

#include "core/ParamIds.h"
#include "core/RelaxedAtomic.h"
#include "platform/ScriptDiagnostics.h"
#include "scripting/RealtimeScope.h"
#include "scripting/SpectralFunctions.h"

QwkTonalmire::BrvkLuaMIDIHelper::BrvkLuaMIDIHelper(QwkTonalmire* effect, QW::MessageQueue* queue,
                                                   QW::OSCScriptBindings* osc)
    : LuaMIDIHelper(effect, queue, osc),
      tonalmire_(effect),
      reportErrors_(platform::spectralScriptErrorsWanted()) {}

void QwkTonalmire::BrvkLuaMIDIHelper::SetGUIBoolValue(int32_t id, bool value) {
  if (id < 0 || id >= 8) return;
  // The editor reads the indicators without a lock.
  rt::relaxedStore(tonalmire_->ViewStateAddress()->guiBool[id], uint8_t{value});
}

bool QwkTonalmire::BrvkLuaMIDIHelper::GetGUIBoolValue(int32_t id) {
  if (id < 0 || id >= 8) return false;
  return rt::relaxedLoad(tonalmire_->ViewStateAddress()->guiBool[id]) != 0;
}

void QwkTonalmire::BrvkLuaMIDIHelper::RegisterFunctions() {
  QW::registerSpectralFunctions(CurrentState(), this);
}

namespace {
const std::pair<int32_t, const char*> kScriptParameters[] = {{kParamScripted1, "param1"},
                                                             {kParamScripted2, "param2"},
                                                             {kParamScripted3, "param3"},
                                                             {kParamScripted4, "param4"}};
}  // namespace

// A restored chunk may hold anything; a script sees its parameters inside
// their ranges (NaN as the minimum), so that a built-in script's loops stay
// bounded by the spectrum's size.
double QwkTonalmire::BrvkLuaMIDIHelper::scriptParameter(int32_t index) const {
  const float v = tonalmire_->getParameterPlain(index);
  const ParamSpec& row = tonalmire_->parameterTable()[index];
  if (!(v > row.minValue)) return row.minValue;
  return v < row.maxValue ? v : row.maxValue;
}

// On the audio thread: the line is parked, not written. Scripts past the
// last one remembered share its slot, so they too report at most once.
void QwkTonalmire::BrvkLuaMIDIHelper::reportSpectralError(int32_t scriptIndex, const char* name) {
  if (!reportErrors_) return;
  const size_t slot = std::min(static_cast<size_t>(scriptIndex), kReportedScripts - 1);
  if (reported_.test(slot)) return;
  reported_.set(slot);
  const char* message = lua_tostring(CurrentState(), -1);
  budget().deferred().Post("spectral script %d \"%s\" failed: %s\n", scriptIndex, name,
                           message ? message : "(error object is not a string)");
}

void QwkTonalmire::BrvkLuaMIDIHelper::RunSpectralScript(int32_t scriptIndex, float* spectrum,
                                                        int32_t fftSize) {
  if (scriptIndex < 1 || !spectrum) return;
  const QW::RealtimeScope realtime;
  // Runs the frame without the script rather than wait for another
  // thread's call into Lua.
  std::unique_lock<std::recursive_mutex> lock(LuaLock(), std::try_to_lock);
  if (!lock.owns_lock()) {
    CountSkippedSpectralRun();
    return;
  }
  lua_State* L = CurrentState();
  const std::vector<SpectralScriptEntry>& scripts = tonalmire_->spectralScripts();
  if (!L || static_cast<size_t>(scriptIndex) >= scripts.size()) return;
  const SpectralScriptEntry& entry = scripts[static_cast<size_t>(scriptIndex)];
  if (entry.reference == 0) return;
  // The script may add scripts while it runs, which moves the list; what is
  // needed of the entry during the run is copied first (no allocation).
  const int reference = entry.reference;
  char name[64];
  std::snprintf(name, sizeof name, "%s", entry.name.c_str());

  spectrum_.spectrum = spectrum;
  spectrum_.maxBin = fftSize / 2;
  const int top = lua_gettop(L);
  lua_rawgeti(L, LUA_REGISTRYINDEX, reference);
  lua_createtable(L, 0, 5);
  for (const auto& [index, field] : kScriptParameters) {
    lua_pushnumber(L, scriptParameter(index));
    lua_setfield(L, -2, field);
  }
  lua_pushnumber(L, spectrum_.maxBin);
  lua_setfield(L, -2, "maxBin");
  if (RunEntry(1, "spectral script", name, true) != 0) reportSpectralError(scriptIndex, name);
  spectrum_ = SpectrumContext{};
  lua_settop(L, top);
}
