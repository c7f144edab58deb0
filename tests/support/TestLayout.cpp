#include "support/TestLayout.h"

#include <string>
#include <vector>

#include "core/ParamIds.h"
#include "core/QwkAuBase.h"
#include "gui/Font.h"
#include "gui/Manager.h"
#include "gui/TexturedKnobRenderer.h"

namespace testlayout {

namespace {

std::unique_ptr<QW::Font> font(int size) {
  return QW::Font::pick({{"tahoma.ttf", size}, {"arial.ttf", size}, {"DejaVuSans.ttf", size}});
}

}  // namespace

int32_t knobParameter() {
  return kParamDryLevel;
}
int32_t dropDownParameter() {
  return kParamFftSize;
}
int32_t textFieldParameter() {
  return kParamInputGain;
}

Elements build(QW::Manager& manager, std::atomic<int>& buttonPresses) {
  manager.setMainFont(font(14));
  manager.setLabelFont(font(11));
  manager.setTextFieldFont(font(12));
  manager.setWindowSize({kWidth, kHeight});
  manager.setBackgroundColour(0.1f, 0.3f, 0.5f);
  manager.setBannerPosition(static_cast<float>(kHeight - 25));

  // Untextured knobs: the renderer's own drawing without the skin images.
  auto* knobs = manager.addRenderer(
      std::make_unique<QW::TexturedKnobRenderer>(&manager, nullptr, nullptr, 0.0f, 0.0f, 64.0f));

  Elements e;
  e.group = manager.create<QW::NamedGroup>("Test");
  manager.root()->add(e.group);
  e.knob = manager.create<QW::VeskKnob>(knobs, knobParameter(), 100.0f, 200.0f, 48.0f);
  e.dropDown = manager.create<QW::OvDropDown>(dropDownParameter(), 200.0f, 220.0f, 80.0f, 16.0f);
  e.textField =
      manager.create<QW::TextField>(textFieldParameter(), 320.0f, 220.0f, 80.0f, 16.0f, "%.1f");
  e.label =
      manager.create<QW::Label>("Test label", 100.0f, 180.0f, QW::LabelAlign::kLeft, 0.0f, 0.0f);
  e.button = manager.create<QW::VeskButton>(
      "Press", [&buttonPresses](QW::Button*) { ++buttonPresses; }, 450.0f, 220.0f, 60.0f, 20.0f,
      manager.addTooltip("Test button"));
  for (QW::UIElement* element :
       std::vector<QW::UIElement*>{e.knob, e.dropDown, e.textField, e.label, e.button})
    e.group->add(element);
  return e;
}

Editor::Editor(AudioEffect* effect) : QW::CarbonVSTEditor(effect, kWidth, kHeight) {}

Editor::~Editor() {
  close();
}

std::unique_ptr<QW::Manager> Editor::createManager() {
  auto manager = std::make_unique<QW::Manager>(dynamic_cast<QwkAuBase*>(effect_));
  elements_ = build(*manager, buttonPresses_);
  if (configure) configure(*manager);
  return manager;
}

}  // namespace testlayout
