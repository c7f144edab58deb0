// The object types of the layout API and the argument checks shared by its
// functions. Objects are full userdata of one pointer: the elements belong
// to the manager, so a collected userdata leaves its element alive.
#include <mutex>
#include <string>

#include "gui/Button.h"
#include "gui/Group.h"
#include "gui/Label.h"
#include "gui/LuaGui.h"
#include "gui/LuaGuiBindings.h"
#include "gui/Manager.h"
#include "gui/TextField.h"

namespace QW {
namespace luagui {

LuaGui* host(lua_State* L) {
  lua_getfield(L, LUA_REGISTRYINDEX, kViewRefcon);
  auto* gui = static_cast<LuaGui*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  return gui;
}

Manager* checkManager(lua_State* L) {
  LuaGui* gui = host(L);
  Manager* manager = gui ? gui->manager() : nullptr;
  if (!manager) luaL_error(L, "no editor is being built");
  return manager;
}

void pushObject(lua_State* L, void* object, const char* type) {
  *static_cast<void**>(lua_newuserdata(L, sizeof(void*))) = object;
  luaL_getmetatable(L, type);
  lua_setmetatable(L, -2);
}

namespace {

bool hasMetatable(lua_State* L, int index, const char* type) {
  if (!lua_getmetatable(L, index)) return false;
  luaL_getmetatable(L, type);
  const bool same = lua_rawequal(L, -1, -2) != 0;
  lua_pop(L, 2);
  return same;
}

void* pointerOf(lua_State* L, int index) {
  if (lua_islightuserdata(L, index)) return lua_touserdata(L, index);
  return *static_cast<void**>(lua_touserdata(L, index));
}

}  // namespace

void* toObject(lua_State* L, int index, const char* type) {
  if (!lua_isuserdata(L, index) || !hasMetatable(L, index, type)) return nullptr;
  return pointerOf(L, index);
}

void* checkObject(lua_State* L, int index, const char* type, const char* message) {
  void* object = toObject(L, index, type);
  if (!object) luaL_error(L, "%s", message);
  return object;
}

UIElement* checkElement(lua_State* L, int index) {
  if (lua_isnone(L, index)) luaL_typerror(L, index, "element");
  if (!lua_isuserdata(L, index)) luaL_error(L, "element expected");
  LuaGui* gui = host(L);
  if (gui) {
    for (const std::string& type : gui->elementTypes()) {
      if (!hasMetatable(L, index, type.c_str())) continue;
      // Property buttons of a plug-in that makes none hold nothing.
      if (auto* element = static_cast<UIElement*>(pointerOf(L, index))) return element;
      break;
    }
  }
  luaL_typerror(L, index, "element");
  return nullptr;
}

int32_t checkParameter(lua_State* L, int index) {
  LuaGui* gui = host(L);
  if (lua_type(L, index) == LUA_TNUMBER) {
    const lua_Number value = lua_tonumber(L, index);
    if (!(value >= 0) || !gui || value >= gui->parameterCount())
      luaL_error(L, "parameter index out of range: %f", static_cast<double>(value));
    return static_cast<int32_t>(value);
  }
  const char* name = luaL_checkstring(L, index);
  const int32_t found = gui ? gui->parameterIndex(name) : -1;
  if (found < 0) luaL_error(L, "parameter not found: '%s'", name);
  return found;
}

float checkFloat(lua_State* L, int index) {
  return static_cast<float>(luaL_checknumber(L, index));
}

// Braced lists are read in order, so an error names the first bad argument.
ScriptRect checkRect(lua_State* L, int first) {
  return {checkFloat(L, first), checkFloat(L, first + 1), checkFloat(L, first + 2),
          checkFloat(L, first + 3)};
}

Colour checkColour(lua_State* L, int first, bool withAlpha) {
  return {checkFloat(L, first), checkFloat(L, first + 1), checkFloat(L, first + 2),
          withAlpha ? checkFloat(L, first + 3) : 1.0f};
}

void newType(lua_State* L, const char* name, const luaL_Reg* methods) {
  luaL_newmetatable(L, name);
  lua_pushvalue(L, -1);
  lua_setfield(L, -2, "__index");
  if (methods) luaL_register(L, nullptr, methods);
  lua_pop(L, 1);
}

namespace {

// Script callbacks may change the tree while the render thread draws it.
std::unique_lock<SceneMutex> sceneLock(UIElement* element) {
  Manager* manager = element->manager();
  if (!manager) return {};
  return std::unique_lock<SceneMutex>(manager->sceneMutex());
}

Group* checkGroup(lua_State* L) {
  return static_cast<Group*>(checkObject(L, 1, kGroupType, "group expected"));
}

Bounds boundsOf(Group* group) {
  const auto lock = sceneLock(group);
  return group->groupBounds();
}

// ---- QWgui.Group ----

int groupAdd(lua_State* L) {
  Group* group = checkGroup(L);
  UIElement* element = checkElement(L, 2);
  const auto lock = sceneLock(group);
  group->add(element);
  return 0;
}

int groupSetPosition(lua_State* L) {
  Group* group = checkGroup(L);
  const float x = checkFloat(L, 2);
  const float y = checkFloat(L, 3);
  const bool byBounds = lua_toboolean(L, 4) != 0;
  const auto lock = sceneLock(group);
  if (!byBounds) {
    group->setPosition(x, y, 0.0f);
    return 0;
  }
  // The bounds already include the current position: move by the
  // difference, so the outline's lower-left corner lands on (x, y).
  const Bounds box = group->groupBounds();
  const Point at = group->position();
  if (box.empty()) {
    group->setPosition(x, y, 0.0f);
  } else {
    group->setPosition(at.x + x - box.minX, at.y + y - box.minY, 0.0f);
  }
  return 0;
}

int groupWidth(lua_State* L) {
  const Bounds box = boundsOf(checkGroup(L));
  lua_pushnumber(L, box.empty() ? 0.0 : box.width());
  return 1;
}

int groupHeight(lua_State* L) {
  const Bounds box = boundsOf(checkGroup(L));
  lua_pushnumber(L, box.empty() ? 0.0 : box.height());
  return 1;
}

int groupBounds(lua_State* L) {
  const Bounds box = boundsOf(checkGroup(L));
  const bool empty = box.empty();
  lua_pushnumber(L, empty ? 0.0 : box.minX);
  lua_pushnumber(L, empty ? 0.0 : box.minY);
  lua_pushnumber(L, empty ? 0.0 : box.maxX);
  lua_pushnumber(L, empty ? 0.0 : box.maxY);
  return 4;
}

int groupSetVisible(lua_State* L) {
  Group* group = checkGroup(L);
  const bool visible = lua_toboolean(L, 2) != 0;
  const auto lock = sceneLock(group);
  group->setVisible(visible);
  return 0;
}

int groupIsVisible(lua_State* L) {
  lua_pushboolean(L, checkGroup(L)->isVisible() ? 1 : 0);
  return 1;
}

// ---- QWgui.Element ----

int elementSetVisible(lua_State* L) {
  UIElement* element = checkElement(L, 1);
  const bool visible = lua_toboolean(L, 2) != 0;
  const auto lock = sceneLock(element);
  element->setVisible(visible);
  return 0;
}

int elementIsVisible(lua_State* L) {
  lua_pushboolean(L, checkElement(L, 1)->isVisible() ? 1 : 0);
  return 1;
}

int elementSetState(lua_State* L) {
  UIElement* element = checkElement(L, 1);
  const bool state = lua_toboolean(L, 2) != 0;
  if (auto* button = dynamic_cast<StatefulButton*>(element)) button->setState(state);
  return 0;
}

int elementGetState(lua_State* L) {
  auto* button = dynamic_cast<StatefulButton*>(checkElement(L, 1));
  lua_pushboolean(L, button && button->state() ? 1 : 0);
  return 1;
}

// ---- QWgui.Label ----

Label* checkLabel(lua_State* L) {
  return static_cast<Label*>(checkObject(L, 1, kLabelType, "label expected"));
}

template <void (Label::*Setter)(const Colour&)>
int labelColour(lua_State* L) {
  Label* label = checkLabel(L);
  const Colour colour = checkColour(L, 2, true);
  const auto lock = sceneLock(label);
  (label->*Setter)(colour);
  return 0;
}

// ---- QWgui.TextField ----

template <void (TextField::*Setter)(float, float, float)>
int textFieldColour(lua_State* L) {
  auto* field = static_cast<TextField*>(checkObject(L, 1, kTextFieldType, "textfield expected"));
  const Colour colour = checkColour(L, 2, false);
  const auto lock = sceneLock(field);
  (field->*Setter)(colour.r, colour.g, colour.b);
  return 0;
}

const luaL_Reg kGroupMethods[] = {{"add", groupAdd},
                                  {"setPosition", groupSetPosition},
                                  {"width", groupWidth},
                                  {"height", groupHeight},
                                  {"bounds", groupBounds},
                                  {"setVisible", groupSetVisible},
                                  {"isVisible", groupIsVisible},
                                  {nullptr, nullptr}};

const luaL_Reg kElementMethods[] = {{"setVisible", elementSetVisible},
                                    {"isVisible", elementIsVisible},
                                    {"setState", elementSetState},
                                    {"getState", elementGetState},
                                    {nullptr, nullptr}};

const luaL_Reg kLabelMethods[] = {{"setBackgroundColour", labelColour<&Label::setBackgroundColour>},
                                  {"setForegroundColour", labelColour<&Label::setForegroundColour>},
                                  {nullptr, nullptr}};

const luaL_Reg kTextFieldMethods[] = {
    {"setBackgroundColour", textFieldColour<&TextField::setBackgroundColour>},
    {"setActiveColour", textFieldColour<&TextField::setActiveColour>},
    {"setChangedColour", textFieldColour<&TextField::setChangedColour>},
    {"setTextColour", textFieldColour<&TextField::setTextColour>},
    {nullptr, nullptr}};

}  // namespace

void registerTypes(lua_State* L) {
  newType(L, kGroupType, kGroupMethods);
  newType(L, kElementType, kElementMethods);
  newType(L, kLabelType, kLabelMethods);
  newType(L, kTextFieldType, kTextFieldMethods);
  newType(L, kTextureType, nullptr);
  newType(L, kFontType, nullptr);
}

// The element functions of the global table share the methods' bodies.
int globalElementSetVisible(lua_State* L) {
  return elementSetVisible(L);
}
int globalElementIsVisible(lua_State* L) {
  return elementIsVisible(L);
}

}  // namespace luagui
}  // namespace QW
