// The editor as the built-in gui.lua lays it out, built by the plug-in's
// view for a real effect without a display (textures stay unloaded, fonts
// may be missing), and checked from the element tree.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "core/ParamIds.h"
#include "core/TestEffect.h"
#include "gui/Button.h"
#include "gui/DropDown.h"
#include "gui/Font.h"
#include "gui/Group.h"
#include "gui/Knob.h"
#include "gui/Label.h"
#include "gui/Ovmanager.h"
#include "gui/TextField.h"
#include "gui/WaveformDisplay.h"
#include "view/PluginLuaGui.h"
#include "view/QwkTonalmireView.h"

namespace {

// The plug-in's view with its manager built as open() builds it, minus the
// window.
class InspectableView : public QwkTonalmireView {
 public:
  using QwkTonalmireView::QwkTonalmireView;
  void openPreferences() override { ++preferencesOpened; }
  std::unique_ptr<QW::Manager> build() { return createManager(); }
  int preferencesOpened = 0;
};

// A group's units: a knob with its field and label, or a list with its label.
struct Unit {
  bool knob;
  int32_t parameter;
  const char* text;
  float x, y, width;
};

const struct {
  const char* name;
  std::vector<Unit> units;
} kGroups[] = {
    {"Process",
     {{true, kParamInputGain, "Input", 0, 0, 37},
      {false, kParamFftSize, "FFT Size", 48, 0, 50},
      {true, kParamOutputGain, "Output", 108, 0, 37}}},
    {"Mix", {{true, kParamDryLevel, "Dry", 0, 0, 37}, {true, kParamWetLevel, "Wet", 48, 0, 37}}},
    {"View",
     {{false, kParamViewXAxis, "X Axis", 0, 30, 50},
      {false, kParamViewYAxis, "Y Axis", 0, 0, 50},
      {true, kParamViewMinDb, "Min dB", 60, 0, 37},
      {true, kParamViewMaxDb, "Max dB", 108, 0, 37},
      {true, kParamViewMinLinear, "Min Lin", 156, 0, 37},
      {true, kParamViewMaxLinear, "Max Lin", 204, 0, 37},
      {true, kParamViewSmoothing, "Smooth", 252, 0, 37}}},
    {"OSC", {{true, kParamOscPortOffset, "Port", 0, 0, 37}}},
    {"Script",
     {{false, kParamScriptPosition, "Run When", 0, 0, 81},
      {false, kParamScriptIndex, "Script", 0, 30, 81},
      {true, kParamScripted1, "Param 1", 91, 0, 37},
      {true, kParamScripted2, "Param 2", 139, 0, 37},
      {true, kParamScripted3, "Param 3", 187, 0, 37},
      {true, kParamScripted4, "Param 4", 235, 0, 37}}},
};

std::vector<float> boxOf(const QW::UIElement* e) {
  const QW::Bounds& b = e->bounds();
  return {b.minX, b.minY, b.width(), b.height()};
}

class BuiltInLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::internal::CaptureStderr();
    manager = view.build();
    errors = testing::internal::GetCapturedStderr();
    for (QW::UIElement* e : manager->root()->children()) {
      if (auto* g = dynamic_cast<QW::NamedGroup*>(e)) groups.push_back(g);
      if (auto* b = dynamic_cast<QW::VeskButton*>(e)) buttons.push_back(b);
      if (auto* d = dynamic_cast<QW::WaveformDisplay*>(e)) displays.push_back(d);
    }
  }

  EffectFixture fx;
  InspectableView view{fx.effect.get()};
  std::unique_ptr<QW::Manager> manager;
  std::string errors;
  std::vector<QW::NamedGroup*> groups;
  std::vector<QW::VeskButton*> buttons;
  std::vector<QW::WaveformDisplay*> displays;
};

TEST_F(BuiltInLayout, FiveGroupsInARowWithTheirUnitsADisplayAndButtons) {
  EXPECT_EQ(errors.find("failed"), std::string::npos) << errors;
  EXPECT_NE(dynamic_cast<QW::Ovmanager*>(manager.get()), nullptr);
  EXPECT_FLOAT_EQ(manager->bannerBounds().minY, 487.0f);
  ASSERT_EQ(groups.size(), std::size(kGroups));
  float runningX = 20.0f;
  for (size_t g = 0; g < groups.size(); ++g) {
    const std::string name = kGroups[g].name;
    EXPECT_EQ(groups[g]->name(), name);
    const QW::Bounds box = groups[g]->groupBounds();
    EXPECT_EQ((std::vector<float>{box.minX, box.minY}), (std::vector<float>{runningX, 30.0f}));
    runningX = box.maxX + 10.0f + (g == 0 ? 35.0f : 0.0f);
    const auto& children = groups[g]->children();
    size_t c = 0;
    for (const Unit& unit : kGroups[g].units) {
      const std::string what = name + " / " + unit.text;
      ASSERT_LE(c + (unit.knob ? 3 : 2), children.size()) << what;
      const auto* control = dynamic_cast<const QW::Control*>(children[c]);
      ASSERT_NE(control, nullptr) << what;
      EXPECT_EQ(control->descriptor().index, unit.parameter) << what;
      EXPECT_EQ(dynamic_cast<const QW::Knob*>(control) != nullptr, unit.knob) << what;
      const float top = unit.knob ? unit.y + 13 : unit.y;
      const float height = unit.knob ? 37 : 12;
      EXPECT_EQ(boxOf(control), (std::vector<float>{unit.x, top, unit.width, height})) << what;
      if (unit.knob) {
        EXPECT_EQ(boxOf(children[++c]), (std::vector<float>{unit.x, unit.y, 37, 12})) << what;
        EXPECT_NE(dynamic_cast<const QW::TextField*>(children[c]), nullptr) << what;
      }
      const auto* label = dynamic_cast<const QW::Label*>(children[++c]);
      ASSERT_NE(label, nullptr) << what;
      EXPECT_EQ(label->text(), unit.text);
      ++c;
    }
    EXPECT_EQ(c, children.size()) << name;
  }
  ASSERT_EQ(displays.size(), 1u);
  const float displayY = 30.0f + groups[1]->groupBounds().height() - 5.0f;
  EXPECT_EQ(boxOf(displays[0]), (std::vector<float>{10, displayY, 1004, 335}));
  ASSERT_EQ(buttons.size(), 6u);
  for (size_t i = 0; i < buttons.size(); ++i)
    EXPECT_EQ(boxOf(buttons[i]), (std::vector<float>{20.0f + 80.0f * i, displayY + 340, 70, 30}));
  EXPECT_EQ(manager->tooltipString(buttons[5]->id()), "Invert Levels");
}

