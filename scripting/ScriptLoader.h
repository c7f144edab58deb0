// Runs the scripts of a freshly built scripting state: the built-in midi.lua
// (unless the user's Scripts folder has a file named "midi.lua" that
// replaces it), then every user script in name order. A script that fails
// gets an "@@@ " line; the others still run.
#pragma once

#include <string>

#include "scripting/LuaHeaders.h"

namespace QW {

class LuaMIDIHelper;

void loadScripts(LuaMIDIHelper& helper, lua_State* L, const std::string& displayName);

}  // namespace QW
