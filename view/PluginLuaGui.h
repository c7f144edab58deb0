// The plug-in's layout-script host: its built-in resources, the concrete
// widgets behind the generic factories, and its own script functions: level
// meters, the knob renderer, the background texture and the spectrum
// display, plus the "Prefs" button.
#pragma once

#include <string>
#include <vector>

#include "gui/LuaGui.h"

class QwkTonalmireView;

class PluginLuaGui : public QW::LuaGui {
 public:
  // view may be null (the size query of the effect's constructor, tests):
  // "Prefs" then opens nothing.
  PluginLuaGui(QwkAuBase* effect, QwkTonalmireView* view,
               std::string pluginFolder = QW::LuaGui::moduleFolder());

  // The "Prefs" button's action: the view's preferences dialog.
  static void openPreferences(QW::Button* button, QwkTonalmireView* view);

  QwkTonalmireView* view() const { return view_; }

  QW::UIElement* makeKnob(lua_State* L, int32_t parameter, float x, float y, float size) override;
  QW::UIElement* makeSlider(lua_State* L, int argumentCount, int32_t parameter, float x, float y,
                            float width, float height, bool horizontal) override;
  QW::UIElement* makeButton(lua_State* L, int argumentCount, const std::string& text,
                            ButtonAction action, float x, float y, float width, float height,
                            int32_t id) override;
  QW::UIElement* makeLuaButton(lua_State* L, int argumentCount, const std::string& text,
                               ButtonAction action, float x, float y, float width, float height,
                               int32_t id, bool toggle) override;
  QW::UIElement* makePropertyTriggerButton(lua_State* L, int argumentCount, const std::string& text,
                                           ButtonAction action, float x, float y, float width,
                                           float height, int32_t id) override;
  QW::UIElement* makePropertyButton(lua_State* L, int argumentCount, const std::string& text,
                                    uint32_t propertyId, float x, float y, float width,
                                    float height, int32_t id, int mode) override;
  QW::UIElement* makeDropDown(lua_State* L, int32_t parameter, float x, float y, float width,
                              float height) override;

 protected:
  void addElementTypes(std::vector<std::string>& types) override;
  void addButtons(ButtonLookup& lookup) override;
  void registerExtensions(lua_State* L) override;

 private:
  QwkTonalmireView* view_;
};
