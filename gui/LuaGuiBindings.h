// The QWgui functions and object types of the layout-script host, and the
// argument checks its functions share with the plug-in's own additions.
#pragma once

#include <cstdint>

#include "scripting/LuaHeaders.h"

namespace QW {

class LuaGui;
class Manager;
class UIElement;
struct Colour;

namespace luagui {

inline constexpr char kGroupType[] = "QWgui.Group";
inline constexpr char kElementType[] = "QWgui.Element";
inline constexpr char kLabelType[] = "QWgui.Label";
inline constexpr char kTextFieldType[] = "QWgui.TextField";
inline constexpr char kTextureType[] = "QWgui.Texture";
inline constexpr char kFontType[] = "QWgui.Font";

inline constexpr char kViewRefcon[] = "QWgui::kViewRefcon";
inline constexpr char kParamLookup[] = "QWgui::kParamLookup";
inline constexpr char kButtonLookup[] = "QWgui::kButtonLookup";

// The global functions, in their registration order.
void registerFunctions(lua_State* L);
// The six object types with their methods.
void registerTypes(lua_State* L);
// A metatable whose __index is itself, holding methods (may be null).
void newType(lua_State* L, const char* name, const luaL_Reg* methods);

// The host of the state.
LuaGui* host(lua_State* L);
// The manager being built; raises when the host has none (it only answers
// the window size then).
Manager* checkManager(lua_State* L);

// A full userdata of one pointer with the type's metatable.
void pushObject(lua_State* L, void* object, const char* type);
// The pointer of an object of that type; null for anything else.
void* toObject(lua_State* L, int index, const char* type);
// As toObject, raising message for anything else (or an empty object).
void* checkObject(lua_State* L, int index, const char* type, const char* message);
// An object of one of the host's element types that holds an element.
UIElement* checkElement(lua_State* L, int index);
// A parameter name (looked up) or an index.
int32_t checkParameter(lua_State* L, int index);
float checkFloat(lua_State* L, int index);

// A box given as x, y, width and height in four arguments from first.
struct ScriptRect {
  float x;
  float y;
  float width;
  float height;
};
ScriptRect checkRect(lua_State* L, int first);
// Red, green and blue from first, then alpha when withAlpha (else opaque).
Colour checkColour(lua_State* L, int first, bool withAlpha);

// elementSetVisible(element, visible) and elementIsVisible(element): the
// element methods as global functions.
int globalElementSetVisible(lua_State* L);
int globalElementIsVisible(lua_State* L);

}  // namespace luagui
}  // namespace QW
