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
  const std::pair<float, int> narrow[] = {{9.9f, 0},    {10.1f, 1},  {165.0f, 16},
                                          {170.0f, 16}, {-50.0f, 0}, {5000.0f, 16}};
  for (const auto& [x, bin] : narrow)
    EXPECT_EQ(sp::pointToBin({x, 10.0f}, box, kLinear32).bin, bin) << x;
}

TEST(SpectrumMath, LogAxisUsesThePositionsOfTheLargestFrame) {
  const Bounds box = logBox();
  // Bin 0 ends at ln 2.
  EXPECT_EQ(sp::pointToBin({logX(std::log(2.0)) - 1.0f, 10.0f}, box, kLog32).bin, 0);
  // At 32 points bin k spans ln(128 (k - 1) + 2) ... ln(128 k + 2).
  for (int k = 1; k <= 16; ++k) {
    const double left = std::log(128.0 * (k - 1) + 2.0);
    const double right = std::log(128.0 * k + 2.0);
    EXPECT_EQ(sp::pointToBin({logX(0.5 * (left + right)), 10.0f}, box, kLog32).bin, k) << k;
  }
  // The last bin ends at ln 2050; the rest of the width still reads it.
  EXPECT_EQ(sp::pointToBin({box.maxX - 0.01f, 10.0f}, box, kLog32).bin, 16);
  // At 4096 points bin k spans ln(k + 1) ... ln(k + 2).
  for (int k : {1, 2, 10, 100, 1000, 2000}) {
    const double middle = 0.5 * (std::log(k + 1.0) + std::log(k + 2.0));
    EXPECT_EQ(sp::pointToBin({logX(middle), 10.0f}, box, kLog4096).bin, k) << k;
  }
  EXPECT_EQ(sp::pointToBin({box.maxX, 10.0f}, box, kLog4096).bin, 2048);
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
  EXPECT_EQ((std::vector<float>{third.minX, third.minY, third.maxX, third.maxY}),
            (std::vector<float>{40, 20, 50, 120}));
  // Columns tile the box and each holds the points that map to its bin.
  const Bounds wide = logBox();
  for (const sp::Axis axis : {kLinear32, kLog32, kLog4096}) {
    const int bins = sp::binCount(axis.sizeIndex);
    for (int k = 0; k < bins; k += (bins > 100 ? 97 : 1)) {
      const Bounds column = sp::regionBounds(wide, k, axis);
      if (k + 1 < bins) {
        EXPECT_FLOAT_EQ(column.maxX, sp::regionBounds(wide, k + 1, axis).minX);
      }
      EXPECT_EQ(sp::pointToBin({column.centreX(), 10.0f}, wide, axis).bin, k) << k;
    }
  }
  EXPECT_NEAR(sp::regionBounds(wide, 16, kLog32).maxX, logX(std::log(2050.0)), 1e-3);
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
  std::vector<float> packed(64, 0.0f);
  packed[0] = -16.0f;
  packed[5] = 3.0f;
  packed[32 + 5] = 4.0f;
  packed[32] = 8.0f;  // Nyquist
  const std::pair<int, float> cases[] = {{0, 0.5f}, {5, 5.0f * 2.0f / 64.0f}, {32, 0.25f}, {9, 0}};
  for (const auto& [bin, value] : cases)
    EXPECT_FLOAT_EQ(sp::binLinear(packed.data(), 64, bin), value) << bin;
}

TEST(SpectrumMath, SmoothingFollowsTheTimeAndClampsTheResult) {
  EXPECT_NEAR(sp::smoothingCoefficient(500.0f), 0.707f, 1e-3);
  EXPECT_NEAR(sp::smoothingCoefficient(2000.0f), 0.917f, 1e-3);
  for (const float ms : {0.0f, -10.0f, std::numeric_limits<float>::quiet_NaN()})
    EXPECT_FLOAT_EQ(sp::smoothingCoefficient(ms), 0.0f) << ms;
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float value, previous, coefficient, expected;
  } cases[] = {{-40, -100, 0, -40},   {-40, -100, 0.5f, -70},           {30, 0, 0, 0},
               {-500, -160, 0, -160}, {std::nanf(""), -50, 0.7f, -160}, {-inf, -50, 0, -160},
               {inf, -50, 0.7f, -160}};
  for (const auto& c : cases)
    EXPECT_FLOAT_EQ(sp::smoothedValue(c.value, c.previous, c.coefficient, -160.0f, 0.0f),
                    c.expected)
        << c.value;
}

std::vector<std::pair<int, float>> dragged(int lastBin, float lastLevel, int bin, float level) {
  std::vector<std::pair<int, float>> out;
  sp::forEachDraggedBin(lastBin, lastLevel, bin, level,
                        [&out](int j, float l) { out.emplace_back(j, l); });
  return out;
}

TEST(SpectrumMath, DragStepDrawsAStraightLineOverTheSkippedBins) {
  using Steps = std::vector<std::pair<int, float>>;
  // Leftwards the bins up to, not including, the last one; rightwards both
  // ends; in place the one bin takes the new level.
  const std::pair<Steps, Steps> cases[] = {
      {dragged(10, 0.2f, 5, 0.7f), {{5, 0.7f}, {6, 0.6f}, {7, 0.5f}, {8, 0.4f}, {9, 0.3f}}},
      {dragged(5, 0.2f, 8, 0.5f), {{5, 0.2f}, {6, 0.3f}, {7, 0.4f}, {8, 0.5f}}},
      {dragged(7, 0.2f, 7, 0.9f), {{7, 0.9f}}}};
  for (const auto& [got, expected] : cases) {
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].first, expected[i].first);
      EXPECT_NEAR(got[i].second, expected[i].second, 1e-6) << got[i].first;
    }
  }
}

}  // namespace
