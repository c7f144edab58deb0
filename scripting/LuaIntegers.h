// Lua numbers read as 32-bit ids, keys, indices and ports: truncated toward
// zero, and only when the result fits. A plain conversion would wrap
// (2^32 + 60 becoming 60) or, for numbers no integer can hold, be
// undefined.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

#include "scripting/LuaHeaders.h"

namespace QW {

inline std::optional<int32_t> toInt32(lua_Number number) {
  const double value = std::trunc(number);
  if (!(value >= -2147483648.0 && value <= 2147483647.0)) return std::nullopt;
  return static_cast<int32_t>(value);
}

inline std::optional<uint32_t> toUInt32(lua_Number number) {
  const double value = std::trunc(number);
  if (!(value >= 0.0 && value <= 4294967295.0)) return std::nullopt;
  return static_cast<uint32_t>(value);
}

// A number argument as a 32-bit integer; the standard argument errors when
// it is no number or does not fit.
inline int32_t checkInt32(lua_State* L, int arg) {
  const auto value = toInt32(luaL_checknumber(L, arg));
  if (!value) luaL_argerror(L, arg, "number out of the 32-bit integer range");
  return value.value_or(0);
}

inline uint32_t checkUInt32(lua_State* L, int arg) {
  const auto value = toUInt32(luaL_checknumber(L, arg));
  if (!value) luaL_argerror(L, arg, "number out of the unsigned 32-bit integer range");
  return value.value_or(0);
}

}  // namespace QW
