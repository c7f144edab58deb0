// The editor as the built-in gui.lua lays it out, built by the plug-in's
// view for a real effect without a display (textures stay unloaded, fonts
// may be missing), and checked from the element tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/ParamIds.h"
#include "core/TestEffect.h"
#include "gui/Button.h"
#include "gui/DropDown.h"
#include "gui/Font.h"
#include "gui/Group.h"
#include "gui/Knob.h"
#include "gui/Label.h"
#include "gui/LuaGui.h"
#include "gui/Ovmanager.h"
#include "gui/TextField.h"
#include "gui/Texture.h"
#include "gui/TexturedKnobRenderer.h"
#include "gui/TexturedMeters.h"
#include "gui/WaveformDisplay.h"
#include "scripting/LuaHeaders.h"
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
  QW::LuaGui* host() const { return luaGui_.get(); }

  int preferencesOpened = 0;
};

struct Unit {
  bool knob;  // else a drop-down
  int32_t parameter;
  const char* text;
  float x;
  float y;
  float width;  // drop-downs
};

struct GroupLayout {
  const char* name;
  std::vector<Unit> units;
};

const std::vector<GroupLayout>& expectedGroups() {
  static const std::vector<GroupLayout> groups = {
      {"Process",
       {{true, kParamInputGain, "Input", 0, 0, 0},
        {false, kParamFftSize, "FFT Size", 48, 0, 50},
        {true, kParamOutputGain, "Output", 108, 0, 0}}},
      {"Mix", {{true, kParamDryLevel, "Dry", 0, 0, 0}, {true, kParamWetLevel, "Wet", 48, 0, 0}}},
      {"View",
       {{false, kParamViewXAxis, "X Axis", 0, 30, 50},
        {false, kParamViewYAxis, "Y Axis", 0, 0, 50},
        {true, kParamViewMinDb, "Min dB", 60, 0, 0},
        {true, kParamViewMaxDb, "Max dB", 108, 0, 0},
        {true, kParamViewMinLinear, "Min Lin", 156, 0, 0},
        {true, kParamViewMaxLinear, "Max Lin", 204, 0, 0},
        {true, kParamViewSmoothing, "Smooth", 252, 0, 0}}},
      {"OSC", {{true, kParamOscPortOffset, "Port", 0, 0, 0}}},
      {"Script",
       {{false, kParamScriptPosition, "Run When", 0, 0, 81},
        {false, kParamScriptIndex, "Script", 0, 30, 81},
        {true, kParamScripted1, "Param 1", 91, 0, 0},
        {true, kParamScripted2, "Param 2", 139, 0, 0},
        {true, kParamScripted3, "Param 3", 187, 0, 0},
        {true, kParamScripted4, "Param 4", 235, 0, 0}}},
  };
  return groups;
}

void expectBox(const QW::UIElement* e, float x, float y, float w, float h,
               const std::string& what) {
  ASSERT_NE(e, nullptr) << what;
  EXPECT_FLOAT_EQ(e->bounds().minX, x) << what;
  EXPECT_FLOAT_EQ(e->bounds().minY, y) << what;
  EXPECT_FLOAT_EQ(e->bounds().width(), w) << what;
  EXPECT_FLOAT_EQ(e->bounds().height(), h) << what;
}

