// A small editor layout built in C++ for tests and benchmarks that need the
// real editor on a display: one titled group holding a knob, a drop-down, a
// text field, a label and a button, in an editor that opens it like the
// plug-in's own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "gui/Button.h"
#include "gui/CarbonVSTEditor.h"
#include "gui/DropDown.h"
#include "gui/Group.h"
#include "gui/Knob.h"
#include "gui/Label.h"
#include "gui/TextField.h"

class AudioEffect;

namespace testlayout {

// Background of the test layout: (0.1, 0.3, 0.5).
inline constexpr int kBackgroundRgb[3] = {26, 77, 128};
inline constexpr int kWidth = 1024;
inline constexpr int kHeight = 512;

// The elements of one open layout (owned by its manager).
struct Elements {
  QW::NamedGroup* group = nullptr;
  QW::VeskKnob* knob = nullptr;
  QW::OvDropDown* dropDown = nullptr;
  QW::TextField* textField = nullptr;
  QW::Label* label = nullptr;
  QW::VeskButton* button = nullptr;
};

// Builds the layout into manager (fonts, colours, banner, elements).
Elements build(QW::Manager& manager, std::atomic<int>& buttonPresses);

// The parameters the controls edit.
int32_t knobParameter();       // "Dry Level"
int32_t dropDownParameter();   // "FFT Size"
int32_t textFieldParameter();  // "Input Gain"

class Editor : public QW::CarbonVSTEditor {
 public:
  explicit Editor(AudioEffect* effect);
  ~Editor() override;

  // Runs on every manager made, before its window opens.
  std::function<void(QW::Manager&)> configure;

  const Elements& elements() const { return elements_; }
  int buttonPresses() const { return buttonPresses_.load(); }

 protected:
  std::unique_ptr<QW::Manager> createManager() override;

 private:
  Elements elements_;
  std::atomic<int> buttonPresses_{0};
};

}  // namespace testlayout
