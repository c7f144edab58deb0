#include "gui/LuaGui.h"

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "core/AudioUnitTypes.h"
#include "core/ParamSpec.h"
#include "core/QwkAuBase.h"
#include "gui/LuaGuiBindings.h"
#include "gui/Manager.h"
#include "platform/Diagnostics.h"
#include "platform/Resources.h"

namespace QW {

namespace {

constexpr int kHookInterval = 1000;

std::string formatLine(const char* format, const char* text) {
  const int length = std::snprintf(nullptr, 0, format, text);
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<size_t>(length) + 1);
  std::snprintf(buffer.data(), buffer.size(), format, text);
  return std::string(buffer.data(), static_cast<size_t>(length));
}

// An unreadable file reads as nothing: an empty chunk, which runs and
// defines nothing.
std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

int clampSide(double requested, int minimum, int maximum) {
  if (!(requested >= minimum)) return minimum;  // also NaN
  if (requested > maximum) return maximum;
  return static_cast<int>(requested);
}

// A layout script must not end the host's process.
int refuseExit(lua_State* L) {
  return luaL_error(L, "os.exit is not available to layout scripts");
}

void setNumber(lua_State* L, const char* name, double value) {
  lua_pushnumber(L, value);
  lua_setglobal(L, name);
}

void setBoolean(lua_State* L, const char* name, bool value) {
  lua_pushboolean(L, value ? 1 : 0);
  lua_setglobal(L, name);
}

// One of the four loading attempts. The text of a file is read before the
// protected call, so nothing owning memory lives across a Lua error.
struct LoadAttempt {
  LuaGui* host = nullptr;
  const char* resourceName = nullptr;  // null: a file, text already read
  std::string text;
  std::string chunkName;
};

struct FontQuery {
  LuaGui* host = nullptr;
  const char* function = nullptr;
  std::unique_ptr<Font> font;
};

struct CreateUICall {
  LuaGui* host = nullptr;
  LuaGui::ButtonLookup* buttons = nullptr;
};

}  // namespace

LuaGui::LuaGui(QwkAuBase* effect, std::string pluginFolder)
    : pluginFolder_(std::move(pluginFolder)),
      effect_(effect),
      alive_(std::make_shared<LuaGui*>(this)) {
  const std::string name = propertyText(kQwkProperty_EditorDisplayName);
  if (!pluginFolder_.empty() && !name.empty()) bundleFolder_ = pluginFolder_ + "/" + name;
}

LuaGui::~LuaGui() {
  if (lua_) lua_close(lua_);
}

std::string LuaGui::moduleFolder() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&LuaGui::moduleFolder), &info) || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  if (char* resolved = realpath(info.dli_fname, nullptr)) {
    path = resolved;
    std::free(resolved);
  }
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string LuaGui::propertyText(uint32_t property) const {
  if (!effect_) return {};
  const char* text = nullptr;
  if (effect_->GetProperty(property, 0, 0, &text) != kAudioUnitNoErr || !text) return {};
  return text;
}

std::string LuaGui::bundleResourcePath(const std::string& name) const {
  if (bundleFolder_.empty()) return {};
  return bundleFolder_ + "/Contents/Resources/" + name;
}

int32_t LuaGui::parameterIndex(const char* name) const {
  const auto found = parameters_.find(name);
  return found == parameters_.end() ? -1 : found->second;
}

void LuaGui::buildParameterLookup() {
  if (!effect_) return;
  uint32_t count = 0;
  const ParamSpec* rows = nullptr;
  if (effect_->GetProperty(kQwkProperty_ParameterCount, 0, 0, &count) != kAudioUnitNoErr ||
      effect_->GetProperty(kQwkProperty_ParameterTable, 0, 0, &rows) != kAudioUnitNoErr || !rows)
    return;
  parameterCount_ = static_cast<int32_t>(std::min<uint32_t>(count, INT32_MAX));
  for (int32_t i = 0; i < parameterCount_; ++i) {
    if (rows[i].name) parameters_.emplace(rows[i].name, i);
  }
}