// What an element is called in a report.
std::string nameOf(const QW::UIElement* e) {
  if (auto* g = dynamic_cast<const QW::NamedGroup*>(e)) return "group " + g->name();
  if (auto* l = dynamic_cast<const QW::Label*>(e)) return "label " + l->text();
  if (dynamic_cast<const QW::WaveformDisplay*>(e)) return "display";
  auto* c = dynamic_cast<const QW::Control*>(e);
  return std::string(typeid(*e).name()) + " " + std::to_string(c ? c->descriptor().index : -1);
}

// Siblings whose drawn boxes (group titles included) overlap, unless one is
// meant to sit on the other: the display reaches 5 pixels into the row of
// groups below it by design.
TEST_F(BuiltInLayout, NoElementOverlapsASiblingUnlessMeantTo) {
  ASSERT_NE(manager->mainFont(), nullptr);
  const auto drawnBox = [](const QW::UIElement* e) {
    QW::Bounds box;
    e->extendBounds(box);
    if (auto* g = dynamic_cast<const QW::NamedGroup*>(e)) box.extend(g->titleBounds());
    return box;
  };
  const auto overlap = [](const QW::Bounds& a, const QW::Bounds& b) {
    return !a.empty() && !b.empty() && a.minX < b.maxX && b.minX < a.maxX && a.minY < b.maxY &&
           b.minY < a.maxY;
  };
  std::string report;
  int meant = 0;
  std::vector<const QW::Group*> parents{manager->root()};
  parents.insert(parents.end(), groups.begin(), groups.end());
  for (const QW::Group* parent : parents) {
    const auto& kids = parent->children();
    for (size_t i = 0; i < kids.size(); ++i)
      for (size_t j = i + 1; j < kids.size(); ++j) {
        if (!overlap(drawnBox(kids[i]), drawnBox(kids[j]))) continue;
        const std::string a = nameOf(kids[i]), b = nameOf(kids[j]);
        const auto isGroup = [](const std::string& n) { return n.rfind("group ", 0) == 0; };
        if ((a == "display" && isGroup(b)) || (b == "display" && isGroup(a)))
          ++meant;
        else
          report += a + " and " + b + " in " +
                    (parent == manager->root() ? "the window" : nameOf(parent)) + "\n";
      }
  }
  EXPECT_TRUE(report.empty()) << report;
  EXPECT_EQ(meant, 5);
}

// Every value a field or list can show, laid out where it draws it (fields
// right-aligned, list items centred), inks inside the element's box.
TEST_F(BuiltInLayout, EveryFieldAndListShowsEachOfItsValuesInFull) {
  const QW::Font* font = manager->textFieldFont();
  ASSERT_NE(font, nullptr) << "no text-field font (the project's set-up installs the fonts)";
  int fields = 0, lists = 0;
  for (const auto& element : manager->elements()) {
    std::vector<std::pair<std::string, float>> texts;  // and their pen x
    const QW::Bounds& box = element->bounds();
    if (auto* field = dynamic_cast<QW::TextField*>(element.get())) {
      ++fields;
      const int32_t index = field->descriptor().index;
      const float old = fx.effect->getParameter(index);
      for (int i = 0; i <= 400; ++i) {
        fx.effect->setParameter(index, i / 400.0f);
        field->update();
        texts.emplace_back(field->text(), box.maxX - 1.0f - font->measure(field->text()).width);
      }
      fx.effect->setParameter(index, old);
    } else if (auto* list = dynamic_cast<QW::DropDown*>(element.get())) {
      ++lists;
      for (const std::string& t : list->items())
        texts.emplace_back(t, std::floor(box.centreX() - 0.5f * font->advance(t)));
    }
    for (const auto& [text, x] : texts) {
      std::vector<float> quads;  // s, t, x, y, z per vertex
      font->layout(text, x, 0.0f, quads);
      for (size_t i = 2; i < quads.size(); i += 5)
        ASSERT_TRUE(quads[i] >= box.minX && quads[i] <= box.maxX)
            << nameOf(element.get()) << ": " << text;
    }
  }
  EXPECT_EQ(fields, 14);
  EXPECT_EQ(lists, 5);
}

}  // namespace
