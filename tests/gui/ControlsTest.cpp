// The controls with a real effect and an editor manager that has no
// window: elements are driven directly, parameter values read back from the
// effect and the host's edit bracket recorded in order.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "core/VstAbi.h"
#include "gui/Button.h"
#include "gui/DropDown.h"
#include "gui/Group.h"
#include "gui/Knob.h"
#include "gui/Label.h"
#include "gui/Manager.h"
#include "gui/TextField.h"
#include "gui/TexturedKnobRenderer.h"
#include "support/RecordingHost.h"

namespace {

class ControlFixture : public ::testing::Test {
 protected:
  // One step of the host's edit bracket, with how many automation changes
  // the host had seen when it came.
  struct EditCall {
    bool begin;
    int32_t index;
    int automatedBefore;
    bool operator==(const EditCall& o) const {
      return begin == o.begin && index == o.index && automatedBefore == o.automatedBefore;
    }
  };

  void SetUp() override {
    manager = std::make_unique<QW::Manager>(effect.get());
    manager->setWindowSize({1024, 512});
    manager->computeViewGeometry();
    QW::Manager::PlatformCallbacks callbacks;
    callbacks.beginEdit = [this](int32_t i) { edits.push_back({true, i, automated()}); };
    callbacks.endEdit = [this](int32_t i) { edits.push_back({false, i, automated()}); };
    manager->setPlatform(nullptr, std::move(callbacks));
  }

  float plain(int32_t index) const { return effect->getParameterPlain(index); }
  void setPlain(int32_t index, float value) { effect->setParameterPlain(index, value, false); }
  int automated() const { return host.count(vst::audioMasterAutomate); }
  // The last automated value the host saw for index (normalised), -1 if none.
  float lastAutomated(int32_t index) const {
    float value = -1.0f;
    for (const HostCall& call : host.calls(vst::audioMasterAutomate))
      if (call.index == index) value = call.opt;
    return value;
  }

