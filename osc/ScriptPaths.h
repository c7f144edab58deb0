// OSC addresses that scripts claimed: parameter paths (each float argument
// of a message sets one parameter, scaled) and function paths (the message
// calls Lua functions). Scripts register while they load or later, under
// the Lua lock; the receive thread looks addresses up. Nothing is ever
// unregistered.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/ParamSpec.h"
#include "scripting/LuaHeaders.h"

namespace QW {

struct ParameterTarget {
  int32_t index;
  float offset;
  float scale;
};
using ParameterPath = std::vector<ParameterTarget>;

class ScriptPaths {
 public:
  // The script functions' work, with their arguments on L's stack: path at
  // 1, at 2 a parameter designator or a table of them (parameter paths) or
  // the function (function paths). Raise Lua errors for bad arguments;
  // never throw.
  void RegisterParameterPath(lua_State* L, bool normalized, const ParamSpec* table);
  void RegisterFunctionPath(lua_State* L);

  // Copies of the registrations of address, in the order added; empty when
  // the address is not registered.
  std::vector<ParameterPath> ParameterPathsOf(const char* address) const;
  std::vector<int> FunctionPathsOf(const char* address) const;

 private:
  // After the Lua arguments have been checked: no Lua errors from here.
  void addParameterPath(lua_State* L, const char* path, bool normalized,
                        const ParamSpec* table) noexcept;
  void addFunctionPath(const char* path, int reference) noexcept;

  mutable std::mutex lock_;
  std::multimap<std::string, ParameterPath, std::less<>> parameterPaths_;
  std::multimap<std::string, int, std::less<>> functionPaths_;
};

}  // namespace QW
