// What scripts may read and load. They run inside the host's process,
// whose standard input is not theirs: a read from it could wait forever
// while the script holds the Lua lock. So the scripting state gets a
// standard input of its own that is always at its end, and every way of
// reading it (io.read, io.lines, io.stdin, dofile and loadfile without a
// name, debug.debug) returns at once. And only source is loaded: Lua 5.1
// does not verify precompiled chunks, and a damaged or hostile one can take
// the host down, so load, loadstring, loadfile and dofile refuse them as
// the script loader does.
#pragma once

#include "scripting/LuaHeaders.h"

namespace QW {

// Needs the base, io, string and debug libraries open; raises a Lua error
// if the replacements cannot be made.
void installScriptInputPolicy(lua_State* L);

}  // namespace QW