  RecordingHost host;
  std::unique_ptr<QwkTonalmire> effect = std::make_unique<QwkTonalmire>(RecordingHost::callback());
  // Before the manager: a manager closed in the middle of a gesture ends it
  // on its way out, and that call is recorded here.
  std::vector<EditCall> edits;
  std::unique_ptr<QW::Manager> manager;
};

using QW::kModifierAlt;
using QW::kModifierCtrl;
using QW::kModifierShift;

class KnobTest : public ControlFixture {
 protected:
  QW::VeskKnob* knob(int32_t index, QW::TexturedKnobRenderer* renderer = nullptr) {
    return manager->create<QW::VeskKnob>(renderer, index, 10.0f, 10.0f, 37.0f);
  }
};

// One gesture: a press with modifiers and clicks, then a drag by dy pixels
// (downwards is up the range in design coordinates).
TEST_F(KnobTest, GesturesDragFinelySnapAndReset) {
  const struct {
    const char* what;
    int32_t parameter;
    float start;
    uint32_t modifiers;
    int clicks;
    float dy;
    float expected;
  } cases[] = {
      {"200 pixels cover the range", kParamDryLevel, 0.0f, 0, 1, 100, 0.5f},
      {"and stop at its ends", kParamDryLevel, 0.5f, 0, 1, -500, 0.0f},
      {"ten times finer with Shift", kParamDryLevel, 0.0f, kModifierShift, 1, 100, 0.05f},
      {"from where the value is", kParamDryLevel, 0.05f, 0, 1, 10, 0.1f},
      {"an on-off parameter toggles on a click", kParamViewXAxis, 0.0f, 0, 1, 3, 1.0f},
      {"and holds still under small drags", kParamViewXAxis, 1.0f, 0, 1, -4, 0.0f},
      {"a wider stepped one lands on whole steps", kParamFftSize, 5.0f, 0, 1, 12, 5.0f},
      {"a step further", kParamFftSize, 5.0f, 0, 1, 22, 6.0f},
      {"Ctrl snaps to whole units", kParamInputGain, 0.0f, kModifierCtrl, 1, 4, 2.0f},
      {"Alt resets to the default", kParamViewSmoothing, 1200.0f, kModifierAlt, 1, 0, 500.0f},
      {"so does a double click", kParamViewSmoothing, 1200.0f, 0, 2, 0, 500.0f},
      {"both at once to zero, then drags on", kParamViewSmoothing, 1200.0f, kModifierAlt, 2, 10,
       100.0f},
      {"a plain click changes nothing", kParamViewSmoothing, 1200.0f, 0, 1, 0, 1200.0f},
  };
  for (const auto& c : cases) {
    QW::VeskKnob* k = knob(c.parameter);
    setPlain(c.parameter, c.start);
    k->mouseDown({20, 20}, c.modifiers, c.clicks);
    k->mouseDragged({25, 20 + c.dy}, c.modifiers);  // sideways motion does not count
    EXPECT_NEAR(plain(c.parameter), c.expected, 1e-2f) << c.what;
    k->mouseUp({25, 20 + c.dy}, c.modifiers);
  }
}

TEST_F(KnobTest, GestureIsOneEditBracketedForTheHost) {
  QW::VeskKnob* k = knob(kParamViewXAxis);
  QW::VeskKnob* other = knob(kParamDryLevel);
  k->mouseDown({20, 20}, 0, 1);
  k->mouseDragged({20, 40}, 0);
  k->mouseUp({20, 40}, 0);
  k->mouseUp({20, 40}, 0);  // a second release has nothing left to end
  // Another control's press ends the open edit before it begins its own.
  k->mouseDown({20, 20}, 0, 1);
  other->mouseDown({20, 20}, 0, 1);
  k->mouseUp({20, 20}, 0);  // not its edit any more
  other->mouseUp({20, 20}, 0);
  std::vector<std::pair<bool, int32_t>> bracket;
  for (const EditCall& e : edits) bracket.emplace_back(e.begin, e.index);
  EXPECT_EQ(bracket, (std::vector<std::pair<bool, int32_t>>{{true, kParamViewXAxis},
                                                            {false, kParamViewXAxis},
                                                            {true, kParamViewXAxis},
                                                            {false, kParamViewXAxis},
                                                            {true, kParamDryLevel},
                                                            {false, kParamDryLevel}}));
  // Hovering names the parameter; leaving late keeps what another has set.
  k->mouseEntered();
  other->mouseEntered();
  k->mouseExited();
  EXPECT_EQ(manager->hoveredId(), kParamDryLevel);
  EXPECT_EQ(manager->tooltipElement(), other);
  other->mouseExited();
  EXPECT_EQ(manager->hoveredId(), -1);
}

TEST_F(KnobTest, RendererInstanceFollowsValuePlaceAndVisibility) {
  auto* renderer = manager->addRenderer(
      std::make_unique<QW::TexturedKnobRenderer>(manager.get(), nullptr, nullptr, 0, 0, 64));
  QW::VeskKnob* gain = knob(kParamInputGain, renderer);
  QW::VeskKnob* smoothing = knob(kParamViewSmoothing, renderer);
  ASSERT_EQ(smoothing->rendererInstance(), 1);
  // Tinted by unit: decibels take the default orange, milliseconds purple.
  EXPECT_FLOAT_EQ(renderer->instance(0).colour.g, 0.6f);
  EXPECT_FLOAT_EQ(renderer->instance(1).colour.b, 0.9f);
  // Half way points straight up; the ends are 135 degrees either side.
  for (const float ms : {0.0f, 1000.0f, 2000.0f}) {
    setPlain(kParamViewSmoothing, ms);
    smoothing->update();
    EXPECT_NEAR(renderer->instance(1).angle, M_PI / 2 + (ms / 1000 - 1) * 3 * M_PI / 4, 1e-6);
  }
  // The renderer draws in window pixels: the group's position counts.
  QW::Group* group = manager->create<QW::Group>();
  group->setPosition(100, 50);
  group->add(gain);
  gain->prepareRendering();
  EXPECT_FLOAT_EQ(renderer->instance(0).x, 100 + 10 + 18.5f);
  EXPECT_FLOAT_EQ(renderer->instance(0).y, 50 + 10 + 18.5f);
  group->setVisible(false);
  EXPECT_FALSE(renderer->instance(0).visible);
  EXPECT_TRUE(renderer->instance(1).visible);
}

TEST_F(KnobTest, UnknownParameterIsInert) {
  QW::VeskKnob* k = knob(kParamCount + 5);
  k->mouseDown({20, 20}, kModifierAlt, 2);
  k->mouseDragged({20, 120}, 0);
  k->mouseUp({20, 120}, 0);
  EXPECT_EQ(automated(), 0);
  EXPECT_TRUE(edits.empty());
}

using QW::TextField;

class TextFieldTest : public ControlFixture {
 protected:
  TextField* field(int32_t index, const std::string& format = "") {
    TextField* f = manager->create<TextField>(index, 10.0f, 10.0f, 37.0f, 12.0f, format);
    f->update();
    return f;
  }
  static void type(TextField* f, const std::string& keys) {
    for (char c : keys) EXPECT_TRUE(f->keyPressed(c)) << c;
  }
};

TEST_F(TextFieldTest, ShowsTheDisplayTextOrTheValueThroughAUsableFormat) {
  setPlain(kParamInputGain, -12.5f);
  setPlain(kParamViewSmoothing, 0.0f);
  const struct {
    int32_t parameter;
    const char* format;
    const char* text;
  } cases[] = {{kParamInputGain, "", "-12.50"},
               {kParamInputGain, "%.1f", "-12.5"},
               {kParamViewSmoothing, "%.0f", "Off"},  // a word stays a word
               {kParamInputGain, "%s", "-12.50"}};    // not one number conversion
  for (const auto& c : cases)
    EXPECT_STREQ(field(c.parameter, c.format)->text(), c.text) << c.format;
  for (const char* format : {"%+8.3g dB", "100%% %.0f", "%lf"})
    EXPECT_TRUE(TextField::usableFormat(format)) << format;
  for (const char* format : {"plain", "%d", "%f %f", "%*f", "%Lf", "%n", "%.2"})
    EXPECT_FALSE(TextField::usableFormat(format)) << format;
}

TEST_F(TextFieldTest, TypedNumberIsCommittedWithReturnInsideOneEdit) {
  TextField* f = field(kParamInputGain);
  f->mouseDown({20, 15}, 0, 1);
  f->mouseUp({20, 15}, 0);
  EXPECT_EQ(manager->keyFocus(), f);
  edits.clear();
  type(f, "12.5");
  type(f, ".-");  // a second point, a minus inside a number: ignored
  f->update();    // the display does not overwrite what is being typed
  EXPECT_STREQ(f->text(), "12.5");
  EXPECT_EQ(plain(kParamInputGain), 0.0f);
  EXPECT_TRUE(f->keyPressed(TextField::kKeyReturn));
  EXPECT_EQ(plain(kParamInputGain), 12.5f);
  EXPECT_FALSE(f->isTyping());
  EXPECT_EQ(manager->keyFocus(), f);
  EXPECT_EQ(edits,
            (std::vector<EditCall>{{true, kParamInputGain, 0}, {false, kParamInputGain, 1}}));
  // Out of range is clamped; Enter commits like Return.
  type(f, "-500");
  EXPECT_TRUE(f->keyPressed(TextField::kKeyEnter));
  EXPECT_EQ(plain(kParamInputGain), -80.0f);

  // Text that is no number stays typed; backspace edits it; typing stops at
  // 31 characters; keys a number cannot hold are not taken.
  type(f, "-");
  EXPECT_TRUE(f->keyPressed(TextField::kKeyReturn));
  EXPECT_STREQ(f->text(), "-");
  type(f, "7\b\b\b");
  EXPECT_STREQ(f->text(), "");
  EXPECT_TRUE(f->isTyping());
  type(f, std::string(40, '9'));
  EXPECT_EQ(std::string(f->text()), std::string(31, '9'));
  for (const int key : {int{'a'}, int{' '}, 27}) EXPECT_FALSE(f->keyPressed(key)) << key;
  EXPECT_EQ(plain(kParamInputGain), -80.0f);
  // Losing the focus drops what was typed: the value is shown again.
  manager->setKeyFocus(nullptr);
  EXPECT_FALSE(f->isTyping());
  f->update();
  EXPECT_NE(std::string(f->text()), std::string(31, '9'));
  EXPECT_EQ(plain(kParamInputGain), -80.0f);
}

TEST_F(TextFieldTest, ArrowsStepByTheLastShownDigit) {
  setPlain(kParamDryLevel, 0.25f);
  TextField* f = field(kParamDryLevel, "%.2f");
  const std::pair<int, float> steps[] = {{TextField::kKeyUp, 0.26f},
                                         {TextField::kKeyRight, 0.27f},
                                         {TextField::kKeyDown, 0.26f},
                                         {TextField::kKeyLeft, 0.25f}};
  for (const auto& [key, value] : steps) {
    EXPECT_TRUE(f->keyPressed(key));
    EXPECT_NEAR(plain(kParamDryLevel), value, 1e-6f) << key;
    f->update();
  }
  type(f, "0.5");  // a typed number is taken first, then stepped
  EXPECT_TRUE(f->keyPressed(TextField::kKeyUp));
  EXPECT_NEAR(plain(kParamDryLevel), 0.6f, 1e-6f);
  EXPECT_TRUE(f->keyPressed(TextField::kKeyBackspace));  // not typing: nothing
  EXPECT_FALSE(f->isTyping());
  const std::pair<const char*, float> rule[] = {{"0.25", 0.01f}, {"-12.50", 0.01f}, {"500.0", 0.1f},
                                                {"12", 1.0f},    {"12.", 1.0f},     {"Off", 1.0f},
                                                {"inf.5", 1.0f}, {"3.5 Hz", 0.1f}};
  for (const auto& [text, step] : rule) EXPECT_FLOAT_EQ(TextField::stepFor(text), step) << text;
}

class DropDownTest : public ControlFixture {
 protected:
  QW::OvDropDown* fftSize(float x, float y) {
    return manager->create<QW::OvDropDown>(kParamFftSize, x, y, 50.0f, 12.0f);
  }
};

TEST_F(DropDownTest, ItemsAreTheParameterValueNames) {
  EXPECT_EQ(fftSize(10, 100)->items(),
            (std::vector<std::string>{"32", "64", "128", "256", "512", "1024", "2048", "4096"}));
  // A parameter without value names opens no list.
  auto* gain = manager->create<QW::DropDown>(kParamInputGain, 10.0f, 10.0f, 50.0f, 12.0f);
  gain->mouseDown({20, 15}, 0, 1);
  EXPECT_FALSE(gain->isOpen());
}

// The list opens with the current item over the control, shifted to stay
// inside the window; rows run from the top, its edges belong to the first
// and last items, and the release picks the highlighted item inside it.
TEST_F(DropDownTest, ListOpensOverTheControlAndTheReleaseInsideChooses) {
  const struct {
    float y, start;
    std::vector<QW::Point> drags;  // the last one is where the release comes
    float listMinY, listMaxY;
    int highlighted;
    float chosen;
  } cases[] = {
      {200, 5, {{30, 180}, {60, 180}}, 176, 272, 7, 5},  // the right edge is outside
      {495, 5, {{30, 480}, {30, 512}, {30, 416}, {30, 480}, {200, 300}, {30, 480}}, 416, 512, 2, 2},
      {20, 0, {{30, 90}}, 0, 96, 0, 0},
  };
  for (const auto& c : cases) {
    setPlain(kParamFftSize, c.start);
    QW::OvDropDown* d = fftSize(10, c.y);
    d->mouseDown({20, c.y + 5}, 0, 1);
    EXPECT_EQ(d->listBounds().minY, c.listMinY) << c.y;
    EXPECT_EQ(d->listBounds().maxY, c.listMaxY) << c.y;
    for (const QW::Point& p : c.drags) d->mouseDragged(p, 0);
    EXPECT_EQ(d->highlighted(), c.highlighted) << c.y;
    d->mouseUp(c.drags.back(), 0);
    EXPECT_FALSE(d->isOpen());
    EXPECT_EQ(plain(kParamFftSize), c.chosen) << c.y;
    EXPECT_EQ(manager->editedParameter(), -1);
  }
}

TEST_F(DropDownTest, ListInsideAGroupWorksInTheParentsCoordinates) {
  QW::Group* group = manager->create<QW::Group>();
  group->setPosition(300, 100);
  QW::OvDropDown* d = fftSize(10, 100);
  group->add(d);
  d->mouseDown({20, 105}, 0, 1);
  EXPECT_FLOAT_EQ(d->listBounds().minX, 310.0f);
  EXPECT_FLOAT_EQ(d->listBounds().minY, 200.0f - 24.0f);
  // Points come in group coordinates: the list spans 76..172 there, row 6 88..100.
  d->mouseDragged({30, 92}, 0);
  d->mouseUp({30, 92}, 0);
  EXPECT_EQ(plain(kParamFftSize), 6.0f);
}

using QW::LabelAlign;

class ButtonTest : public ControlFixture {
 protected:
  template <class T>
  T* button(int32_t id = -5) {
    return manager->create<T>(
        "Go", [this](QW::Button* b) { pressedBy.push_back(b); }, 10.0f, 10.0f, 40.0f, 14.0f, id);
  }
  std::vector<QW::Button*> pressedBy;
};

TEST_F(ButtonTest, ReleaseAfterAPressCallsBackWhereverThePointerIs) {
  auto* b = button<QW::VeskButton>();
  b->mouseDown({20, 15}, 0, 1);
  EXPECT_TRUE(pressedBy.empty());
  b->mouseUp({400, 400}, 0);
  b->mouseUp({20, 15}, 0);  // a release without a press of its own does nothing
  EXPECT_EQ(pressedBy, std::vector<QW::Button*>{b});
  EXPECT_TRUE(edits.empty()) << "buttons are no parameter edit";

  // A stateful button flips before its callback.
  auto* s = button<QW::StatefulButton>();
  for (int i = 0; i < 2; ++i) {
    s->mouseDown({1, 1}, 0, 1);
    s->mouseUp({1, 1}, 0);
    EXPECT_EQ(s->state(), i == 0);
  }
  pressedBy.clear();
  s->mouseDown({1, 1}, 0, 1);
  s->mouseUp({1, 1}, 0);
  EXPECT_EQ(pressedBy, std::vector<QW::Button*>{s});
  EXPECT_TRUE(static_cast<QW::StatefulButton*>(pressedBy[0])->state());
}

TEST_F(ButtonTest, HoverShowsTheTooltipIdAndWarmsTheColour) {
  auto* b = button<QW::VeskButton>(QW::Manager::kPreferencesTooltip);
  EXPECT_FLOAT_EQ(b->currentColour().r, 0.3f);
  b->mouseEntered();
  EXPECT_EQ(manager->hoveredId(), QW::Manager::kPreferencesTooltip);
  EXPECT_FLOAT_EQ(b->targetColour().g, 0.4f);
  b->animate();
  EXPECT_FLOAT_EQ(b->currentColour().r, 0.85f * 0.3f + 0.15f * 0.8f);
  for (int i = 0; i < 200; ++i) b->animate();
  EXPECT_NEAR(b->currentColour().r, 0.8f, 1e-4f);
  // Leaving does not clear another element's tooltip.
  manager->setHoveredId(kParamInputGain);
  b->mouseExited();
  EXPECT_EQ(manager->hoveredId(), kParamInputGain);
  EXPECT_FLOAT_EQ(b->targetColour().r, 0.3f);
}

TEST(LabelLayout, SizedToTheTextAndPlacedByAlignmentUnlessGivenASize) {
  // Text 41.6 wide, "M" 9.4 high: the box is 47 x 15 with insets of 3.
  const struct {
    float textWidth, textHeight, x, y;
    LabelAlign align;
    float width, height;
    std::vector<float> box;  // minX, minY, maxX, maxY, insetX, insetY
  } cases[] = {
      {41.6f, 9.4f, 100.5f, 200.0f, LabelAlign::kLeft, 0, 0, {100, 185, 147, 200, 3, 3}},
      {41.6f, 9.4f, 100.5f, 200.0f, LabelAlign::kRight, 0, 0, {53, 185, 100, 200, 3, 3}},
      {41.6f, 9.4f, 100.5f, 200.0f, LabelAlign::kCentre, 0, 0, {77, 185, 124, 200, 3, 3}},
      {20.0f, 9.0f, 10.7f, 30.6f, LabelAlign::kRight, 50, 20, {10, 30, 60, 50, 15, 5}},
  };
  for (const auto& c : cases) {
    const auto g =
        QW::Label::layout(c.textWidth, c.textHeight, c.x, c.y, c.align, c.width, c.height);
    EXPECT_EQ(
        (std::vector<float>{g.box.minX, g.box.minY, g.box.maxX, g.box.maxY, g.insetX, g.insetY}),
        c.box);
  }
}

TEST_F(ButtonTest, LabelWithoutAFontIsAnEmptyBox) {
  auto* label = manager->create<QW::Label>("Input", 10.0f, 20.0f, LabelAlign::kCentre, 0.0f, 0.0f);
  EXPECT_TRUE(label->bounds().empty());
  EXPECT_EQ(label->hitTest({10, 20}), nullptr);
  label->drawLabel(nullptr);  // nothing to draw: no GL needed
}

class GroupTest : public ControlFixture {
 protected:
  QW::VeskKnob* knobAt(float x, float y) {
    return manager->create<QW::VeskKnob>(nullptr, kParamInputGain, x, y, 20.0f);
  }
  static void expectBox(const QW::Bounds& b, float x0, float y0, float x1, float y1) {
    EXPECT_FLOAT_EQ(b.minX, x0);
    EXPECT_FLOAT_EQ(b.minY, y0);
    EXPECT_FLOAT_EQ(b.maxX, x1);
    EXPECT_FLOAT_EQ(b.maxY, y1);
  }
};

TEST_F(GroupTest, HitTestingPassesPointsIntoEachGroupsCoordinates) {
  auto* outer = manager->create<QW::Group>();
  outer->setPosition(100, 50);
  manager->root()->add(outer);
  auto* knob = knobAt(10, 10);
  outer->add(knob);
  auto* inner = manager->create<QW::Group>();
  inner->setPosition(200, 0);
  outer->add(inner);
  auto* button =
      manager->create<QW::Button>("b", QW::Button::Callback(), 5.0f, 5.0f, 10.0f, 10.0f, -2);
  inner->add(button);

  EXPECT_EQ(manager->root()->hitTest({110, 60}), knob);  // the knob's corner, inclusive
  EXPECT_EQ(manager->root()->hitTest({130, 80}), knob);
  EXPECT_EQ(manager->root()->hitTest({131, 80}), nullptr);
  EXPECT_EQ(manager->root()->hitTest({120, 81}), nullptr);
  EXPECT_EQ(manager->root()->hitTest({310, 60}), button);
  EXPECT_EQ(manager->root()->hitTest({20, 20}), nullptr);
  // Between the children, but no hover tracking: nothing is hit.
  EXPECT_EQ(manager->root()->hitTest({200, 60}), nullptr);
  expectBox(button->absoluteBounds(), 305, 55, 315, 65);
}

TEST_F(GroupTest, InvisibleGroupIsSkippedTogetherWithItsChildren) {
  auto* outer = manager->create<QW::NamedGroup>("Process");
  manager->root()->add(outer);
  auto* inner = manager->create<QW::Group>();
  outer->add(inner);
  auto* nested = knobAt(100, 100);
  inner->add(nested);
  outer->setVisible(false);
  auto* late = knobAt(200, 200);
  outer->add(late);  // takes the group's visibility
  EXPECT_FALSE(nested->isVisible() || late->isVisible());
  manager->mouseMoved({105, 105});
  EXPECT_EQ(manager->hoverElement(), nullptr);
  outer->setVisible(true);
  EXPECT_EQ(manager->root()->hitTest({105, 105}), nested);
}

TEST_F(GroupTest, NamedGroupBoundsIncludeItsMargins) {
  // Margins are top, bottom, left, right.
  const std::pair<QW::NamedGroup::Margins, std::vector<float>> cases[] = {
      {{10, 10, 10, 10}, {100, 50, 140, 90}},
      {{4, 4, 4, 4}, {106, 56, 134, 84}},
      {{1, 2, 0, 0}, {110, 58, 130, 81}}};
  for (const auto& [margins, box] : cases) {
    auto* g = manager->create<QW::NamedGroup>("G", margins);
    g->setPosition(100, 50);
    g->add(knobAt(10, 10));
    QW::Bounds seen;  // what an enclosing group sees
    g->extendBounds(seen);
    EXPECT_EQ((std::vector<float>{seen.minX, seen.minY, seen.maxX, seen.maxY}), box);
  }
  EXPECT_TRUE(manager->create<QW::NamedGroup>("Empty")->groupBounds().empty());
}

}  // namespace