// ---- The state ----

void* LuaGui::allocate(void* ud, void* block, size_t oldSize, size_t newSize) {
  auto* self = static_cast<LuaGui*>(ud);
  if (!block) oldSize = 0;
  if (newSize == 0) {
    std::free(block);
    self->memoryInUse_ -= oldSize;
    return nullptr;
  }
  if (newSize > oldSize && self->memoryInUse_ - oldSize + newSize > kMemoryLimit) return nullptr;
  void* grown = std::realloc(block, newSize);
  if (grown) self->memoryInUse_ = self->memoryInUse_ - oldSize + newSize;
  return grown;
}

void LuaGui::countHook(lua_State* L, lua_Debug* /*ar*/) {
  void* ud = nullptr;
  lua_getallocf(L, &ud);
  auto* self = static_cast<LuaGui*>(ud);
  self->instructionsLeft_ -= kHookInterval;
  // Stays spent until the next entry, so a script cannot catch its way on.
  if (self->instructionsLeft_ < 0) luaL_error(L, "layout script ran too long");
}

bool LuaGui::protectedCall(int (*fn)(lua_State*), void* argument, const char* errorFormat) {
  if (!lua_) return false;
  instructionsLeft_ = instructionBudget_;
  const int status = lua_cpcall(lua_, fn, argument);
  if (status == 0) return true;
  const char* message = lua_tostring(lua_, -1);
  platform::debugOutput(
      formatLine(errorFormat, message ? message : "(error object is not a string)"));
  lua_pop(lua_, 1);
  return false;
}

int LuaGui::registerAll(lua_State* L) {
  auto* self = static_cast<LuaGui*>(lua_touserdata(L, 1));
  luaL_openlibs(L);
  lua_getglobal(L, "os");
  if (lua_istable(L, -1)) {
    lua_pushcfunction(L, refuseExit);
    lua_setfield(L, -2, "exit");
  }
  lua_pop(L, 1);

  luagui::registerFunctions(L);
  luagui::registerTypes(L);
  self->elementTypes_ = {luagui::kElementType, luagui::kLabelType, luagui::kTextFieldType};
  self->addElementTypes(self->elementTypes_);

  lua_pushlightuserdata(L, self);
  lua_setfield(L, LUA_REGISTRYINDEX, luagui::kViewRefcon);
  lua_pushlightuserdata(L, &self->parameters_);
  lua_setfield(L, LUA_REGISTRYINDEX, luagui::kParamLookup);

  setBoolean(L, "isMac", false);
  setBoolean(L, "isWin", true);
  setBoolean(L, "isLinux", true);
  setBoolean(L, "isVST", true);
  setBoolean(L, "isAU", false);
  setNumber(L, "majorVersion", 1);
  setNumber(L, "minorVersion", 0);
  setNumber(L, "dotVersion", 5);
  setNumber(L, "version", 10005);
  self->prepareState(L);
  return 0;
}

void LuaGui::ensureLoaded() {
  if (loaded_) return;
  loaded_ = true;
  lua_ = lua_newstate(&LuaGui::allocate, this);
  if (!lua_) {
    platform::debugOutput("failed to create the layout script state\n");
    return;
  }
  lua_sethook(lua_, &LuaGui::countHook, LUA_MASKCOUNT, kHookInterval);
  buildParameterLookup();
  protectedCall(&LuaGui::registerAll, this, "failed to register the layout functions: %s\n");
  loadScripts();
}

// ---- Loading ----

