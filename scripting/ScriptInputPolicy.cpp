#include "scripting/ScriptInputPolicy.h"

namespace QW {
namespace {

// /dev/null reads as an empty file. dofile() and loadfile() without a name
// read the C library's stdin directly, so they compile the empty input
// instead; debug.debug() would prompt on the host's console. A file is
// precompiled when its first byte, after a first line starting with '#',
// is the signature's escape, as the interpreter's own loader decides.
const char kInstall[] = R"lua(
local open, byte, type, error = io.open, string.byte, type, error
local rawLoad, rawLoadstring, rawLoadfile, rawDofile = load, loadstring, loadfile, dofile
local refused = "precompiled chunks are not loaded"

local empty = assert(open("/dev/null", "rb"))
io.input(empty)
io.stdin = empty
debug.debug = function() end

local function precompiledFile(name)
  local file = open(name, "rb")
  if not file then return false end
  local first = file:read(1)
  if first == "#" then
    file:read("*l")
    first = file:read(1)
  end
  file:close()
  return first == "\27"
end

loadstring = function(text, ...)
  if type(text) == "string" and byte(text, 1) == 27 then return nil, refused end
  return rawLoadstring(text, ...)
end
load = function(reader, ...)
  if type(reader) ~= "function" then return rawLoad(reader, ...) end
  local first = true
  return rawLoad(function()
    local piece = reader()
    if first and type(piece) == "string" and piece ~= "" then
      first = false
      if byte(piece, 1) == 27 then error(refused, 0) end
    end
    return piece
  end, ...)
end
loadfile = function(...)
  local name = ...
  if name == nil then return rawLoadstring("", "=stdin") end
  if type(name) == "string" and precompiledFile(name) then return nil, name .. ": " .. refused end
  return rawLoadfile(...)
end
dofile = function(...)
  local name = ...
  if name == nil then return end
  if type(name) == "string" and precompiledFile(name) then error(name .. ": " .. refused, 2) end
  return rawDofile(...)
end
)lua";

}  // namespace

void installScriptInputPolicy(lua_State* L) {
  if (luaL_loadbuffer(L, kInstall, sizeof kInstall - 1, "=policy") != 0) lua_error(L);
  lua_call(L, 0, 0);
}

}  // namespace QW
