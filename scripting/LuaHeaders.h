// Lua 5.1's C interface, private to the plug-in (compiled in with hidden
// symbols).
#pragma once

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}
