#include <gtest/gtest.h>

#include "gui/ViewGeometry.h"

namespace {

using QW::Size;

TEST(ViewGeometry, ConstantsForTheDesignSize) {
  const auto g = QW::ViewGeometry::compute({1024, 512});
  EXPECT_FLOAT_EQ(g.aspect, 2.0f);
  EXPECT_FLOAT_EQ(g.xScale, 2.0f / 1024);
  EXPECT_FLOAT_EQ(g.yScale, 2.0f / 512);
  EXPECT_FLOAT_EQ(g.eyeX, 512.0f);
  EXPECT_FLOAT_EQ(g.eyeY, 256.0f);
  // One unit at z = 0 is one pixel: half the height subtends half the field.
  EXPECT_NEAR(256.0f / g.eyeDistance, 0.63707024f, 1e-6f);
  EXPECT_EQ(g.rect.top, 0);
  EXPECT_EQ(g.rect.left, 0);
  EXPECT_EQ(g.rect.bottom, 512);
  EXPECT_EQ(g.rect.right, 1024);
}

TEST(ViewGeometry, LayoutRequestsAreKeptWithinTheLayerPicture) {
  EXPECT_EQ(QW::clampWindowSize({2000, 900}), (Size{1024, 512}));
  EXPECT_EQ(QW::clampWindowSize({640, 300}), (Size{640, 300}));
  EXPECT_EQ(QW::clampWindowSize({0, -5}), (Size{1, 1}));
}

TEST(ResizeCorner, OnlyTheBottomRightTriangle) {
  EXPECT_TRUE(QW::inResizeCorner({1023, 1}, 1024));
  EXPECT_TRUE(QW::inResizeCorner({1015, 6}, 1024));   // 1009 > 1008
  EXPECT_FALSE(QW::inResizeCorner({1015, 7}, 1024));  // 1008 is not
  EXPECT_FALSE(QW::inResizeCorner({0, 0}, 1024));
  EXPECT_FALSE(QW::inResizeCorner({1023, 511}, 1024));
}

// The side the drag moves more drives, the aspect stays, and neither side
// leaves the layer picture: an aspect that overruns the other side is cut
// back.
TEST(ResizeDrag, DrivingSideFollowsThePointerWithinTheLayerPicture) {
  const struct {
    float dx, dy;
    Size start;
    float aspect;
    Size expected;
  } cases[] = {{-200, 10, {1024, 512}, 2, {824, 412}}, {300, 0, {1024, 512}, 2, {1024, 512}},
               {5, -112, {1024, 512}, 2, {800, 400}},  {0, 400, {600, 300}, 2, {1024, 512}},
               {600, 0, {400, 400}, 1, {512, 512}},    {0, 300, {1000, 250}, 4, {1024, 256}}};
  for (const auto& c : cases)
    EXPECT_EQ(QW::resizeForDrag(c.dx, c.dy, c.start, c.aspect), c.expected) << c.dx << "," << c.dy;
  const Size s = QW::resizeForDrag(-5000, 0, {1024, 512}, 2.0f);
  EXPECT_GE(s.width, QW::kMinWindowSide);
  EXPECT_GE(s.height, 1);
  EXPECT_GE(QW::resizeForDrag(0, -5000, {1024, 512}, 2.0f).height, QW::kMinWindowSide);
}

// Points of a resized window land where they would in the design; the
// pixel size follows the window per axis.
TEST(DesignCoordinates, PointsAndPixelSizeFollowTheWindow) {
  const QW::Point half = QW::toDesignCoordinates({256, 128}, {512, 256}, {1024, 512});
  EXPECT_FLOAT_EQ(half.x, 512.0f);
  EXPECT_FLOAT_EQ(half.y, 256.0f);
  const QW::Point same = QW::toDesignCoordinates({3.5f, 7.25f}, {1024, 512}, {1024, 512});
  EXPECT_EQ(same.x, 3.5f);
  EXPECT_EQ(same.y, 7.25f);
  EXPECT_EQ(QW::scaledPixelSize({2048, 1024}, {512, 256}, {1024, 512}), (Size{1024, 512}));
  EXPECT_EQ(QW::scaledPixelSize({1024, 512}, {1023, 511}, {1024, 512}), (Size{1023, 511}));
}

}  // namespace
