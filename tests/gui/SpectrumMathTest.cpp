#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "gui/SpectrumMath.h"

namespace {

using QW::Bounds;
using QW::Point;
namespace sp = QW::spectrum;

constexpr int kSize32 = 0;
constexpr int kSize1024 = 5;
constexpr int kSize4096 = 7;

const sp::Axis kLinear32{false, kSize32};
const sp::Axis kLinear4096{false, kSize4096};
const sp::Axis kLog32{true, kSize32};
const sp::Axis kLog4096{true, kSize4096};

// A box whose width is 100 pixels per natural-log unit on the log axis.
const double kLnWidth = std::log(2051.0);
Bounds logBox() {
  return Bounds::fromRect(0.0f, 0.0f, static_cast<float>(100.0 * kLnWidth), 100.0f);
}

float logX(double lnPosition) {
  return static_cast<float>(100.0 * lnPosition);
}

TEST(SpectrumMath, LinearAxisSpreadsTheBinsOfTheFrameOverTheFullWidth) {
  // 32 points: 17 bins of 10 pixels each.
  const Bounds box = Bounds::fromRect(0.0f, 0.0f, 170.0f, 100.0f);
  const std::pair<float, int> narrow[] = {{0.0f, 0},    {9.9f, 0},   {10.1f, 1},   {165.0f, 16},
                                          {170.0f, 16}, {-50.0f, 0}, {5000.0f, 16}};
  for (const auto& [x, bin] : narrow)
    EXPECT_EQ(sp::pointToBin({x, 10.0f}, box, kLinear32).bin, bin) << x;
  // 4096 points: 2049 bins of one pixel.
  const Bounds wide = Bounds::fromRect(0.0f, 0.0f, 2049.0f, 100.0f);
  const std::pair<float, int> fine[] = {
      {0.5f, 0}, {1000.5f, 1000}, {2048.5f, 2048}, {2049.0f, 2048}};
  for (const auto& [x, bin] : fine)
    EXPECT_EQ(sp::pointToBin({x, 10.0f}, wide, kLinear4096).bin, bin) << x;
}

TEST(SpectrumMath, LogAxisUsesThePositionsOfTheLargestFrame) {
  const Bounds box = logBox();
  // Bin 0 ends at ln 2 for every size.
  EXPECT_EQ(sp::pointToBin({logX(std::log(2.0)) - 1.0f, 10.0f}, box, kLog32).bin, 0);
  EXPECT_EQ(sp::pointToBin({logX(std::log(2.0)) - 1.0f, 10.0f}, box, kLog4096).bin, 0);
  // At 32 points bin k spans ln(128 (k - 1) + 2) ... ln(128 k + 2).
  for (int k = 1; k <= 16; ++k) {
    const double left = std::log(128.0 * (k - 1) + 2.0);
    const double right = std::log(128.0 * k + 2.0);
    EXPECT_EQ(sp::pointToBin({logX(0.5 * (left + right)), 10.0f}, box, kLog32).bin, k) << k;
  }
  // The last bin ends at ln 2050; the rest of the width still reads it.
  EXPECT_EQ(sp::pointToBin({box.maxX - 0.01f, 10.0f}, box, kLog32).bin, 16);
  EXPECT_EQ(sp::pointToBin({box.maxX + 50.0f, 10.0f}, box, kLog32).bin, 16);
  // At 4096 points bin k spans ln(k + 1) ... ln(k + 2).
  for (int k : {1, 2, 10, 100, 1000, 2000}) {
    const double middle = 0.5 * (std::log(k + 1.0) + std::log(k + 2.0));
    EXPECT_EQ(sp::pointToBin({logX(middle), 10.0f}, box, kLog4096).bin, k) << k;
  }
  EXPECT_EQ(sp::pointToBin({box.maxX, 10.0f}, box, kLog4096).bin, 2048);
  EXPECT_EQ(sp::pointToBin({-10.0f, 10.0f}, box, kLog4096).bin, 0);
}

TEST(SpectrumMath, LevelComesFromTheLowerHalfOnly) {
  const Bounds box = Bounds::fromRect(10.0f, 20.0f, 100.0f, 200.0f);
  const sp::Axis axis{false, kSize1024};
  const std::pair<float, float> levels[] = {{20.0f, 0.0f},  {45.0f, 0.25f},  {120.0f, 1.0f},
                                            {190.0f, 1.0f}, {5000.0f, 1.0f}, {-5000.0f, 0.0f}};
  for (const auto& [y, level] : levels)
    EXPECT_FLOAT_EQ(sp::pointToBin({50.0f, y}, box, axis).level, level) << y;
}

TEST(SpectrumMath, RegionsAreTheBinColumnsOfTheBox) {
  const Bounds box = Bounds::fromRect(10.0f, 20.0f, 170.0f, 100.0f);
  const Bounds third = sp::regionBounds(box, 3, kLinear32);
  EXPECT_FLOAT_EQ(third.minX, 40.0f);
  EXPECT_FLOAT_EQ(third.maxX, 50.0f);
  EXPECT_FLOAT_EQ(third.minY, 20.0f);
  EXPECT_FLOAT_EQ(third.maxY, 120.0f);

  const Bounds wide = logBox();
  const float scale = wide.width() / static_cast<float>(kLnWidth);
  const Bounds first = sp::regionBounds(wide, 0, kLog32);
  EXPECT_FLOAT_EQ(first.minX, 0.0f);
  EXPECT_NEAR(first.maxX, std::log(2.0) * scale, 1e-3);
  const Bounds last = sp::regionBounds(wide, 16, kLog32);
  EXPECT_NEAR(last.minX, std::log(128.0 * 15 + 2.0) * scale, 1e-3);
  EXPECT_NEAR(last.maxX, std::log(2050.0) * scale, 1e-3);
  EXPECT_LT(last.maxX, wide.maxX);

  // Columns tile the box and each holds the points that map to its bin.
  for (const sp::Axis axis : {kLinear32, kLog32, kLog4096}) {
    const int bins = sp::binCount(axis.sizeIndex);
    for (int k = 0; k < bins; k += (bins > 100 ? 97 : 1)) {
      const Bounds column = sp::regionBounds(wide, k, axis);
      if (k + 1 < bins) {
        EXPECT_FLOAT_EQ(column.maxX, sp::regionBounds(wide, k + 1, axis).minX);
      }
      const Point centre{column.centreX(), 10.0f};
      EXPECT_EQ(sp::pointToBin(centre, wide, axis).bin, k) << k;
    }
  }
}

TEST(SpectrumMath, DecibelsUseNaturalLogarithms) {
  const int n = 64;
  std::vector<float> packed(n, 0.0f);
  packed[3] = 32.0f;        // |X| = N / 2
  packed[32 + 5] = 3.2f;    // ten times weaker, in the imaginary slot
  packed[32] = 3.2f;        // Nyquist: real only
  packed[32 + 7] = -32.0f;  // sign does not matter
  EXPECT_NEAR(sp::binDecibels(packed.data(), n, 3, -160.0f), 0.0f, 1e-4);
  EXPECT_NEAR(sp::binDecibels(packed.data(), n, 5, -160.0f), -46.0517f, 1e-3);
  EXPECT_NEAR(sp::binDecibels(packed.data(), n, 32, -160.0f), -46.0517f, 1e-3);
  EXPECT_NEAR(sp::binDecibels(packed.data(), n, 7, -160.0f), 0.0f, 1e-4);
  // Bin 0 has no imaginary part: the Nyquist value beside it is not its own.
  EXPECT_FLOAT_EQ(sp::binDecibels(packed.data(), n, 0, -160.0f), -160.0f);
  // Exactly no energy is the minimum, not minus infinity.
  EXPECT_FLOAT_EQ(sp::binDecibels(packed.data(), n, 9, -123.0f), -123.0f);
}

TEST(SpectrumMath, LinearValuesAreMagnitudesScaledByTwoOverN) {
  const int n = 64;
  std::vector<float> packed(n, 0.0f);
  packed[0] = -16.0f;
  packed[3] = 32.0f;
  packed[5] = 3.0f;
  packed[32 + 5] = 4.0f;
  packed[32] = 8.0f;
  EXPECT_FLOAT_EQ(sp::binLinear(packed.data(), n, 0), 0.5f);
  EXPECT_FLOAT_EQ(sp::binLinear(packed.data(), n, 3), 1.0f);
  EXPECT_FLOAT_EQ(sp::binLinear(packed.data(), n, 5), 5.0f * 2.0f / 64.0f);
  EXPECT_FLOAT_EQ(sp::binLinear(packed.data(), n, 32), 0.25f);
  EXPECT_FLOAT_EQ(sp::binLinear(packed.data(), n, 9), 0.0f);
}

TEST(SpectrumMath, SmoothingFollowsTheTimeAndClampsTheResult) {
  EXPECT_NEAR(sp::smoothingCoefficient(500.0f), 0.707f, 1e-3);
  EXPECT_NEAR(sp::smoothingCoefficient(2000.0f), 0.917f, 1e-3);
  EXPECT_FLOAT_EQ(sp::smoothingCoefficient(0.0f), 0.0f);
  EXPECT_FLOAT_EQ(sp::smoothingCoefficient(-10.0f), 0.0f);
  EXPECT_FLOAT_EQ(sp::smoothingCoefficient(std::numeric_limits<float>::quiet_NaN()), 0.0f);

  // Without smoothing the new value is drawn as it is.
  EXPECT_FLOAT_EQ(sp::smoothedValue(-40.0f, -100.0f, 0.0f, -160.0f, 0.0f), -40.0f);
  EXPECT_FLOAT_EQ(sp::smoothedValue(-40.0f, -100.0f, 0.5f, -160.0f, 0.0f), -70.0f);
  EXPECT_FLOAT_EQ(sp::smoothedValue(30.0f, 0.0f, 0.0f, -160.0f, 0.0f), 0.0f);
  EXPECT_FLOAT_EQ(sp::smoothedValue(-500.0f, -160.0f, 0.0f, -160.0f, 0.0f), -160.0f);
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_FLOAT_EQ(sp::smoothedValue(std::nanf(""), -50.0f, 0.7f, -160.0f, 0.0f), -160.0f);
  EXPECT_FLOAT_EQ(sp::smoothedValue(-inf, -50.0f, 0.0f, -160.0f, 0.0f), -160.0f);
  EXPECT_FLOAT_EQ(sp::smoothedValue(inf, -50.0f, 0.7f, -160.0f, 0.0f), -160.0f);
}

std::vector<std::pair<int, float>> dragged(int lastBin, float lastLevel, int bin, float level) {
  std::vector<std::pair<int, float>> out;
  sp::forEachDraggedBin(lastBin, lastLevel, bin, level,
                        [&out](int j, float l) { out.emplace_back(j, l); });
  return out;
}

TEST(SpectrumMath, DragStepDrawsAStraightLineOverTheSkippedBins) {
  // Leftwards: the bins up to, not including, the last one.
  const auto left = dragged(10, 0.2f, 5, 0.7f);
  ASSERT_EQ(left.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(left[i].first, 5 + i);
    EXPECT_NEAR(left[i].second, 0.7f - 0.1f * i, 1e-6);
  }
  // Rightwards: both ends.
  const auto right = dragged(5, 0.2f, 10, 0.7f);
  ASSERT_EQ(right.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(right[i].first, 5 + i);
    EXPECT_NEAR(right[i].second, 0.2f + 0.1f * i, 1e-6);
  }
  // In place: the one bin takes the new level.
  const auto still = dragged(7, 0.2f, 7, 0.9f);
  ASSERT_EQ(still.size(), 1u);
  EXPECT_EQ(still[0].first, 7);
  EXPECT_FLOAT_EQ(still[0].second, 0.9f);
}

TEST(SpectrumMath, OnlySpansClearOfEveryPixelCentreAreSkipped) {
  // Centres sit at n + 0.5; close to one counts as covering it, as snapping
  // may move the edge.
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double from, to;
    bool covers;
  } cases[] = {{10.6, 11.4, false},      {11.4, 10.6, false}, {-0.4, 0.4, false},
               {10.2, 10.7, true},       {10.0, 20.0, true},  {10.51, 11.0, true},
               {11.0, 11.49, true},      {-0.6, -0.4, true},  {0.6, inf, true},
               {std::nan(""), 0.7, true}};
  for (const auto& c : cases)
    EXPECT_EQ(sp::mayCoverPixelCentre(c.from, c.to), c.covers) << c.from << " " << c.to;
}

}  // namespace
