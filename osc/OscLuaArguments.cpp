#include "osc/OscLuaArguments.h"

namespace QW {

void CheckLuaConvertible(OscArgument begin, const OscArgument& end) {
  for (; begin != end; ++begin) {
    switch (begin->TypeTag()) {
      case osc::TRUE_TYPE_TAG:
      case osc::FALSE_TYPE_TAG:
      case osc::FLOAT_TYPE_TAG:
      case osc::DOUBLE_TYPE_TAG:
      case osc::INT32_TYPE_TAG:
      case osc::INT64_TYPE_TAG:
      case osc::STRING_TYPE_TAG:
      case osc::NIL_TYPE_TAG:
        break;
      default:
        throw osc::Exception("unhandled argument type to exec");
    }
  }
}

int PushLuaArguments(lua_State* L, OscArgument begin, const OscArgument& end) {
  int count = 0;
  for (; begin != end; ++begin, ++count) {
    luaL_checkstack(L, 1, "too many OSC arguments");
    const osc::ReceivedMessageArgument& argument = *begin;
    switch (argument.TypeTag()) {
      case osc::TRUE_TYPE_TAG:
        lua_pushboolean(L, 1);
        break;
      case osc::FALSE_TYPE_TAG:
        lua_pushboolean(L, 0);
        break;
      case osc::FLOAT_TYPE_TAG:
        lua_pushnumber(L, argument.AsFloatUnchecked());
        break;
      case osc::DOUBLE_TYPE_TAG:
        lua_pushnumber(L, argument.AsDoubleUnchecked());
        break;
      case osc::INT32_TYPE_TAG:
        lua_pushnumber(L, argument.AsInt32Unchecked());
        break;
      case osc::INT64_TYPE_TAG:
        lua_pushnumber(L, static_cast<lua_Number>(argument.AsInt64Unchecked()));
        break;
      case osc::STRING_TYPE_TAG:
        lua_pushstring(L, argument.AsStringUnchecked());
        break;
      default:
        lua_pushnil(L);
        break;
    }
  }
  return count;
}

}  // namespace QW
