#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "gui/FramePart.h"

namespace {

using QW::Bounds;
using QW::ChangedParts;
using QW::PixelRect;
using QW::redrawnPixels;

TEST(FramePart, DesignBoxesBecomeTheWindowPixelsThatHoldThem) {
  const float nan = std::nanf("");
  // A 128 x 64 design: power-of-two sizes keep the scales exact in floats.
  const float xScale = 2.0f / 128;
  const float yScale = 2.0f / 64;
  const struct {
    const char* what;
    Bounds box;
    float ySign;
    QW::Size pixels;
    int margin;
    PixelRect expected;
  } cases[] = {
      {"design size", {10, 20, 0, 30, 50, 0}, 1, {128, 64}, 0, {10, 20, 20, 30}},
      {"widened", {10, 20, 0, 30, 50, 0}, 1, {128, 64}, 2, {8, 18, 24, 34}},
      {"outwards", {10.5f, 20.2f, 0, 29.1f, 49.9f, 0}, 1, {128, 64}, 0, {10, 20, 20, 30}},
      // A window twice the design's size holds a box in twice the pixels.
      {"scaled window", {10, 20, 0, 30, 50, 0}, 1, {256, 128}, 0, {20, 40, 40, 60}},
      {"clipped at the edges", {-5, 50, 0, 20, 90, 0}, 1, {128, 64}, 2, {0, 48, 22, 16}},
      {"flipped axis", {10, 20, 0, 30, 50, 0}, -1, {128, 64}, 0, {}},
      {"outside", {200, 20, 0, 300, 50, 0}, 1, {128, 64}, 2, {}},
      {"empty box", Bounds{}, 1, {128, 64}, 2, {}},
      {"not a number", {nan, 20, 0, 30, 50, 0}, 1, {128, 64}, 2, {}},
      {"huge", {-1e30f, -1e30f, 0, 1e30f, 1e30f, 0}, 1, {128, 64}, 0, {0, 0, 128, 64}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const PixelRect r = redrawnPixels(c.box, xScale, c.ySign * yScale, c.pixels, c.margin);
    const auto fields = [](const PixelRect& p) {
      return p.empty() ? std::vector<int>{} : std::vector<int>{p.x, p.y, p.width, p.height};
    };
    EXPECT_EQ(fields(r), fields(c.expected));
  }
}

Bounds box(float x0, float y0, float x1, float y1) {
  return {x0, y0, 0.0f, x1, y1, 0.0f};
}

TEST(FramePart, ChangedBoxesMergeOnlyWhenTheyMeet) {
  const struct {
    const char* what;
    std::vector<Bounds> added;
    std::vector<Bounds> expected;  // in any order
  } cases[] = {
      {"apart",
       {box(0, 0, 10, 10), box(100, 100, 110, 110)},
       {box(0, 0, 10, 10), box(100, 100, 110, 110)}},
      {"overlapping", {box(0, 0, 10, 10), box(5, 5, 20, 20)}, {box(0, 0, 20, 20)}},
      {"within the gap", {box(0, 0, 10, 10), box(13, 0, 20, 10)}, {box(0, 0, 20, 10)}},
      {"beyond the gap",
       {box(0, 0, 10, 10), box(15, 0, 20, 10)},
       {box(0, 0, 10, 10), box(15, 0, 20, 10)}},
      // The third joins the first two, which then meet each other.
      {"a bridge", {box(0, 0, 10, 10), box(30, 0, 40, 10), box(8, 0, 32, 10)}, {box(0, 0, 40, 10)}},
      {"the same twice", {box(0, 0, 10, 10), box(0, 0, 10, 10)}, {box(0, 0, 10, 10)}},
      {"empty ignored", {Bounds{}, box(0, 0, 10, 10)}, {box(0, 0, 10, 10)}},
      {"one too many",
       {box(0, 0, 1, 1), box(100, 0, 101, 1), box(200, 0, 201, 1), box(300, 0, 301, 1),
        box(400, 0, 401, 1)},
       {box(0, 0, 401, 1)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ChangedParts parts;
    for (const Bounds& b : c.added) parts.add(b);
    ASSERT_EQ(parts.size(), static_cast<int>(c.expected.size()));
    for (const Bounds& want : c.expected) {
      int found = 0;
      for (int i = 0; i < parts.size(); ++i) {
        const Bounds& got = parts[i];
        found += got.minX == want.minX && got.minY == want.minY && got.maxX == want.maxX &&
                 got.maxY == want.maxY;
      }
      EXPECT_EQ(found, 1) << "box at " << want.minX << "," << want.minY;
    }
    parts.clear();
    EXPECT_TRUE(parts.empty());
  }
}

}  // namespace
