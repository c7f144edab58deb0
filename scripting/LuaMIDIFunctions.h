// The global functions of the scripting Lua state's host API.
#pragma once

#include "scripting/LuaHeaders.h"

namespace QW {

// Registers every host function as a global, in the API's order.
void registerHelperFunctions(lua_State* L);

}  // namespace QW
