#include "scripting/LuaPrint.h"

#include <cstdio>
#include <cstring>

namespace QW {
namespace {

// Pieces are written through a bounded buffer; longer ones go out in slices
// so nothing is cut and nothing overflows.
void writePiece(const char* text, size_t length) {
  char buffer[300];
  while (length > 0) {
    const size_t slice = length < sizeof buffer - 1 ? length : sizeof buffer - 1;
    std::memcpy(buffer, text, slice);
    buffer[slice] = '\0';
    std::fwrite(buffer, 1, slice, stderr);
    text += slice;
    length -= slice;
  }
}

}  // namespace

int luaPrint(lua_State* L) {
  const int n = lua_gettop(L);
  lua_getglobal(L, "tostring");
  for (int i = 1; i <= n; ++i) {
    lua_pushvalue(L, -1);
    lua_pushvalue(L, i);
    lua_call(L, 1, 1);
    size_t length = 0;
    const char* text = lua_tolstring(L, -1, &length);
    if (!text) return luaL_error(L, "'tostring' must return a string to 'print'");
    if (i > 1) writePiece("\t", 1);
    writePiece(text, length);
    lua_pop(L, 1);
  }
  writePiece("\n", 1);
  std::fflush(stderr);
  return 0;
}

void installLuaPrint(lua_State* L) {
  lua_register(L, "print", luaPrint);
}

}  // namespace QW
