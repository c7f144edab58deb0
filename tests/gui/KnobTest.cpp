#include <cmath>
#include <utility>
#include <vector>

#include "gui/ControlFixture.h"
#include "gui/Knob.h"
#include "gui/TexturedKnobRenderer.h"

namespace {

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

}  // namespace
