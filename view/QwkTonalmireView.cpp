#include "view/QwkTonalmireView.h"

#include "core/QwkAuBase.h"
#include "gui/Ovmanager.h"
#include "gui/PreferencesPanel.h"
#include "view/PluginLuaGui.h"

QwkTonalmireView::QwkTonalmireView(AudioEffect* effect)
    : QW::CarbonVSTEditor(effect, kDefaultWidth, kDefaultHeight) {}

// The window and the render thread must be gone before this class's part of
// the object is.
QwkTonalmireView::~QwkTonalmireView() {
  close();
}

QW::Size QwkTonalmireView::layoutWindowSize() {
  return makeLuaGui()->windowSize();
}

void QwkTonalmireView::openPreferences() {
  if (QW::Manager* m = manager()) QW::openPreferencesPanel(*m, dynamic_cast<QwkAuBase*>(effect_));
}

std::unique_ptr<PluginLuaGui> QwkTonalmireView::makeLuaGui() {
  return std::make_unique<PluginLuaGui>(dynamic_cast<QwkAuBase*>(effect_), this);
}

void QwkTonalmireView::createLuaGui() {
  luaGui_ = makeLuaGui();
}

std::unique_ptr<QW::Manager> QwkTonalmireView::createManager() {
  createLuaGui();
  auto manager = std::make_unique<QW::Ovmanager>(dynamic_cast<QwkAuBase*>(effect_));
  // Open drop-down lists draw in the second overlay pass.
  manager->setDrawOverlayPass(true);
  luaGui_->attach(manager.get());
  return manager;
}
