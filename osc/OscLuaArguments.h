// OSC message arguments as Lua values, for function paths, "/exec" and
// "/call": T and F as booleans, f, d, i and h as numbers, s as a string, N
// as nil.
#pragma once

#include "osc/OscReceivedElements.h"
#include "scripting/LuaHeaders.h"

namespace QW {

using OscArgument = osc::ReceivedMessageArgumentIterator;

// Throws osc::Exception("unhandled argument type to exec") when an argument
// in [begin, end) has no Lua counterpart. Run it before anything is called,
// so that a bad argument stops the whole message.
void CheckLuaConvertible(OscArgument begin, const OscArgument& end);

// Pushes the arguments, already checked, and answers how many. Raises a Lua
// error when the stack cannot take them, so it runs in protected mode.
int PushLuaArguments(lua_State* L, OscArgument begin, const OscArgument& end);

}  // namespace QW
