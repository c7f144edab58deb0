#include "osc/ScriptPaths.h"

#include "scripting/LuaMIDIHelper.h"
#include "scripting/ScriptLog.h"

namespace QW {
namespace {

// The designators are the table's elements 1..# or the single value at 2.
int designatorCount(lua_State* L) {
  return lua_istable(L, 2) ? static_cast<int>(lua_objlen(L, 2)) : 1;
}

void pushDesignator(lua_State* L, int i) {
  if (lua_istable(L, 2))
    lua_rawgeti(L, 2, i);
  else
    lua_pushvalue(L, 2);
}

}  // namespace

// Lua errors unwind with longjmp, which skips C++ destructors: this frame
// holds no C++ object while anything here can raise one.
void ScriptPaths::RegisterParameterPath(lua_State* L, bool normalized, const ParamSpec* table) {
  const char* path = luaL_checkstring(L, 1);
  const int count = designatorCount(L);
  for (int i = 1; i <= count; ++i) {
    pushDesignator(L, i);
    LuaMIDIHelper::CheckParameter(L, lua_gettop(L), 2);
    lua_pop(L, 1);
  }
  addParameterPath(L, path, normalized, table);
}

void ScriptPaths::addParameterPath(lua_State* L, const char* path, bool normalized,
                                   const ParamSpec* table) noexcept {
  try {
    const int count = designatorCount(L);
    ParameterPath targets;
    targets.reserve(static_cast<size_t>(count));
    for (int i = 1; i <= count; ++i) {
      pushDesignator(L, i);
      // Checked above, so this cannot raise.
      const int32_t index = LuaMIDIHelper::CheckParameter(L, lua_gettop(L));
      lua_pop(L, 1);
      ParameterTarget target{index, 0.0f, 1.0f};
      if (normalized && table) {
        target.offset = table[index].minValue;
        target.scale = table[index].maxValue - table[index].minValue;
      }
      targets.push_back(target);
    }
    std::lock_guard<std::mutex> lock(lock_);
    const auto existing = parameterPaths_.find(std::string_view(path));
    if (existing != parameterPaths_.end() && existing->second.size() != targets.size()) {
      LogError("inconsistent sizes in RegisterOSCPathForParameter\n");
      return;
    }
    parameterPaths_.emplace(path, std::move(targets));
  } catch (const std::exception& e) {
    LogError("could not register OSC path %s: %s\n", path, e.what());
  }
}

void ScriptPaths::RegisterFunctionPath(lua_State* L) {
  const char* path = luaL_checkstring(L, 1);
  if (!lua_isfunction(L, 2))
    luaL_error(L, "second argument to registerOSCPathForFunction is not a function");
  lua_pushvalue(L, 2);
  addFunctionPath(path, luaL_ref(L, LUA_REGISTRYINDEX));
}

void ScriptPaths::addFunctionPath(const char* path, int reference) noexcept {
  try {
    std::lock_guard<std::mutex> lock(lock_);
    functionPaths_.emplace(path, reference);
  } catch (const std::exception& e) {
    LogError("could not register OSC path %s: %s\n", path, e.what());
  }
}

std::vector<ParameterPath> ScriptPaths::ParameterPathsOf(const char* address) const {
  std::lock_guard<std::mutex> lock(lock_);
  std::vector<ParameterPath> found;
  const auto range = parameterPaths_.equal_range(std::string_view(address));
  for (auto it = range.first; it != range.second; ++it) found.push_back(it->second);
  return found;
}

std::vector<int> ScriptPaths::FunctionPathsOf(const char* address) const {
  std::lock_guard<std::mutex> lock(lock_);
  std::vector<int> found;
  const auto range = functionPaths_.equal_range(std::string_view(address));
  for (auto it = range.first; it != range.second; ++it) found.push_back(it->second);
  return found;
}

}  // namespace QW
