#include <cmath>
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

TEST_F(KnobTest, VerticalDragCoversTheRangeInTwoHundredPixelsAndTenTimesFinerWithShift) {
  QW::VeskKnob* k = knob(kParamDryLevel);
  ASSERT_EQ(plain(kParamDryLevel), 0.0f);

  k->mouseDown({20, 20}, 0, 1);
  k->mouseDragged({25, 120}, 0);  // sideways motion does not count
  EXPECT_NEAR(plain(kParamDryLevel), 0.5f, 1e-5f);
  EXPECT_NEAR(k->value(), 0.5f, 1e-5f);
  EXPECT_NEAR(lastAutomated(kParamDryLevel), 0.5f, 1e-5f);
  k->mouseDragged({20, 500}, 0);
  EXPECT_EQ(plain(kParamDryLevel), 1.0f);
  k->mouseDragged({20, -500}, 0);
  EXPECT_EQ(plain(kParamDryLevel), 0.0f);
  k->mouseUp({20, -500}, 0);

  k->mouseDown({20, 20}, kModifierShift, 1);
  k->mouseDragged({20, 120}, kModifierShift);
  EXPECT_NEAR(plain(kParamDryLevel), 0.05f, 1e-5f);
  k->mouseUp({20, 120}, kModifierShift);

  // A new gesture continues from where the value is, not from the press.
  k->mouseDown({20, 300}, 0, 1);
  k->mouseDragged({20, 310}, 0);
  EXPECT_NEAR(plain(kParamDryLevel), 0.1f, 1e-5f);
}

TEST_F(KnobTest, OnOffParameterTogglesOnAClickAndHoldsStillUnderSmallDrags) {
  QW::VeskKnob* k = knob(kParamViewXAxis);  // indexed 0..1
  ASSERT_TRUE(k->snapToSteps());
  ASSERT_EQ(plain(kParamViewXAxis), 0.0f);

  k->mouseDown({20, 20}, 0, 1);
  EXPECT_EQ(plain(kParamViewXAxis), 1.0f);
  k->mouseDragged({20, 23}, 0);
  EXPECT_EQ(plain(kParamViewXAxis), 1.0f);
  k->mouseDragged({20, 16}, 0);
  EXPECT_EQ(plain(kParamViewXAxis), 1.0f);
  k->mouseUp({20, 16}, 0);

  k->mouseDown({20, 20}, 0, 1);
  EXPECT_EQ(plain(kParamViewXAxis), 0.0f);
  k->mouseUp({20, 20}, 0);

  // A stepped parameter with a wider range does not toggle.
  QW::VeskKnob* fft = knob(kParamFftSize);
  fft->mouseDown({20, 20}, 0, 1);
  EXPECT_EQ(plain(kParamFftSize), 5.0f);
  // Dragged, it lands on whole steps only.
  fft->mouseDragged({20, 32}, 0);
  EXPECT_EQ(plain(kParamFftSize), 5.0f);
  fft->mouseDragged({20, 42}, 0);
  EXPECT_EQ(plain(kParamFftSize), 6.0f);
}

TEST_F(KnobTest, AltOrDoubleClickResetsToDefaultAndBothTogetherToZero) {
  QW::VeskKnob* k = knob(kParamViewSmoothing);  // 0..2000 ms, default 500

  setPlain(kParamViewSmoothing, 1200.0f);
  k->mouseDown({20, 20}, kModifierAlt, 1);
  EXPECT_EQ(plain(kParamViewSmoothing), 500.0f);
  k->mouseUp({20, 20}, kModifierAlt);

  setPlain(kParamViewSmoothing, 1200.0f);
  k->mouseDown({20, 20}, 0, 2);
  EXPECT_EQ(plain(kParamViewSmoothing), 500.0f);
  k->mouseUp({20, 20}, 0);

  setPlain(kParamViewSmoothing, 1200.0f);
  k->mouseDown({20, 20}, kModifierAlt, 2);
  EXPECT_EQ(plain(kParamViewSmoothing), 0.0f);
  EXPECT_EQ(lastAutomated(kParamViewSmoothing), 0.0f);
  // The drag that follows starts from the reset value.
  k->mouseDragged({20, 30}, kModifierAlt);
  EXPECT_NEAR(plain(kParamViewSmoothing), 100.0f, 1e-2f);
  k->mouseUp({20, 30}, kModifierAlt);

  // A plain click on a continuous knob changes nothing.
  setPlain(kParamViewSmoothing, 1200.0f);
  const int before = automated();
  k->mouseDown({20, 20}, 0, 1);
  EXPECT_EQ(plain(kParamViewSmoothing), 1200.0f);
  EXPECT_EQ(automated(), before);
}

TEST_F(KnobTest, CtrlSnapsTheDraggedValueToWholeUnits) {
  QW::VeskKnob* k = knob(kParamInputGain);  // -80..36 dB, at 0
  k->mouseDown({20, 20}, 0, 1);
  k->mouseDragged({20, 21}, 0);
  const float free = plain(kParamInputGain);
  EXPECT_GT(free, 0.5f);
  EXPECT_LT(free, 0.6f);
  k->mouseUp({20, 21}, 0);

  setPlain(kParamInputGain, 0.0f);
  k->mouseDown({20, 20}, kModifierCtrl, 1);
  k->mouseDragged({20, 21}, kModifierCtrl);
  EXPECT_NEAR(plain(kParamInputGain), 1.0f, 1e-4f);
  k->mouseDragged({20, 24}, kModifierCtrl);  // 2.3 dB
  EXPECT_NEAR(plain(kParamInputGain), 2.0f, 1e-4f);
}

