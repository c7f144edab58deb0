// Shared helpers of the scripting tests: a private Scripts folder, an effect
// built with it, and running Lua in the effect's scripting state.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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
    const char* dir = mkdtemp(pattern);
    path_ = dir ? dir : "/tmp";
    setenv("VELDRANA_SCRIPTS_DIR", path_.c_str(), 1);
  }
  ~ScriptsFolder() {
    unsetenv("VELDRANA_SCRIPTS_DIR");
    removeTree(path_);
  }
  ScriptsFolder(const ScriptsFolder&) = delete;
  ScriptsFolder& operator=(const ScriptsFolder&) = delete;

  void write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ + "/" + name, std::ios::binary) << text;
  }
  const std::string& path() const { return path_; }

  static void removeTree(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return;
    if (S_ISDIR(info.st_mode)) {
      chmod(path.c_str(), 0700);
      if (DIR* dir = opendir(path.c_str())) {
        std::vector<std::string> names;
        while (const dirent* e = readdir(dir)) {
          const std::string name = e->d_name;
          if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
        for (const std::string& name : names) removeTree(path + "/" + name);
      }
      rmdir(path.c_str());
    } else {
      unlink(path.c_str());
    }
  }

 private:
  std::string path_;
};

// Without a test folder the effect is given none at all, so the user's own
// scripts can never take part, whatever other tests did to XDG_DATA_HOME.
inline std::unique_ptr<QwkTonalmire> makeEffect() {
  if (!std::getenv("VELDRANA_SCRIPTS_DIR"))
    setenv("VELDRANA_SCRIPTS_DIR", "/nonexistent/veldrana-test-scripts", 1);
  return std::make_unique<QwkTonalmire>(RecordingHost::callback());
}

inline QwkTonalmire::BrvkLuaMIDIHelper& helperOf(QwkTonalmire& effect) {
  return *static_cast<QwkTonalmire::BrvkLuaMIDIHelper*>(effect.luaHelper());
}

// Lua puts the caller's position ("test:1: ") before an error raised in a
// host function; the texts under test are what follows.
inline std::string withoutPosition(std::string message) {
  const std::string prefix = "test:";
  if (message.compare(0, prefix.size(), prefix) == 0) {
    size_t i = prefix.size();
    while (i < message.size() && message[i] >= '0' && message[i] <= '9') ++i;
    if (i + 1 < message.size() && message[i] == ':' && message[i + 1] == ' ')
      message.erase(0, i + 2);
  }
  return message;
}

// Runs a chunk in the effect's scripting state; "" or the error message.
inline std::string runLua(QW::LuaMIDIHelper& helper, const std::string& code) {
  lua_State* L = helper.GetLuaState();
  std::lock_guard<std::recursive_mutex> lock(helper.LuaLock());
  if (luaL_loadbuffer(L, code.data(), code.size(), "=test") != 0 || lua_pcall(L, 0, 0, 0) != 0) {
    const char* text = lua_tostring(L, -1);
    std::string message = text ? text : "(non-string error)";
    lua_pop(L, 1);
    return withoutPosition(message);
  }
  return "";
}

// The value of a global expression, as a number (0 when not one).
inline double luaNumber(QW::LuaMIDIHelper& helper, const std::string& expression) {
  lua_State* L = helper.GetLuaState();
  std::lock_guard<std::recursive_mutex> lock(helper.LuaLock());
  const std::string code = "return " + expression;
  double value = 0.0;
  if (luaL_loadbuffer(L, code.data(), code.size(), "=test") == 0 && lua_pcall(L, 0, 1, 0) == 0)
    value = lua_tonumber(L, -1);
  lua_pop(L, 1);
  return value;
}

inline std::string luaString(QW::LuaMIDIHelper& helper, const std::string& expression) {
  lua_State* L = helper.GetLuaState();
  std::lock_guard<std::recursive_mutex> lock(helper.LuaLock());
  const std::string code = "return tostring(" + expression + ")";
  std::string value;
  if (luaL_loadbuffer(L, code.data(), code.size(), "=test") == 0 && lua_pcall(L, 0, 1, 0) == 0) {
    const char* text = lua_tostring(L, -1);
    value = text ? text : "";
  }
  lua_pop(L, 1);
  return value;
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
