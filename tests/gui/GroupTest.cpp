#include "gui/Button.h"
#include "gui/ControlFixture.h"
#include "gui/Group.h"
#include "gui/Knob.h"
#include "gui/SharedStyle.h"

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
  EXPECT_EQ(manager->root()->hitTest({310, 60}), button);
  EXPECT_EQ(manager->root()->hitTest({20, 20}), nullptr);
  // Between the children, but no hover tracking: nothing is hit.
  EXPECT_EQ(manager->root()->hitTest({200, 60}), nullptr);
  expectBox(button->absoluteBounds(), 305, 55, 315, 65);
}

TEST_F(GroupTest, InvisibleGroupIsSkippedTogetherWithItsChildren) {
  auto* outer = manager->create<QW::NamedGroup>("Process");
  manager->root()->add(outer);
  auto* knob = knobAt(10, 10);
  outer->add(knob);
  auto* inner = manager->create<QW::Group>();
  outer->add(inner);
  auto* nested = knobAt(100, 100);
  inner->add(nested);

  outer->setVisible(false);
  EXPECT_FALSE(knob->isVisible());
  EXPECT_FALSE(inner->isVisible());
  EXPECT_FALSE(nested->isVisible());
  EXPECT_EQ(manager->root()->hitTest({15, 15}), nullptr);
  EXPECT_EQ(manager->root()->hitTest({105, 105}), nullptr);
  // Hover tracking does not find it either.
  manager->mouseMoved({15, 15});
  EXPECT_EQ(manager->hoverElement(), nullptr);

  // A child added now takes the group's visibility.
  auto* late = knobAt(200, 200);
  outer->add(late);
  EXPECT_FALSE(late->isVisible());

  outer->setVisible(true);
  EXPECT_TRUE(nested->isVisible());
  EXPECT_EQ(manager->root()->hitTest({105, 105}), nested);
}

TEST_F(GroupTest, NamedGroupBoundsIncludeItsMargins) {
  auto* plain = manager->create<QW::NamedGroup>("Ten");
  auto* four = manager->create<QW::NamedGroup>("Four", QW::NamedGroup::Margins{4, 4, 4, 4});
  auto* uneven = manager->create<QW::NamedGroup>("Uneven", QW::NamedGroup::Margins{1, 2, 0, 0});
  for (QW::NamedGroup* g : {plain, four, uneven}) {
    g->setPosition(100, 50);
    g->add(knobAt(10, 10));
  }
  expectBox(plain->groupBounds(), 100, 50, 140, 90);
  expectBox(four->groupBounds(), 106, 56, 134, 84);
  // Margins are top, bottom, left, right.
  expectBox(uneven->groupBounds(), 110, 58, 130, 81);

  // The same box is what an enclosing group sees.
  QW::Bounds seen;
  four->extendBounds(seen);
  expectBox(seen, 106, 56, 134, 84);

  // An empty group stays empty, margins or not.
  auto* empty = manager->create<QW::NamedGroup>("Empty");
  EXPECT_TRUE(empty->groupBounds().empty());
}

TEST_F(GroupTest, NamedGroupOutlineLeavesAGapForTheTitle) {
  auto* g = manager->create<QW::NamedGroup>("Four", QW::NamedGroup::Margins{4, 4, 4, 4});
  g->setPosition(100, 50);
  g->add(knobAt(10, 10));
  g->prepareRendering();
  // No main font here: no title run and a gap of nothing.
  EXPECT_EQ(g->titleRun(), -1);
  const QW::Point* o = g->outline();
  const float expected[6][2] = {{116, 84}, {106, 84}, {106, 56}, {134, 56}, {134, 84}, {116, 84}};
  for (int i = 0; i < QW::NamedGroup::kOutlinePoints; ++i) {
    EXPECT_FLOAT_EQ(o[i].x, expected[i][0]) << i;
    EXPECT_FLOAT_EQ(o[i].y, expected[i][1]) << i;
  }
}

TEST_F(GroupTest, NamedGroupColourMovesTowardsTheHoverColour) {
  const QW::Colour inactive = QW::SharedStyle::groupInactiveColour();
  const QW::Colour active = QW::SharedStyle::groupActiveColour();
  auto* g = manager->create<QW::NamedGroup>("View");
  manager->root()->add(g);
  g->add(knobAt(10, 10));
  EXPECT_FLOAT_EQ(g->currentColour().b, inactive.b);

  // Over the margin, not over the knob: hover tracking finds the group.
  manager->mouseMoved({5, 5});
  EXPECT_EQ(manager->hoverElement(), g);
  EXPECT_FLOAT_EQ(g->targetColour().b, active.b);
  g->animate();
  EXPECT_FLOAT_EQ(g->currentColour().b, 0.85f * inactive.b + 0.15f * active.b);
  for (int i = 0; i < 200; ++i) g->animate();
  EXPECT_NEAR(g->currentColour().a, active.a, 1e-4f);

  manager->mouseMoved({500, 400});
  EXPECT_EQ(manager->hoverElement(), nullptr);
  EXPECT_FLOAT_EQ(g->targetColour().b, inactive.b);
}

}  // namespace
