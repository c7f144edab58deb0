// The plug-in's own Lua `print`: the pieces go to standard error (the
// debugger output of a Windows build) instead of the process's standard
// output, which belongs to the host. Every Lua state of the plug-in uses it.
#pragma once

#include "scripting/LuaHeaders.h"

namespace QW {

int luaPrint(lua_State* L);
// Replaces the global `print` of a state whose base library is open.
void installLuaPrint(lua_State* L);

}  // namespace QW