int LuaGui::loadAttempt(lua_State* L) {
  auto* attempt = static_cast<LoadAttempt*>(lua_touserdata(L, 1));
  const char* data = attempt->text.data();
  size_t size = attempt->text.size();
  if (attempt->resourceName) {
    const auto& ids = attempt->host->resourceIds_;
    const auto found = ids.find(attempt->resourceName);
    if (found == ids.end())
      return luaL_error(L, "failed to find %s in resouce id lookup", attempt->resourceName);
    const platform::EmbeddedResource* resource =
        platform::findResource(platform::kScriptResource, found->second);
    if (!resource) return luaL_error(L, "failed to find resource %d", found->second);
    data = reinterpret_cast<const char*>(resource->data);
    size = resource->size;
  }
  if (luaL_loadbuffer(L, data, size, attempt->chunkName.c_str()) != 0) return lua_error(L);
  lua_call(L, 0, 0);
  return 0;
}

void LuaGui::loadScripts() {
  // A script the effect names of its own (none in this plug-in) follows
  // gui.lua, from the bundle and from the resources alike.
  const std::string extra = propertyText(kQwkProperty_Reserved64011);
  std::vector<std::string> fileNames{"gui.lua"};
  if (!extra.empty()) fileNames.push_back(extra);

  const auto runFile = [this](const std::string& name) {
    if (bundleFolder_.empty()) return;
    LoadAttempt attempt;
    attempt.host = this;
    const std::string path = bundleResourcePath(name);
    attempt.text = readWholeFile(path);
    attempt.chunkName = "@" + path;
    protectedCall(&LuaGui::loadAttempt, &attempt, "failed to run buffer: %s\n");
  };
  const auto runResource = [this](const std::string& name) {
    LoadAttempt attempt;
    attempt.host = this;
    attempt.resourceName = name.c_str();
    attempt.chunkName = "=" + name;
    protectedCall(&LuaGui::loadAttempt, &attempt, "failed to run buffer: %s\n");
  };

  runFile(fileNames[0]);
  if (fileNames.size() > 1) runFile(fileNames[1]);
  runResource(fileNames[0]);
  if (fileNames.size() > 1) runResource(fileNames[1]);
}

// ---- Calls into the script ----

int LuaGui::callForWindowSize(lua_State* L) {
  auto* size = static_cast<double*>(lua_touserdata(L, 1));
  lua_getglobal(L, "getWindowSize");
  if (!lua_isfunction(L, -1)) return 0;
  lua_call(L, 0, 2);
  size[0] = lua_tonumber(L, -2);
  size[1] = lua_tonumber(L, -1);
  return 0;
}

Size LuaGui::windowSize() {
  ensureLoaded();
  double size[2] = {0.0, 0.0};
  if (!protectedCall(&LuaGui::callForWindowSize, size, "getWindowSize() failed: %s\n")) {
    size[0] = 0.0;
    size[1] = 0.0;
  }
  return {clampSide(size[0], kMinWindowSize.width, kMaxWindowSize.width),
          clampSide(size[1], kMinWindowSize.height, kMaxWindowSize.height)};
}

std::unique_ptr<Font> LuaGui::fontFromList(lua_State* L, int index) {
  fontCandidates_.clear();
  if (index < 0) index = lua_gettop(L) + index + 1;
  if (lua_istable(L, index)) {
    for (int i = 1;; ++i) {
      lua_rawgeti(L, index, i);
      if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        break;
      }
      lua_pushliteral(L, "name");
      lua_rawget(L, -2);
      lua_pushliteral(L, "size");
      lua_rawget(L, -3);
      const char* name = lua_type(L, -2) == LUA_TSTRING ? lua_tostring(L, -2) : "";
      const double size = lua_type(L, -1) == LUA_TNUMBER ? lua_tonumber(L, -1) : 0.0;
      fontCandidates_.push_back(FontCandidate{name, clampSide(size, 0, 1000)});
      lua_pop(L, 3);
    }
  }
  if (fontCandidates_.empty()) return nullptr;
  return Font::pick(fontCandidates_);
}

int LuaGui::callForFont(lua_State* L) {
  auto* query = static_cast<FontQuery*>(lua_touserdata(L, 1));
  lua_getglobal(L, query->function);
  if (!lua_isfunction(L, -1)) return 0;
  lua_call(L, 0, 1);
  query->font = query->host->fontFromList(L, -1);
  return 0;
}