void expectUnitLabel(const QW::UIElement* e, const std::string& text) {
  const auto* label = dynamic_cast<const QW::Label*>(e);
  ASSERT_NE(label, nullptr) << text;
  EXPECT_EQ(label->text(), text);
  EXPECT_FLOAT_EQ(label->backgroundColour().r, 0.1f);
  EXPECT_FLOAT_EQ(label->backgroundColour().b, 0.15f);
  EXPECT_FLOAT_EQ(label->backgroundColour().a, 0.7f);
  EXPECT_FLOAT_EQ(label->foregroundColour().r, 0.9f);
  EXPECT_FLOAT_EQ(label->foregroundColour().a, 0.6f);
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

TEST_F(BuiltInLayout, BuildsWithoutErrorsIntoThePluginsManager) {
  EXPECT_EQ(errors.find("failed"), std::string::npos) << errors;
  EXPECT_NE(dynamic_cast<QW::Ovmanager*>(manager.get()), nullptr);
  EXPECT_NE(view.host(), nullptr);
  EXPECT_EQ(manager->windowSize().width, 1024);
  EXPECT_EQ(manager->windowSize().height, 512);
  EXPECT_FLOAT_EQ(manager->backgroundColour().r, 0.22f);
  EXPECT_FLOAT_EQ(manager->backgroundColour().g, 0.05f);
  EXPECT_FLOAT_EQ(manager->backgroundColour().b, 0.2f);
  EXPECT_FLOAT_EQ(manager->bannerBounds().minY, 487.0f);
  EXPECT_EQ(manager->bannerContent(), QW::Manager::kBannerMakerAndVersion);

  // The four images, the background one left to the background drawing.
  ASSERT_EQ(manager->textures().size(), 4u);
  const int ids[] = {120, 122, 121, 123};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(manager->textures()[i]->resourceId, ids[i]);
  EXPECT_TRUE(manager->textures()[2]->deferred);
  EXPECT_FALSE(manager->textures()[0]->deferred);

  int knobRenderers = 0;
  const QW::TexturedMeters* meters = nullptr;
  for (const auto& r : manager->renderers()) {
    knobRenderers += dynamic_cast<QW::TexturedKnobRenderer*>(r.get()) ? 1 : 0;
    if (auto* m = dynamic_cast<QW::TexturedMeters*>(r.get())) meters = m;
  }
  EXPECT_EQ(knobRenderers, 1);
  ASSERT_NE(meters, nullptr);
  EXPECT_EQ(meters->meterCount(), 4u);

  lua_State* L = view.host()->luaState();
  lua_getglobal(L, "paramID_Bin0Level");
  EXPECT_EQ(lua_tonumber(L, -1), kParamBin0Level);
  lua_pop(L, 1);
}

TEST_F(BuiltInLayout, FiveGroupsInARowWithTheirUnits) {
  const auto& expected = expectedGroups();
  ASSERT_EQ(groups.size(), expected.size());
  float runningX = 20.0f;
  for (size_t g = 0; g < expected.size(); ++g) {
    const QW::NamedGroup* group = groups[g];
    const std::string name = expected[g].name;
    EXPECT_EQ(group->name(), name);
    const QW::Bounds box = group->groupBounds();
    EXPECT_FLOAT_EQ(box.minX, runningX) << name;
    EXPECT_FLOAT_EQ(box.minY, 30.0f) << name;
    runningX = box.maxX + 10.0f + (g == 0 ? 35.0f : 0.0f);

    const auto& children = group->children();
    size_t c = 0;
    for (const Unit& unit : expected[g].units) {
      const std::string what = name + " / " + unit.text;
      if (unit.knob) {
        ASSERT_LE(c + 3, children.size()) << what;
        const auto* knob = dynamic_cast<const QW::VeskKnob*>(children[c]);
        ASSERT_NE(knob, nullptr) << what;
        EXPECT_EQ(knob->descriptor().index, unit.parameter) << what;
        expectBox(knob, unit.x, unit.y + 13, 37, 37, what);
        const auto* field = dynamic_cast<const QW::TextField*>(children[c + 1]);
        ASSERT_NE(field, nullptr) << what;
        EXPECT_EQ(field->descriptor().index, unit.parameter) << what;
        expectBox(field, unit.x, unit.y, 37, 12, what);
        expectUnitLabel(children[c + 2], unit.text);
        c += 3;
      } else {
        ASSERT_LE(c + 2, children.size()) << what;
        const auto* list = dynamic_cast<const QW::OvDropDown*>(children[c]);
        ASSERT_NE(list, nullptr) << what;
        EXPECT_EQ(list->descriptor().index, unit.parameter) << what;
        expectBox(list, unit.x, unit.y, unit.width, 12, what);
        expectUnitLabel(children[c + 1], unit.text);
        c += 2;
      }
    }
    EXPECT_EQ(c, children.size()) << name;
  }
}

TEST_F(BuiltInLayout, DisplayAndButtonRowSitAboveTheGroups) {
  ASSERT_EQ(groups.size(), 5u);
  ASSERT_EQ(displays.size(), 1u);
  const float displayY = 30.0f + groups[1]->groupBounds().height() - 5.0f;
  expectBox(displays[0], 10, displayY, 1004, 335, "display");

  const char* const texts[] = {"Prefs", "All Zero", "All One", "Zero Odd", "Zero Even", "Invert"};
  const char* const tips[] = {"Preferences",
                              "Set All Levels To Zero",
                              "Set All Levels To One",
                              "Set Odd Levels To Zero",
                              "Set Even Levels To Zero",
                              "Invert Levels"};
  ASSERT_EQ(buttons.size(), 6u);
  for (size_t i = 0; i < buttons.size(); ++i) {
    EXPECT_EQ(buttons[i]->text(), texts[i]);
    EXPECT_EQ(manager->tooltipString(buttons[i]->id()), tips[i]);
    EXPECT_EQ(dynamic_cast<QW::StatefulButton*>(buttons[i]), nullptr);
    expectBox(buttons[i], 20.0f + 80.0f * static_cast<float>(i), displayY + 340.0f, 70, 30,
              texts[i]);
  }
  EXPECT_EQ(buttons[0]->id(), QW::Manager::kPreferencesTooltip);
}

void press(QW::UIElement* element) {
  const QW::Point centre{element->bounds().centreX(), element->bounds().centreY()};
  element->mouseDown(centre, 0, 1);
  element->mouseUp(centre, 0);
}

TEST_F(BuiltInLayout, ButtonsOpenPreferencesAndRewriteTheBinLevelsQuietly) {
  ASSERT_EQ(buttons.size(), 6u);
  press(buttons[0]);
  EXPECT_EQ(view.preferencesOpened, 1);

  auto level = [&](int bin) { return fx.effect->getParameterPlain(kParamBin0Level + bin); };
  fx.host.clear();
  press(buttons[2]);  // All One
  EXPECT_FLOAT_EQ(level(0), 1.0f);
  EXPECT_FLOAT_EQ(level(1), 1.0f);
  EXPECT_FLOAT_EQ(level(2048), 1.0f);
  press(buttons[3]);  // Zero Odd
  EXPECT_FLOAT_EQ(level(0), 1.0f);
  EXPECT_FLOAT_EQ(level(1), 0.0f);
  EXPECT_FLOAT_EQ(level(2047), 0.0f);
  EXPECT_FLOAT_EQ(level(2048), 1.0f);
  press(buttons[5]);  // Invert
  EXPECT_FLOAT_EQ(level(0), 0.0f);
  EXPECT_FLOAT_EQ(level(1), 1.0f);
  EXPECT_FLOAT_EQ(level(2048), 0.0f);
  press(buttons[4]);  // Zero Even
  EXPECT_FLOAT_EQ(level(1), 1.0f);
  EXPECT_FLOAT_EQ(level(2), 0.0f);
  press(buttons[1]);  // All Zero
  EXPECT_FLOAT_EQ(level(1), 0.0f);
  EXPECT_FLOAT_EQ(level(2047), 0.0f);
  // Other parameters are untouched, and the host heard nothing.
  EXPECT_FLOAT_EQ(fx.effect->getParameterPlain(kParamBin0Level - 1),
                  fx.effect->parameterTable()[kParamBin0Level - 1].defaultValue);
  EXPECT_EQ(fx.host.count(vst::audioMasterAutomate), 0);
  EXPECT_EQ(fx.host.count(vst::audioMasterBeginEdit), 0);
}

// Where text laid out from pen x would put ink: the span of its glyph
// quads, as they are drawn.
struct Ink {
  float minX;
  float maxX;
};
Ink inkOf(const QW::Font& font, const std::string& text, float x) {
  std::vector<float> quads;
  font.layout(text, x, 0.0f, quads);
  Ink ink{1e30f, -1e30f};
  constexpr size_t kFloatsPerVertex = 5;  // s, t, x, y, z
  for (size_t i = 2; i < quads.size(); i += kFloatsPerVertex) {
    ink.minX = std::min(ink.minX, quads[i]);
    ink.maxX = std::max(ink.maxX, quads[i]);
  }
  return ink;
}

// What an element is called in a report, and the box it draws in (a named
// group's title sits across its top edge, outside its bounds).
std::string nameOf(const QW::UIElement* e) {
  if (auto* g = dynamic_cast<const QW::NamedGroup*>(e)) return "group \"" + g->name() + "\"";
  if (auto* b = dynamic_cast<const QW::Button*>(e)) return "button \"" + b->text() + "\"";
  if (auto* l = dynamic_cast<const QW::Label*>(e)) return "label \"" + l->text() + "\"";
  if (dynamic_cast<const QW::WaveformDisplay*>(e)) return "display";
  const std::string index = std::to_string(
      dynamic_cast<const QW::Control*>(e) ? dynamic_cast<const QW::Control*>(e)->descriptor().index
                                          : -1);
  if (dynamic_cast<const QW::TextField*>(e)) return "field " + index;
  if (dynamic_cast<const QW::DropDown*>(e)) return "list " + index;
  if (dynamic_cast<const QW::Knob*>(e)) return "knob " + index;
  return "element";
}
QW::Bounds drawnBox(const QW::UIElement* e) {
  QW::Bounds box;
  e->extendBounds(box);
  if (auto* g = dynamic_cast<const QW::NamedGroup*>(e)) box.extend(g->titleBounds());
  return box;
}
// Every value a field or list can show, laid out where it draws it, inside
// the element's box: right-aligned fields over their parameter's whole
// range, lists with each item centred. One line per element that cuts a
// text, with the first such text.
TEST_F(BuiltInLayout, EveryFieldAndListShowsEachOfItsValuesInFull) {
  const QW::Font* font = manager->textFieldFont();
  ASSERT_NE(font, nullptr) << "no text-field font (the project's set-up installs the fonts)";
  std::string report;
  auto check = [&](const QW::UIElement* e, const std::vector<std::string>& texts,
                   const std::function<float(const std::string&)>& penX) {
    const QW::Bounds& box = e->bounds();
    for (const std::string& text : texts) {
      const Ink ink = inkOf(*font, text, penX(text));
      if (ink.minX >= box.minX && ink.maxX <= box.maxX) continue;
      report += nameOf(e) + ": \"" + text + "\" inks " + std::to_string(ink.minX) + ".." +
                std::to_string(ink.maxX) + " in " + std::to_string(box.minX) + ".." +
                std::to_string(box.maxX) + "\n";
      return;
    }
  };
  int fields = 0;
  int lists = 0;
  for (const auto& element : manager->elements()) {
    if (auto* field = dynamic_cast<QW::TextField*>(element.get())) {
      ++fields;
      const int32_t index = field->descriptor().index;
      const float old = fx.effect->getParameter(index);
      std::vector<std::string> texts;
      constexpr int kSteps = 400;
      for (int i = 0; i <= kSteps; ++i) {
        fx.effect->setParameter(index, static_cast<float>(i) / kSteps);
        field->update();
        texts.emplace_back(field->text());
      }
      fx.effect->setParameter(index, old);
      const float right = field->bounds().maxX - 1.0f;
      check(field, texts, [&](const std::string& t) { return right - font->measure(t).width; });
    } else if (auto* list = dynamic_cast<QW::DropDown*>(element.get())) {
      ++lists;
      const float centre = list->bounds().centreX();
      check(list, list->items(),
            [&](const std::string& t) { return std::floor(centre - 0.5f * font->advance(t)); });
    }
  }
  EXPECT_EQ(fields, 14);
  EXPECT_EQ(lists, 5);
  EXPECT_TRUE(report.empty()) << report;
}

bool overlap(const QW::Bounds& a, const QW::Bounds& b) {
  return !a.empty() && !b.empty() && a.minX < b.maxX && b.minX < a.maxX && a.minY < b.maxY &&
         b.minY < a.maxY;
}

// Siblings whose boxes overlap, one line each, unless one is meant to sit on
// the other. The display reaches 5 pixels into the row of groups below it
// by design, which puts the groups' top edges and titles on it.
TEST_F(BuiltInLayout, NoElementOverlapsASiblingUnlessMeantTo) {
  ASSERT_NE(manager->mainFont(), nullptr);
  auto meant = [](const std::string& a, const std::string& b) {
    return (a == "display" && b.rfind("group ", 0) == 0) ||
           (b == "display" && a.rfind("group ", 0) == 0);
  };
  std::string report;
  int meantOverlaps = 0;
  std::vector<const QW::Group*> parents{manager->root()};
  for (const QW::NamedGroup* g : groups) parents.push_back(g);
  for (const QW::Group* parent : parents) {
    const auto& kids = parent->children();
    for (size_t i = 0; i < kids.size(); ++i) {
      for (size_t j = i + 1; j < kids.size(); ++j) {
        if (!overlap(drawnBox(kids[i]), drawnBox(kids[j]))) continue;
        const std::string a = nameOf(kids[i]);
        const std::string b = nameOf(kids[j]);
        if (meant(a, b)) {
          ++meantOverlaps;
          continue;
        }
        report += a + " and " + b + " in " +
                  (parent == manager->root() ? "the window" : nameOf(parent)) + "\n";
      }
    }
  }
  EXPECT_TRUE(report.empty()) << report;
  EXPECT_EQ(meantOverlaps, 5);
}

TEST(BuiltInLayoutSize, TheEditorRectIsKnownBeforeOpen) {
  EffectFixture fx;
  vst::ERect* rect = nullptr;
  ASSERT_EQ(fx.dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 512);
  EXPECT_EQ(rect->right, 1024);
}

}  // namespace
