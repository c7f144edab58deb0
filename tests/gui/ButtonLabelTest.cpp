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

}  // namespace
