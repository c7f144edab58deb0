// Shared helpers of the scripting tests: a private Scripts folder, an effect
// built with it, and running Lua in the effect's scripting state.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>

#include "core/MessageQueue.h"
#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "scripting/BrvkLuaMIDIHelper.h"
#include "scripting/LuaMIDIHelper.h"
#include "support/RecordingHost.h"

namespace scripting_test {

// A fresh folder that VELDRANA_SCRIPTS_DIR points at while it lives.
class ScriptsFolder {
 public:
  ScriptsFolder() {
    char pattern[] = "/tmp/veldrana-scripts-XXXXXX";
    path_ = mkdtemp(pattern) ? pattern : "/tmp/veldrana-scripts-missing";
    setenv("VELDRANA_SCRIPTS_DIR", path_.c_str(), 1);
  }
  ~ScriptsFolder() {
    unsetenv("VELDRANA_SCRIPTS_DIR");
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScriptsFolder(const ScriptsFolder&) = delete;
  ScriptsFolder& operator=(const ScriptsFolder&) = delete;

  void write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ + "/" + name, std::ios::binary) << text;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Without a test folder the effect is given none at all, so the user's own
// scripts never take part.
inline std::unique_ptr<QwkTonalmire> makeEffect() {
  if (!getenv("VELDRANA_SCRIPTS_DIR"))
    setenv("VELDRANA_SCRIPTS_DIR", "/nonexistent/veldrana-test-scripts", 1);
  return std::make_unique<QwkTonalmire>(RecordingHost::callback());
}

inline QwkTonalmire::BrvkLuaMIDIHelper& helperOf(QwkTonalmire& effect) {
  return *static_cast<QwkTonalmire::BrvkLuaMIDIHelper*>(effect.luaHelper());
}

// Runs a chunk; "" or the error message without Lua's "test:1: " in front.
inline std::string runLua(QW::LuaMIDIHelper& helper, const std::string& code) {
  lua_State* L = helper.GetLuaState();
  std::lock_guard<std::recursive_mutex> lock(helper.LuaLock());
  if (luaL_loadbuffer(L, code.data(), code.size(), "=test") == 0 && lua_pcall(L, 0, 0, 0) == 0)
    return "";
  std::string message = lua_tostring(L, -1) ? lua_tostring(L, -1) : "(non-string error)";
  lua_pop(L, 1);
  const size_t colon = message.find(": ");
  if (message.rfind("test:", 0) == 0 && colon != std::string::npos) message.erase(0, colon + 2);
  return message;
}

// The value of an expression as text ("" when it fails) or as a number.
inline std::string luaString(QW::LuaMIDIHelper& helper, const std::string& expression) {
  lua_State* L = helper.GetLuaState();
  std::lock_guard<std::recursive_mutex> lock(helper.LuaLock());
  const std::string code = "return tostring(" + expression + ")";
  std::string value;
  if (luaL_loadbuffer(L, code.data(), code.size(), "=test") == 0 && lua_pcall(L, 0, 1, 0) == 0)
    value = lua_tostring(L, -1);
  lua_pop(L, 1);
  return value;
}
inline double luaNumber(QW::LuaMIDIHelper& helper, const std::string& expression) {
  return std::atof(luaString(helper, expression).c_str());
}

inline QW::MessageQueueItem midi(uint8_t status, uint8_t channel, uint8_t data1, uint8_t data2) {
  QW::MessageQueueItem item;
  item.type = QW::MessageQueueItem::kShort;
  item.status = status;
  item.channel = channel;
  item.data1 = data1;
  item.data2 = data2;
  return item;
}

}  // namespace scripting_test
