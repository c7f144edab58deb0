#include "view/QwkTonalmireView.h"

QwkTonalmireView::QwkTonalmireView(AudioEffect* effect)
    : QW::CarbonVSTEditor(effect, kDefaultWidth, kDefaultHeight) {}

// The window and the render thread must be gone before this class's part of
// the object is.
QwkTonalmireView::~QwkTonalmireView() {
  close();
}

std::unique_ptr<QW::Manager> QwkTonalmireView::createManager() {
  auto manager = std::make_unique<QW::Manager>(effect_);
  // What the built-in layout sets up; the layout script takes this over.
  manager->setWindowSize({kDefaultWidth, kDefaultHeight});
  manager->setBackgroundColour(0.22f, 0.05f, 0.2f);
  manager->setBannerPosition(static_cast<float>(kDefaultHeight - 25));
  return manager;
}
