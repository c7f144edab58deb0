// What the scripting layer needs from the OSC service: the script-side
// registrations of OSC paths. The service implements it; a helper without
// one ignores the registration functions.
#pragma once

#include "scripting/LuaHeaders.h"

namespace QW {

class OSCScriptBindings {
 public:
  virtual ~OSCScriptBindings() = default;
  // Called from the script functions with the script's arguments at stack
  // positions 1 (path) and 2 (a designator or a table of them), under the
  // Lua lock. May raise Lua errors; must not throw C++ exceptions.
  virtual void RegisterOSCPathForParameter(lua_State* L, bool normalized) = 0;
  // Path at 1, function at 2.
  virtual void RegisterOSCPathForFunction(lua_State* L) = 0;
};

}  // namespace QW
