#include <vector>

#include "gui/Button.h"
#include "gui/ControlFixture.h"
#include "gui/Label.h"

namespace {

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
  EXPECT_EQ(b->bounds().maxX, 50.0f);
  EXPECT_EQ(b->bounds().maxY, 24.0f);
  b->mouseDown({20, 15}, 0, 1);
  EXPECT_TRUE(pressedBy.empty());
  b->mouseUp({400, 400}, 0);
  ASSERT_EQ(pressedBy.size(), 1u);
  EXPECT_EQ(pressedBy[0], b);

  // A release without a press of its own does nothing.
  b->mouseUp({20, 15}, 0);
  EXPECT_EQ(pressedBy.size(), 1u);

  // Buttons are no parameter edit.
  EXPECT_TRUE(edits.empty());
  EXPECT_EQ(automated(), 0);

  // A button without a callback is harmless.
  auto* silent =
      manager->create<QW::Button>("Quiet", QW::Button::Callback(), 0.0f, 0.0f, 5.0f, 5.0f, -2);
  silent->mouseDown({1, 1}, 0, 1);
  silent->mouseUp({1, 1}, 0);
}

TEST_F(ButtonTest, StatefulButtonFlipsBeforeItsCallback) {
  auto* b = button<QW::StatefulButton>();
  std::vector<bool> seen;
  auto* s = manager->create<QW::StatefulButton>(
      "Hold",
      [&seen](QW::Button* pressed) {
        seen.push_back(static_cast<QW::StatefulButton*>(pressed)->state());
      },
      0.0f, 0.0f, 10.0f, 10.0f, -4);
  EXPECT_FALSE(s->state());
  s->mouseDown({1, 1}, 0, 1);
  s->mouseUp({1, 1}, 0);
  s->mouseDown({1, 1}, 0, 1);
  s->mouseUp({1, 1}, 0);
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
  s->setState(true);
  EXPECT_TRUE(s->state());
  EXPECT_FALSE(b->state());
}

TEST_F(ButtonTest, HoverShowsTheTooltipIdAndWarmsTheColour) {
  auto* b = button<QW::VeskButton>(QW::Manager::kPreferencesTooltip);
  const QW::Colour idle = b->currentColour();
  EXPECT_FLOAT_EQ(idle.r, 0.3f);
  EXPECT_FLOAT_EQ(idle.a, 0.2f);

  b->mouseEntered();
  EXPECT_EQ(manager->hoveredId(), QW::Manager::kPreferencesTooltip);
  EXPECT_FLOAT_EQ(b->targetColour().r, 0.8f);
  EXPECT_FLOAT_EQ(b->targetColour().g, 0.4f);
  EXPECT_FLOAT_EQ(b->targetColour().b, 0.1f);
  EXPECT_FLOAT_EQ(b->targetColour().a, 0.3f);
  b->animate();
  EXPECT_FLOAT_EQ(b->currentColour().r, 0.85f * 0.3f + 0.15f * 0.8f);
  for (int i = 0; i < 200; ++i) b->animate();
  EXPECT_NEAR(b->currentColour().r, 0.8f, 1e-4f);

  b->mouseExited();
  EXPECT_EQ(manager->hoveredId(), -1);
  EXPECT_FLOAT_EQ(b->targetColour().r, 0.3f);

  // Leaving does not clear another element's tooltip.
  b->mouseEntered();
  manager->setHoveredId(kParamInputGain);
  b->mouseExited();
  EXPECT_EQ(manager->hoveredId(), kParamInputGain);
}

TEST_F(ButtonTest, CaptionNeedsTheMainFont) {
  auto* b = button<QW::VeskButton>();
  const size_t before = manager->bannerText()->runCount();
  b->prepareRendering();
  EXPECT_EQ(manager->bannerText()->runCount(), before);
  b->setVisible(false);
  EXPECT_FALSE(b->isVisible());
}

TEST(LabelLayout, SizedToTheTextAndPlacedByAlignment) {
  // Text 41.6 wide, "M" 9.4 high: the box is 47 x 15 with insets of 3.
  auto g = QW::Label::layout(41.6f, 9.4f, 100.5f, 200.0f, LabelAlign::kLeft, 0, 0);
  EXPECT_EQ(g.box.minX, 100.0f);
  EXPECT_EQ(g.box.maxX, 147.0f);
  EXPECT_EQ(g.box.minY, 185.0f);
  EXPECT_EQ(g.box.maxY, 200.0f);
  EXPECT_EQ(g.insetX, 3.0f);
  EXPECT_EQ(g.insetY, 3.0f);

  g = QW::Label::layout(41.6f, 9.4f, 100.5f, 200.0f, LabelAlign::kRight, 0, 0);
  EXPECT_EQ(g.box.minX, 53.0f);
  EXPECT_EQ(g.box.maxX, 100.0f);

  g = QW::Label::layout(41.6f, 9.4f, 100.5f, 200.0f, LabelAlign::kCentre, 0, 0);
  EXPECT_EQ(g.box.minX, 77.0f);  // floor(100.5 - 23.5)
  EXPECT_EQ(g.box.maxX, 124.0f);
}

TEST(LabelLayout, GivenSizeCentresTheTextAndIgnoresAlignment) {
  const auto g = QW::Label::layout(20.0f, 9.0f, 10.7f, 30.6f, LabelAlign::kRight, 50.0f, 20.0f);
  EXPECT_EQ(g.box.minX, 10.0f);
  EXPECT_EQ(g.box.maxX, 60.0f);  // floor(60.7)
  EXPECT_EQ(g.box.minY, 30.0f);
  EXPECT_EQ(g.box.maxY, 50.0f);  // floor(50.6)
  EXPECT_EQ(g.insetX, 15.0f);
  EXPECT_EQ(g.insetY, 5.0f);  // floor(10 - 4.5)
}

TEST_F(ButtonTest, LabelWithoutAFontIsAnEmptyBox) {
  auto* label = manager->create<QW::Label>("Input", 10.0f, 20.0f, LabelAlign::kCentre, 0.0f, 0.0f);
  EXPECT_TRUE(label->bounds().empty());
  EXPECT_EQ(label->insetX(), 0.0f);
  EXPECT_EQ(label->insetY(), 0.0f);
  EXPECT_EQ(label->text(), "Input");
  EXPECT_EQ(label->hitTest({10, 20}), nullptr);
  // Drawing it needs no GL: there is nothing to draw.
  label->drawLabel(nullptr);

  EXPECT_FLOAT_EQ(label->backgroundColour().r, 1.0f);
  EXPECT_FLOAT_EQ(label->foregroundColour().r, 0.0f);
  label->setBackgroundColour({0.1f, 0.1f, 0.15f, 0.7f});
  label->setForegroundColour({0.9f, 0.9f, 0.9f, 0.6f});
  EXPECT_FLOAT_EQ(label->backgroundColour().a, 0.7f);
  EXPECT_FLOAT_EQ(label->foregroundColour().a, 0.6f);
}

}  // namespace
