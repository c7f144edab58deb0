#include "view/PluginLuaGui.h"

#include <cstring>
#include <memory>
#include <mutex>

#include "core/ViewState.h"
#include "gui/Bounds.h"
#include "gui/Button.h"
#include "gui/DropDown.h"
#include "gui/Knob.h"
#include "gui/LuaGuiBindings.h"
#include "gui/Manager.h"
#include "gui/Ovmanager.h"
#include "gui/Texture.h"
#include "gui/TexturedKnobRenderer.h"
#include "gui/TexturedMeters.h"
#include "gui/WaveformDisplay.h"
#include "view/QwkTonalmireView.h"

namespace {

using namespace QW::luagui;

constexpr char kLevelMetersType[] = "QWgui.LevelMeters";
constexpr char kKnobRendererType[] = "QWgui.KnobRenderer";
constexpr char kWaveformDisplayType[] = "QWgui.WaveformDisplay";

// What a meter shows when there is no effect to read from.
const float kSilence = 0.0f;

QW::Texture* checkTexture(lua_State* L, int index) {
  return static_cast<QW::Texture*>(checkObject(L, index, kTextureType, "texture expected"));
}

// levelMeters(texture, u, v, width, height)
int levelMeters(lua_State* L) {
  QW::Texture* texture = checkTexture(L, 1);
  const ScriptRect area = checkRect(L, 2);
  QW::Manager* manager = checkManager(L);
  QW::TexturedMeters* made = manager->addRenderer(std::make_unique<QW::TexturedMeters>(
      manager, texture, area.x, area.y, area.width, area.height));
  pushObject(L, made, kLevelMetersType);
  return 1;
}

// meters:add(kind, channel, x, y)
int metersAdd(lua_State* L) {
  auto* meters =
      static_cast<QW::TexturedMeters*>(checkObject(L, 1, kLevelMetersType, "levelMeters expected"));
  const char* kind = luaL_checkstring(L, 2);
  const lua_Integer channel = luaL_checkinteger(L, 3);
  const float x = checkFloat(L, 4);
  const float y = checkFloat(L, 5);
  const bool input = std::strcmp(kind, "input") == 0;
  if (!input && std::strcmp(kind, "output") != 0)
    return luaL_error(L, "unknown level meter: %s", kind);
  if (channel < 0 || channel > 1)
    return luaL_error(L, "level meter index out of range: %d", static_cast<int>(channel));
  QW::Manager* manager = checkManager(L);
  const float* level = &kSilence;
  if (ViewState* view = manager->viewState()) {
    level = input ? &view->inputMeter[channel] : &view->outputMeter[channel];
  }
  std::lock_guard<QW::SceneMutex> lock(manager->sceneMutex());
  meters->addMeter(x, y, level);
  return 0;
}

// setBackgroundTexture(texture, normalMap)
int setBackgroundTexture(lua_State* L) {
  QW::Texture* background = checkTexture(L, 1);
  QW::Texture* normalMap = checkTexture(L, 2);
  QW::Manager* manager = checkManager(L);
  // The background drawing loads it on first use, not the rendering set-up.
  background->deferred = true;
  if (auto* ovmanager = dynamic_cast<QW::Ovmanager*>(manager)) {
    std::lock_guard<QW::SceneMutex> lock(manager->sceneMutex());
    ovmanager->setBackgroundTexture(background, normalMap);
  }
  return 0;
}

// knobRenderer(texture, normalMap, u, v, size)
int knobRenderer(lua_State* L) {
  QW::Texture* texture = checkTexture(L, 1);
  QW::Texture* normalMap = checkTexture(L, 2);
  const float u = checkFloat(L, 3);
  const float v = checkFloat(L, 4);
  const float size = checkFloat(L, 5);
  QW::Manager* manager = checkManager(L);
  QW::TexturedKnobRenderer* made = manager->addRenderer(
      std::make_unique<QW::TexturedKnobRenderer>(manager, texture, normalMap, u, v, size));
  pushObject(L, made, kKnobRendererType);
  return 1;
}

// waveformDisplay(x, y, width, height)
int waveformDisplay(lua_State* L) {
  const ScriptRect box = checkRect(L, 1);
  QW::Manager* manager = checkManager(L);
  QW::WaveformDisplay* made = manager->create<QW::WaveformDisplay>(
      box.x, box.y, box.width, box.height, manager->viewState());
  pushObject(L, made, kWaveformDisplayType);
  return 1;
}

QW::WaveformDisplay* checkDisplay(lua_State* L) {
  return static_cast<QW::WaveformDisplay*>(
      checkObject(L, 1, kWaveformDisplayType, "waveformDisplay expected"));
}

template <void (QW::WaveformDisplay::*Setter)(float, float, float)>
int displayColour(lua_State* L) {
  QW::WaveformDisplay* display = checkDisplay(L);
  const QW::Colour colour = checkColour(L, 2, false);
  std::lock_guard<QW::SceneMutex> lock(display->manager()->sceneMutex());
  (display->*Setter)(colour.r, colour.g, colour.b);
  return 0;
}

int displaySliderColours(lua_State* L) {
  QW::WaveformDisplay* display = checkDisplay(L);
  float c[6];
  for (int i = 0; i < 6; ++i) c[i] = checkFloat(L, 2 + i);
  std::lock_guard<QW::SceneMutex> lock(display->manager()->sceneMutex());
  display->setSliderColours(c[0], c[1], c[2], c[3], c[4], c[5]);
  return 0;
}

const luaL_Reg kMetersMethods[] = {{"add", metersAdd}, {nullptr, nullptr}};

const luaL_Reg kDisplayMethods[] = {
    {"setFFTColour", displayColour<&QW::WaveformDisplay::setFFTColour>},
    {"setPFFTColour", displayColour<&QW::WaveformDisplay::setPFFTColour>},
    {"setSliderColours", displaySliderColours},
    {nullptr, nullptr}};

}  // namespace