std::unique_ptr<Font> LuaGui::readFont(const char* function) {
  FontQuery query;
  query.host = this;
  query.function = function;
  const std::string format = std::string(function) + "() failed: %s\n";
  if (!protectedCall(&LuaGui::callForFont, &query, format.c_str())) return nullptr;
  return std::move(query.font);
}

int LuaGui::callExtensions(lua_State* L) {
  static_cast<LuaGui*>(lua_touserdata(L, 1))->registerExtensions(L);
  return 0;
}

int LuaGui::setButtonLookup(lua_State* L) {
  void* buttons = lua_touserdata(L, 1);
  if (buttons) {
    lua_pushlightuserdata(L, buttons);
  } else {
    lua_pushnil(L);
  }
  lua_setfield(L, LUA_REGISTRYINDEX, luagui::kButtonLookup);
  return 0;
}

int LuaGui::callCreateUI(lua_State* L) {
  lua_getglobal(L, "createUI");
  if (!lua_isfunction(L, -1)) return 0;
  lua_call(L, 0, 0);
  return 0;
}

void LuaGui::attach(Manager* manager) {
  manager_ = manager;
  ensureLoaded();
  if (!lua_ || !manager_) return;

  // Fonts come first: setBannerPosition measures with the main font.
  manager_->setMainFont(readFont("getFont"));
  manager_->setLabelFont(readFont("getLabelFont"));
  manager_->setTextFieldFont(readFont("getTextFieldFont"));

  // The reserved ids; the manager starts with them, so this keeps -2 and -3.
  manager_->addTooltip("Preferences");
  manager_->addTooltip("Capture preset");

  ButtonLookup buttons;
  addButtons(buttons);
  protectedCall(&LuaGui::callExtensions, this, "failed to register the layout extensions: %s\n");

  manager_->setWindowSize(windowSize());

  // button() works only while createUI runs.
  protectedCall(&LuaGui::setButtonLookup, &buttons, "failed to run createUI: %s\n");
  protectedCall(&LuaGui::callCreateUI, nullptr, "createUI() failed: %s\n");
  protectedCall(&LuaGui::setButtonLookup, nullptr, "failed to run createUI: %s\n");
}

// ---- Button actions ----

int LuaGui::callReference(lua_State* L) {
  const int reference = static_cast<int>(reinterpret_cast<intptr_t>(lua_touserdata(L, 1)));
  lua_rawgeti(L, LUA_REGISTRYINDEX, reference);
  lua_call(L, 0, 0);
  return 0;
}

LuaGui::ButtonAction LuaGui::luaFunctionAction(int reference) {
  std::weak_ptr<LuaGui*> alive = alive_;
  return [alive, reference](Button*) {
    const std::shared_ptr<LuaGui*> host = alive.lock();
    if (!host) return;
    (*host)->protectedCall(&LuaGui::callReference,
                           reinterpret_cast<void*>(static_cast<intptr_t>(reference)),
                           "luaButton function failed: %s\n");
  };
}

LuaGui::ButtonAction LuaGui::namedButtonAction(const ButtonEntry& entry) {
  std::weak_ptr<LuaGui*> alive = alive_;
  return [alive, callback = entry.callback](Button* button) {
    const std::shared_ptr<LuaGui*> host = alive.lock();
    if (host && callback) callback(button, *host);
  };
}

LuaGui::ButtonAction LuaGui::propertyTriggerAction(uint32_t propertyId) {
  std::weak_ptr<LuaGui*> alive = alive_;
  return [alive, propertyId](Button*) {
    const std::shared_ptr<LuaGui*> host = alive.lock();
    if (!host || !(*host)->effect_) return;
    const uint8_t one = 1;
    (*host)->effect_->WriteProperty(propertyId, 0, &one, 1);
  };
}

}  // namespace QW
