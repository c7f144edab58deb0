// The global functions of the layout API. Each checks every argument before
// it makes anything (Lua errors unwind with longjmp, past C++ destructors).
#include <unistd.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "core/AudioUnitTypes.h"
#include "core/CFTypes.h"
#include "core/QwkAuBase.h"
#include "gui/Group.h"
#include "gui/Label.h"
#include "gui/LuaGui.h"
#include "gui/LuaGuiBindings.h"
#include "gui/Manager.h"
#include "gui/SharedStyle.h"
#include "gui/TextField.h"
#include "gui/Texture.h"
#include "scripting/LuaIntegers.h"
#include "scripting/OscSend.h"

namespace QW {
namespace luagui {

namespace {

QwkAuBase* checkEffect(lua_State* L) {
  LuaGui* gui = host(L);
  QwkAuBase* effect = gui ? gui->effect() : nullptr;
  if (!effect) luaL_error(L, "no effect");
  return effect;
}

void addToRoot(Manager* manager, UIElement* element) {
  std::lock_guard<SceneMutex> lock(manager->sceneMutex());
  manager->root()->add(element);
}

int setGroupActiveColour(lua_State* L) {
  SharedStyle::setGroupActiveColour(checkColour(L, 1, true));
  return 0;
}

int setGroupInactiveColour(lua_State* L) {
  SharedStyle::setGroupInactiveColour(checkColour(L, 1, true));
  return 0;
}

int group(lua_State* L) {
  const char* name = luaL_checkstring(L, 1);
  NamedGroup::Margins margins;
  switch (lua_type(L, 2)) {
    case LUA_TNONE:
    case LUA_TNIL:
      break;
    case LUA_TNUMBER: {
      const float all = checkFloat(L, 2);
      margins = {all, all, all, all};
      break;
    }
    case LUA_TTABLE: {
      float sides[4];
      for (int i = 0; i < 4; ++i) {
        lua_rawgeti(L, 2, i + 1);
        sides[i] = static_cast<float>(lua_tonumber(L, -1));
        lua_pop(L, 1);
      }
      margins = {sides[0], sides[1], sides[2], sides[3]};
      break;
    }
    default:
      luaL_typerror(L, 2, "number or table");
  }
  Manager* manager = checkManager(L);
  NamedGroup* made = manager->create<NamedGroup>(std::string(name), margins);
  addToRoot(manager, made);
  pushObject(L, made, kGroupType);
  return 1;
}

int knob(lua_State* L) {
  const int32_t parameter = checkParameter(L, 1);
  // knob(param, x, y, size) and knob(param, anything, x, y, size) alike.
  const int first = lua_type(L, 2) == LUA_TNUMBER ? 2 : 3;
  const float x = checkFloat(L, first);
  const float y = checkFloat(L, first + 1);
  const float size = checkFloat(L, first + 2);
  checkManager(L);
  UIElement* made = host(L)->makeKnob(L, parameter, x, y, size);
  pushObject(L, made, kElementType);
  return 1;
}

int button(lua_State* L) {
  const int count = lua_gettop(L);
  const char* name = luaL_checkstring(L, 1);
  const char* text = luaL_checkstring(L, 2);
  const ScriptRect box = checkRect(L, 3);
  checkManager(L);
  lua_getfield(L, LUA_REGISTRYINDEX, kButtonLookup);
  auto* lookup = static_cast<LuaGui::ButtonLookup*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  if (!lookup) return luaL_error(L, "no button lookup table");
  const auto found = lookup->find(name);
  if (found == lookup->end()) return luaL_error(L, "button not found: %s", name);
  LuaGui* gui = host(L);
  UIElement* made = gui->makeButton(L, count, text, gui->namedButtonAction(found->second), box.x,
                                    box.y, box.width, box.height, found->second.id);
  pushObject(L, made, kElementType);
  return 1;
}

int slider(lua_State* L) {
  const int count = lua_gettop(L);
  const int32_t parameter = checkParameter(L, 1);
  const ScriptRect box = checkRect(L, 2);
  const char* orientation = luaL_checkstring(L, 6);
  if (orientation[0] != 'h' && orientation[0] != 'v')
    return luaL_error(L, "unknown slider orientation: %s", orientation);
  checkManager(L);
  UIElement* made = host(L)->makeSlider(L, count, parameter, box.x, box.y, box.width, box.height,
                                        orientation[0] == 'h');
  pushObject(L, made, kElementType);
  return 1;
}

int luaButton(lua_State* L) {
  const int count = lua_gettop(L);
  if (!lua_isfunction(L, 1))
    return luaL_error(L, "first argument to luaButton() is not a function");
  const char* text = luaL_checkstring(L, 2);
  const char* tooltip = luaL_checkstring(L, 3);
  const char* kind = luaL_checkstring(L, 4);
  const ScriptRect box = checkRect(L, 5);
  Manager* manager = checkManager(L);
  lua_pushvalue(L, 1);
  const int reference = luaL_ref(L, LUA_REGISTRYINDEX);
  const int32_t id = manager->addTooltip(tooltip);
  LuaGui* gui = host(L);
  UIElement* made = gui->makeLuaButton(L, count, text, gui->luaFunctionAction(reference), box.x,
                                       box.y, box.width, box.height, id, kind[0] == 't');
  pushObject(L, made, kElementType);
  return 1;
}

int propertyTriggerButton(lua_State* L) {
  const int count = lua_gettop(L);
  const uint32_t property = checkUInt32(L, 1);
  const char* text = luaL_checkstring(L, 2);
  const char* tooltip = luaL_checkstring(L, 3);
  const ScriptRect box = checkRect(L, 4);
  Manager* manager = checkManager(L);
  const int32_t id = manager->addTooltip(tooltip);
  LuaGui* gui = host(L);
  UIElement* made =
      gui->makePropertyTriggerButton(L, count, text, gui->propertyTriggerAction(property), box.x,
                                     box.y, box.width, box.height, id);
  pushObject(L, made, kElementType);
  return 1;
}

int propertyButton(lua_State* L) {
  const int count = lua_gettop(L);
  const uint32_t property = checkUInt32(L, 1);
  const char* text = luaL_checkstring(L, 2);
  const char* tooltip = luaL_checkstring(L, 3);
  const char* kind = luaL_checkstring(L, 4);
  const ScriptRect box = checkRect(L, 5);
  Manager* manager = checkManager(L);
  const int32_t id = manager->addTooltip(tooltip);
  const int mode = kind[0] == 't' ? 1 : kind[0] == 'i' ? 2 : 0;
  UIElement* made = host(L)->makePropertyButton(L, count, text, property, box.x, box.y, box.width,
                                                box.height, id, mode);
  pushObject(L, made, kElementType);
  return 1;
}

int texture(lua_State* L) {
  const char* name = luaL_checkstring(L, 1);
  Manager* manager = checkManager(L);
  LuaGui* gui = host(L);
  Texture* made = nullptr;
  {
    // A picture of the same name in the bundle replaces the built-in one.
    const std::string path = gui->bundleResourcePath(name);
    if (!path.empty() && access(path.c_str(), R_OK) == 0) {
      auto record = std::make_unique<Texture>();
      record->path = path;
      made = manager->addTexture(std::move(record));
    }
  }
  if (!made) {
    const auto found = gui->resourceIds().find(name);
    if (found == gui->resourceIds().end())
      return luaL_error(L, "failed to find texture in resouce id lookup");
    auto record = std::make_unique<Texture>();
    record->resourceId = found->second;
    made = manager->addTexture(std::move(record));
  }
  pushObject(L, made, kTextureType);
  return 1;
}

int font(lua_State* L) {
  luaL_checktype(L, 1, LUA_TFUNCTION);
  Manager* manager = checkManager(L);
  lua_settop(L, 1);
  // Called like getFont: an error in the function gives no font.
  const bool listed = lua_pcall(L, 0, 1, 0) == 0;
  Font* made = manager->addFont(listed ? host(L)->fontFromList(L, -1) : nullptr);
  pushObject(L, made, kFontType);
  return 1;
}

int dropDown(lua_State* L) {
  const int32_t parameter = checkParameter(L, 1);
  const ScriptRect box = checkRect(L, 2);
  checkManager(L);
  UIElement* made = host(L)->makeDropDown(L, parameter, box.x, box.y, box.width, box.height);
  pushObject(L, made, kElementType);
  return 1;
}

int label(lua_State* L) {
  const char* text = luaL_checkstring(L, 1);
  const float x = checkFloat(L, 2);
  const float y = checkFloat(L, 3);
  const char* align = luaL_optstring(L, 4, "");
  const auto width = static_cast<float>(luaL_optnumber(L, 5, 0.0));
  const auto height = static_cast<float>(luaL_optnumber(L, 6, 0.0));
  Manager* manager = checkManager(L);
  const LabelAlign alignment = align[0] == 'l'   ? LabelAlign::kLeft
                               : align[0] == 'r' ? LabelAlign::kRight
                                                 : LabelAlign::kCentre;
  Label* made = manager->create<Label>(std::string(text), x, y, alignment, width, height);
  pushObject(L, made, kLabelType);
  return 1;
}

int textField(lua_State* L) {
  const int32_t parameter = checkParameter(L, 1);
  const ScriptRect box = checkRect(L, 2);
  const char* format = luaL_optstring(L, 6, "");
  Manager* manager = checkManager(L);
  TextField* made = manager->create<TextField>(parameter, box.x, box.y, box.width, box.height,
                                               std::string(format));
  pushObject(L, made, kTextFieldType);
  return 1;
}

int add(lua_State* L) {
  UIElement* element = checkElement(L, 1);
  addToRoot(checkManager(L), element);
  return 0;
}

int setBackgroundColour(lua_State* L) {
  const Colour colour = checkColour(L, 1, false);
  checkManager(L)->setBackgroundColour(colour.r, colour.g, colour.b);
  return 0;
}

int setBannerColour(lua_State* L) {
  const Colour colour = checkColour(L, 1, true);
  checkManager(L)->setBannerColour(colour.r, colour.g, colour.b, colour.a);
  return 0;
}

int setBannerTextColour(lua_State* L) {
  SharedStyle::setBannerTextColour(checkColour(L, 1, true));
  return 0;
}

int setBannerPosition(lua_State* L) {
  const float y = checkFloat(L, 1);
  // Only an explicit false hides the text.
  const bool hidden = lua_type(L, 2) == LUA_TBOOLEAN && !lua_toboolean(L, 2);
  Manager* manager = checkManager(L);
  manager->setBannerPosition(y);
  manager->setBannerContent(hidden ? Manager::kBannerNone : Manager::kBannerMakerAndVersion);
  return 0;
}

int setBannerBounds(lua_State* L) {
  const float x0 = checkFloat(L, 1);
  const float y0 = checkFloat(L, 2);
  const float x1 = checkFloat(L, 3);
  const float y1 = checkFloat(L, 4);
  checkManager(L)->setBannerBounds(x0, y0, x1, y1);
  return 0;
}

int setBannerContent(lua_State* L) {
  const char* kind = luaL_checkstring(L, 1);
  const float textX = checkFloat(L, 2);
  const float tooltipX = checkFloat(L, 3);
  const int content = std::strcmp(kind, "none") == 0 ? Manager::kBannerNone
                      : kind[0] == 'n'               ? Manager::kBannerVersion
                                                     : Manager::kBannerMakerAndVersion;
  checkManager(L)->setBannerContent(content, textX, tooltipX);
  return 0;
}

int redrawLabels(lua_State* L) {
  checkManager(L)->redrawLayer();
  return 0;
}

int setParameter(lua_State* L) {
  const int32_t parameter = checkParameter(L, 1);
  const float value = checkFloat(L, 2);
  const bool notify = lua_isnone(L, 3) || lua_toboolean(L, 3);
  QwkAuBase* effect = checkEffect(L);
  // A change the host hears of is one gesture to it, begun and ended here.
  Manager* manager = host(L)->manager();
  if (notify && manager) manager->beginParameterEdit(parameter);
  effect->setParameterPlain(parameter, value, notify);
  if (notify && manager && manager->editedParameter() == parameter)
    manager->endParameterEdit(parameter);
  return 0;
}

int getParameter(lua_State* L) {
  const int32_t parameter = checkParameter(L, 1);
  lua_pushnumber(L, checkEffect(L)->getParameterPlain(parameter));
  return 1;
}

int getParameterID(lua_State* L) {
  const char* name = luaL_checkstring(L, 1);
  const int32_t index = host(L)->parameterIndex(name);
  if (index < 0) return luaL_error(L, "parameter not found: '%s'", name);
  lua_pushnumber(L, index);
  return 1;
}

int getChannelCount(lua_State* L) {
  lua_pushnumber(L, 2);
  return 1;
}

int getBooleanProperty(lua_State* L) {
  const uint32_t property = checkUInt32(L, 1);
  QwkAuBase* effect = host(L)->effect();
  // Large enough for every answer, the 24-byte record of property 33 too.
  alignas(8) unsigned char answer[32] = {};
  const bool read = effect && effect->ReadProperty(property, 0, answer) == kAudioUnitNoErr;
  bool nonZero = false;
  for (const unsigned char byte : answer) nonZero = nonZero || byte != 0;
  // Answers that hand out a reference are released again.
  if (read && property == kAudioUnitProperty_ParameterValueStrings) {
    CFArray* list = nullptr;
    std::memcpy(&list, answer, sizeof list);
    if (list) list->release();
  } else if (read && property == kAudioUnitProperty_ParameterStringFromValue) {
    AudioUnitParameterStringFromValue record;
    std::memcpy(&record, answer, sizeof record);
    if (record.outString) record.outString->release();
  }
  lua_pushboolean(L, read && nonZero ? 1 : 0);
  return 1;
}

int setStringProperty(lua_State* L) {
  const uint32_t property = checkUInt32(L, 1);
  size_t length = 0;
  const char* text = luaL_checklstring(L, 2, &length);
  QwkAuBase* effect = checkEffect(L);
  effect->WriteProperty(property, 0, text, static_cast<uint32_t>(length + 1));
  return 0;
}

const luaL_Reg kFunctions[] = {{"setGroupActiveColour", setGroupActiveColour},
                               {"setGroupInactiveColour", setGroupInactiveColour},
                               {"group", group},
                               {"knob", knob},
                               {"button", button},
                               {"slider", slider},
                               {"luaButton", luaButton},
                               {"propertyTriggerButton", propertyTriggerButton},
                               {"propertyButton", propertyButton},
                               {"texture", texture},
                               {"font", font},
                               {"dropDown", dropDown},
                               {"label", label},
                               {"textField", textField},
                               {"add", add},
                               {"setBackgroundColour", setBackgroundColour},
                               {"setBannerColour", setBannerColour},
                               {"setBannerTextColour", setBannerTextColour},
                               {"setBannerPosition", setBannerPosition},
                               {"setBannerBounds", setBannerBounds},
                               {"setBannerContent", setBannerContent},
                               {"redrawLabels", redrawLabels},
                               {"setParameter", setParameter},
                               {"getParameter", getParameter},
                               {"getParameterID", getParameterID},
                               {"sendOSC", luaSendOSC},
                               {"getChannelCount", getChannelCount},
                               {"getBooleanProperty", getBooleanProperty},
                               {"setStringProperty", setStringProperty},
                               {"elementSetVisible", globalElementSetVisible},
                               {"elementIsVisible", globalElementIsVisible}};

}  // namespace

void registerFunctions(lua_State* L) {
  for (const luaL_Reg& function : kFunctions) lua_register(L, function.name, function.func);
}

}  // namespace luagui
}  // namespace QW
