// The effect's own editor: the layout-script host of the plug-in builds the
// interface into the plug-in's manager.
#pragma once

#include <memory>

#include "gui/CarbonVSTEditor.h"
#include "gui/ViewGeometry.h"

class PluginLuaGui;

class QwkTonalmireView : public QW::CarbonVSTEditor {
 public:
  static constexpr int16_t kDefaultWidth = 1024;
  static constexpr int16_t kDefaultHeight = 512;

  explicit QwkTonalmireView(AudioEffect* effect);
  ~QwkTonalmireView() override;

  // The window size the layout asks for, from a layout-script host made
  // only for the question (hosts ask for the rectangle before opening).
  QW::Size layoutWindowSize();

  // The "Prefs" button.
  virtual void openPreferences();

 protected:
  // A layout-script host for this editor's effect and this view.
  virtual std::unique_ptr<PluginLuaGui> makeLuaGui();
  // Makes the host the editor keeps while it is open.
  virtual void createLuaGui();
  std::unique_ptr<QW::Manager> createManager() override;
};
