// The script function `sendOSC`: one OSC message over a fresh UDP socket.
#pragma once

#include "scripting/LuaHeaders.h"

namespace QW {

// sendOSC(url, path [, types], args)
int luaSendOSC(lua_State* L);

}  // namespace QW
