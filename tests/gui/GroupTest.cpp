#include <utility>
#include <vector>

#include "gui/Button.h"
#include "gui/ControlFixture.h"
#include "gui/Group.h"
#include "gui/Knob.h"

namespace {

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
