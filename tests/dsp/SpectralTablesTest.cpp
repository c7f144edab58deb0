#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/SpectralTables.h"

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

bool aligned16(const void* p) {
  return reinterpret_cast<uintptr_t>(p) % 16 == 0;
}

TEST(SpectralTables, AttachGivesEveryContextSlotItsSizeSmallestFirst) {
  const SpectralTables tables;
  SpectralContext context;
  tables.attach(context);
  for (int k = 0; k < kFftSizeCount; ++k) {
    ASSERT_NE(context.ffts[k], nullptr);
    EXPECT_EQ(context.ffts[k]->size(), 32 << k);
    EXPECT_EQ(context.ffts[k], &tables.fft(k));
    EXPECT_EQ(context.windows[k], tables.window(k));
    EXPECT_TRUE(aligned16(context.windows[k])) << k;
  }
}

TEST(SpectralTables, WindowsAreRootHannOverNMinusOne) {
  const SpectralTables tables;
  for (int k = 0; k < kFftSizeCount; ++k) {
    const int n = 32 << k;
    const float* w = tables.window(k);
    const double theta = kTwoPi / (n - 1);
    for (int i = 0; i < n; ++i) {
      const double expected = std::sqrt(0.5 - 0.5 * std::cos(i * theta));
      // Near the ends the single-precision cosine dominates the error.
      ASSERT_NEAR(w[i], expected, 2e-4 * (1.0 - expected) + 1e-6) << "N = " << n << ", i " << i;
    }
    EXPECT_EQ(w[0], 0.0f);
    EXPECT_LT(w[n - 1], 1e-3f);
  }
}

}  // namespace
