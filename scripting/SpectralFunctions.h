// The spectral-script functions of the scripting state: addSpectralScript
// and the seven bin functions that read and write the frame of the current
// spectral run.
#pragma once

#include "scripting/BrvkLuaMIDIHelper.h"
#include "scripting/LuaHeaders.h"

namespace QW {

void registerSpectralFunctions(lua_State* L, QwkTonalmire::BrvkLuaMIDIHelper* helper);

}  // namespace QW