PluginLuaGui::PluginLuaGui(QwkAuBase* effect, QwkTonalmireView* view, std::string pluginFolder)
    : QW::LuaGui(effect, std::move(pluginFolder)), view_(view) {
  resourceIds_ = {{"buttons.png", 120},
                  {"bgtile.png", 121},
                  {"buttons_n.png", 122},
                  {"bgtile_n.png", 123},
                  {"gui.lua", 135}};
}

void PluginLuaGui::openPreferences(QW::Button* /*button*/, QwkTonalmireView* view) {
  if (view) view->openPreferences();
}

void PluginLuaGui::addElementTypes(std::vector<std::string>& types) {
  types.emplace_back(kWaveformDisplayType);
}

void PluginLuaGui::addButtons(ButtonLookup& lookup) {
  lookup["Prefs"] = ButtonEntry{[](QW::Button* button, QW::LuaGui* host) {
                                  openPreferences(button, static_cast<PluginLuaGui*>(host)->view());
                                },
                                QW::Manager::kPreferencesTooltip};
}

void PluginLuaGui::registerExtensions(lua_State* L) {
  lua_register(L, "levelMeters", levelMeters);
  lua_register(L, "setBackgroundTexture", setBackgroundTexture);
  lua_register(L, "knobRenderer", knobRenderer);
  lua_register(L, "waveformDisplay", waveformDisplay);
  newType(L, kLevelMetersType, kMetersMethods);
  newType(L, kKnobRendererType, nullptr);
  newType(L, kWaveformDisplayType, kDisplayMethods);
}

QW::UIElement* PluginLuaGui::makeKnob(lua_State* L, int32_t parameter, float x, float y,
                                      float size) {
  lua_getglobal(L, "theKnobRenderer");
  auto* renderer = static_cast<QW::TexturedKnobRenderer*>(toObject(L, -1, kKnobRendererType));
  lua_pop(L, 1);
  if (!renderer) luaL_error(L, "couldn't get theKnobRenderer");
  return manager()->create<QW::VeskKnob>(renderer, parameter, x, y, size);
}

QW::UIElement* PluginLuaGui::makeSlider(lua_State* L, int /*argumentCount*/, int32_t /*parameter*/,
                                        float /*x*/, float /*y*/, float /*width*/, float /*height*/,
                                        bool /*horizontal*/) {
  luaL_error(L, "no slider support");
  return nullptr;
}

QW::UIElement* PluginLuaGui::makeButton(lua_State* /*L*/, int /*argumentCount*/,
                                        const std::string& text, ButtonAction action, float x,
                                        float y, float width, float height, int32_t id) {
  return manager()->create<QW::VeskButton>(text, std::move(action), x, y, width, height, id);
}

// Every script button is a push button here, whatever its kind.
QW::UIElement* PluginLuaGui::makeLuaButton(lua_State* L, int argumentCount, const std::string& text,
                                           ButtonAction action, float x, float y, float width,
                                           float height, int32_t id, bool /*toggle*/) {
  return makeButton(L, argumentCount, text, std::move(action), x, y, width, height, id);
}

// This plug-in has no property buttons; add() refuses the empty object.
QW::UIElement* PluginLuaGui::makePropertyTriggerButton(lua_State* /*L*/, int /*argumentCount*/,
                                                       const std::string& /*text*/,
                                                       ButtonAction /*action*/, float /*x*/,
                                                       float /*y*/, float /*width*/,
                                                       float /*height*/, int32_t /*id*/) {
  return nullptr;
}

QW::UIElement* PluginLuaGui::makePropertyButton(lua_State* /*L*/, int /*argumentCount*/,
                                                const std::string& /*text*/,
                                                uint32_t /*propertyId*/, float /*x*/, float /*y*/,
                                                float /*width*/, float /*height*/, int32_t /*id*/,
                                                int /*mode*/) {
  return nullptr;
}

QW::UIElement* PluginLuaGui::makeDropDown(lua_State* /*L*/, int32_t parameter, float x, float y,
                                          float width, float height) {
  return manager()->create<QW::OvDropDown>(parameter, x, y, width, height);
}
