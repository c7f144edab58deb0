#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gui/Texture.h"
#include "gui/TexturedMeters.h"

namespace {

TEST(Meters, BarHeightIsTheClampedLevel) {
  QW::TexturedMeters meters(nullptr, nullptr, 123.0f, 0.0f, 5.0f, 81.0f);
  EXPECT_FLOAT_EQ(meters.barHeight(0.0f), 0.0f);
  EXPECT_FLOAT_EQ(meters.barHeight(0.5f), 40.5f);
  EXPECT_FLOAT_EQ(meters.barHeight(1.0f), 81.0f);
  EXPECT_FLOAT_EQ(meters.barHeight(7.0f), 81.0f);
  EXPECT_FLOAT_EQ(meters.barHeight(std::numeric_limits<float>::infinity()), 81.0f);
  EXPECT_FLOAT_EQ(meters.barHeight(-0.3f), 0.0f);
  EXPECT_FLOAT_EQ(meters.barHeight(-std::numeric_limits<float>::infinity()), 0.0f);
  EXPECT_FLOAT_EQ(meters.barHeight(std::numeric_limits<float>::quiet_NaN()), 0.0f);
}

TEST(Meters, BarUncoversTheStripFromItsLowerEnd) {
  QW::Texture atlas;
  atlas.width = 128;
  atlas.height = 128;
  QW::TexturedMeters meters(nullptr, &atlas, 123.0f, 0.0f, 5.0f, 81.0f);
  float levels[4] = {0.25f, 2.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()};
  meters.addMeter(100.0f, 10.0f, &levels[0]);
  meters.addMeter(106.0f, 10.0f, &levels[1]);
  meters.addMeter(116.0f, 10.0f, &levels[2]);
  meters.addMeter(122.0f, 10.0f, &levels[3]);
  ASSERT_EQ(meters.meterCount(), 4u);

  const QW::TexturedMeters::Bar quarter = meters.bar(0);
  EXPECT_FLOAT_EQ(quarter.x0, 100.0f);
  EXPECT_FLOAT_EQ(quarter.x1, 105.0f);
  EXPECT_FLOAT_EQ(quarter.y0, 10.0f);
  EXPECT_FLOAT_EQ(quarter.y1, 10.0f + 20.25f);
  EXPECT_FLOAT_EQ(quarter.s0, 123.0f / 128.0f);
  EXPECT_FLOAT_EQ(quarter.s1, 128.0f / 128.0f);
  // The bottom of the bar shows the strip's lower end; its top as much
  // above it as the bar is high.
  EXPECT_FLOAT_EQ(quarter.tBottom, 81.0f / 128.0f);
  EXPECT_FLOAT_EQ(quarter.tTop, (81.0f - 20.25f) / 128.0f);

  const QW::TexturedMeters::Bar full = meters.bar(1);
  EXPECT_FLOAT_EQ(full.y1, 10.0f + 81.0f);
  EXPECT_FLOAT_EQ(full.tTop, 0.0f);
  EXPECT_FLOAT_EQ(full.tBottom, 81.0f / 128.0f);

  for (size_t i : {2u, 3u}) {
    const QW::TexturedMeters::Bar none = meters.bar(i);
    EXPECT_FLOAT_EQ(none.y1, none.y0) << i;
    EXPECT_FLOAT_EQ(none.tTop, none.tBottom) << i;
  }

  // The level is read when the bar is asked for, as the audio thread moves it.
  levels[2] = 0.5f;
  EXPECT_FLOAT_EQ(meters.bar(2).y1, 10.0f + 40.5f);
}

TEST(Meters, UnloadedTextureGivesFiniteCoordinates) {
  QW::Texture missing;
  QW::TexturedMeters meters(nullptr, &missing, 123.0f, 0.0f, 5.0f, 81.0f);
  float level = 0.5f;
  meters.addMeter(0.0f, 0.0f, &level);
  const QW::TexturedMeters::Bar bar = meters.bar(0);
  EXPECT_TRUE(std::isfinite(bar.s0) && std::isfinite(bar.s1));
  EXPECT_TRUE(std::isfinite(bar.tTop) && std::isfinite(bar.tBottom));
  EXPECT_FLOAT_EQ(bar.y1, 40.5f);
}

}  // namespace
