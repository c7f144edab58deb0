#include "scripting/ScriptLoader.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "platform/Diagnostics.h"
#include "platform/Resources.h"
#include "platform/ScriptFolder.h"
#include "scripting/InstructionBudget.h"
#include "scripting/LuaMIDIHelper.h"
#include "scripting/ScriptLog.h"

namespace QW {
namespace {

constexpr int kBuiltInScriptId = 136;

// Compared over the first eight characters, case-sensitively: "MIDI.lua"
// does not replace the built-in script.
bool replacesBuiltIn(const std::string& path) {
  return std::strncmp(platform::fileNameOf(path).c_str(), "midi.lua", 8) == 0;
}

const char* errorText(lua_State* L) {
  const char* text = lua_tostring(L, -1);
  return text ? text : "(error object is not a string)";
}

int runLoaded(LuaMIDIHelper& helper, lua_State* L, const char* what) {
  InstructionBudget::Scope scope(helper.budget(), what);
  return lua_pcall(L, 0, 0, 0);
}

void runBuiltIn(LuaMIDIHelper& helper, lua_State* L) {
  const platform::EmbeddedResource* script =
      platform::findResource(platform::kScriptResource, kBuiltInScriptId);
  if (!script) {
    platform::showError("The built-in script midi.lua cannot be found in the plug-in.");
    return;
  }
  std::lock_guard<std::recursive_mutex> lock(helper.LuaLock());
  const char* data = reinterpret_cast<const char*>(script->data);
  int status = luaL_loadbuffer(L, data, script->size, "midi.lua");
  if (status == 0) status = runLoaded(helper, L, "script midi.lua");
  if (status != 0) {
    LogError("failed to run buffer: %s\n", errorText(L));
    lua_pop(L, 1);
  }
}

// Loads a user script as the interpreter's file loader does (a first line
// starting with '#' is skipped, line numbers stay right), except that
// precompiled chunks are refused: Lua 5.1 does not verify bytecode, and a
// damaged or hostile one could take the host down.
int loadScriptFile(lua_State* L, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    lua_pushfstring(L, "cannot open %s", path.c_str());
    return LUA_ERRFILE;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t start = 0;
  if (!text.empty() && text[0] == '#') {
    start = text.find('\n');
    if (start == std::string::npos) start = text.size();
  }
  if (start < text.size() && text[start] == LUA_SIGNATURE[0]) {
    lua_pushfstring(L, "%s: precompiled chunks are not loaded", path.c_str());
    return LUA_ERRSYNTAX;
  }
  const std::string chunkName = "@" + path;
  return luaL_loadbuffer(L, text.data() + start, text.size() - start, chunkName.c_str());
}

void runFile(LuaMIDIHelper& helper, lua_State* L, const std::string& path) {
  std::lock_guard<std::recursive_mutex> lock(helper.LuaLock());
  int status = loadScriptFile(L, path);
  if (status == 0) status = runLoaded(helper, L, "script");
  if (status != 0) {
    LogError("failed to run file: %s\n", errorText(L));
    lua_pop(L, 1);
  }
}

}  // namespace

void loadScripts(LuaMIDIHelper& helper, lua_State* L, const std::string& displayName) {
  const std::vector<std::string> paths =
      platform::listUserScripts(platform::scriptsFolder(displayName));
  bool builtInReplaced = false;
  for (const std::string& path : paths) builtInReplaced = builtInReplaced || replacesBuiltIn(path);
  if (!builtInReplaced) runBuiltIn(helper, L);
  for (const std::string& path : paths) runFile(helper, L, path);
}

}  // namespace QW