TEST_F(KnobTest, GestureIsOneEditBracketedForTheHost) {
  QW::VeskKnob* k = knob(kParamViewXAxis);
  k->mouseDown({20, 20}, 0, 1);
  k->mouseDragged({20, 40}, 0);
  k->mouseUp({20, 40}, 0);
  k->mouseUp({20, 40}, 0);  // a second release has nothing left to end
  ASSERT_EQ(edits.size(), 2u);
  EXPECT_TRUE(edits[0].begin);
  EXPECT_EQ(edits[0].index, kParamViewXAxis);
  EXPECT_FALSE(edits[1].begin);
  EXPECT_EQ(edits[1].index, kParamViewXAxis);
  EXPECT_EQ(manager->editedParameter(), -1);

  // Another control's press ends the open edit before it begins its own.
  QW::VeskKnob* other = knob(kParamDryLevel);
  edits.clear();
  k->mouseDown({20, 20}, 0, 1);
  other->mouseDown({20, 20}, 0, 1);
  k->mouseUp({20, 20}, 0);  // not its edit any more
  other->mouseUp({20, 20}, 0);
  ASSERT_EQ(edits.size(), 4u);
  EXPECT_EQ(edits[0].index, kParamViewXAxis);
  EXPECT_FALSE(edits[1].begin);
  EXPECT_EQ(edits[1].index, kParamViewXAxis);
  EXPECT_TRUE(edits[2].begin);
  EXPECT_EQ(edits[2].index, kParamDryLevel);
  EXPECT_FALSE(edits[3].begin);
  EXPECT_EQ(edits[3].index, kParamDryLevel);
}

TEST_F(KnobTest, HoverNamesTheParameterUntilThePointerLeaves) {
  QW::VeskKnob* k = knob(kParamInputGain);
  k->mouseEntered();
  EXPECT_EQ(manager->hoveredId(), kParamInputGain);
  EXPECT_EQ(manager->tooltipElement(), k);
  k->mouseExited();
  EXPECT_EQ(manager->hoveredId(), -1);
  EXPECT_EQ(manager->tooltipElement(), nullptr);

  // Leaving late does not clear what another control has set meanwhile.
  QW::VeskKnob* other = knob(kParamOutputGain);
  k->mouseEntered();
  other->mouseEntered();
  k->mouseExited();
  EXPECT_EQ(manager->hoveredId(), kParamOutputGain);
  EXPECT_EQ(manager->tooltipElement(), other);
}

TEST_F(KnobTest, RendererInstanceFollowsValuePlaceAndVisibility) {
  auto* renderer = manager->addRenderer(
      std::make_unique<QW::TexturedKnobRenderer>(manager.get(), nullptr, nullptr, 0, 0, 64));
  QW::VeskKnob* gain = knob(kParamInputGain, renderer);
  QW::VeskKnob* smoothing = knob(kParamViewSmoothing, renderer);
  ASSERT_EQ(renderer->instanceCount(), 2u);
  ASSERT_EQ(gain->rendererInstance(), 0);
  ASSERT_EQ(smoothing->rendererInstance(), 1);

  // Tinted by unit: decibels take the default orange, milliseconds purple.
  const auto rgba = [&](int i) {
    const QW::Colour& c = renderer->instance(i).colour;
    return std::vector<float>{c.r, c.g, c.b, c.a};
  };
  EXPECT_EQ(rgba(0), (std::vector<float>{1.0f, 0.6f, 0.0f, 1.0f}));
  EXPECT_EQ(rgba(1), (std::vector<float>{0.8f, 0.1f, 0.9f, 1.0f}));
  EXPECT_TRUE(renderer->instance(0).visible);

  // Half way points straight up; the ends are 135 degrees either side.
  setPlain(kParamViewSmoothing, 1000.0f);
  smoothing->update();
  EXPECT_NEAR(renderer->instance(1).angle, M_PI / 2, 1e-6);
  setPlain(kParamViewSmoothing, 0.0f);
  smoothing->update();
  EXPECT_NEAR(renderer->instance(1).angle, M_PI / 2 - 3 * M_PI / 4, 1e-6);
  setPlain(kParamViewSmoothing, 2000.0f);
  smoothing->update();
  EXPECT_NEAR(renderer->instance(1).angle, M_PI / 2 + 3 * M_PI / 4, 1e-6);
  EXPECT_EQ(QW::Knob::angleFor(0.5f), static_cast<float>(M_PI / 2));

  // The renderer draws in window pixels: the group's position counts.
  QW::Group* group = manager->create<QW::Group>();
  group->setPosition(100, 50);
  group->add(gain);
  gain->prepareRendering();
  EXPECT_FLOAT_EQ(renderer->instance(0).x, 100 + 10 + 18.5f);
  EXPECT_FLOAT_EQ(renderer->instance(0).y, 50 + 10 + 18.5f);
  EXPECT_FLOAT_EQ(renderer->instance(0).radius, 18.5f);

  group->setVisible(false);
  EXPECT_FALSE(renderer->instance(0).visible);
  EXPECT_TRUE(renderer->instance(1).visible);
  group->setVisible(true);
  EXPECT_TRUE(renderer->instance(0).visible);
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
