#include <gtest/gtest.h>

#include <cmath>

#include "dsp/DenormalGuard.h"

namespace {

// Kept out of the optimiser's reach so the products happen at run time.
volatile float gTiny = 1e-30f;
volatile float gScale = 1e-10f;
volatile float gDenormal = 1e-40f;

float product() {
  return gTiny * gScale;
}
float denormalTimesOne() {
  return gDenormal * 1.0f;
}

TEST(DenormalGuard, FlushesResultsAndOperandsOnlyWhileAlive) {
  ASSERT_EQ(std::fpclassify(product()), FP_SUBNORMAL);
  {
    const DenormalGuard guard;
    EXPECT_EQ(product(), 0.0f);
    EXPECT_EQ(denormalTimesOne(), 0.0f);
  }
  EXPECT_EQ(std::fpclassify(product()), FP_SUBNORMAL);
  EXPECT_EQ(std::fpclassify(denormalTimesOne()), FP_SUBNORMAL);
}

TEST(DenormalGuard, NestedGuardsRestoreInOrder) {
  {
    const DenormalGuard outer;
    {
      const DenormalGuard inner;
      EXPECT_EQ(product(), 0.0f);
    }
    EXPECT_EQ(product(), 0.0f);  // the outer one still holds
  }
  EXPECT_EQ(std::fpclassify(product()), FP_SUBNORMAL);
}

#if defined(VELDRANA_DENORMAL_GUARD_SSE)
TEST(DenormalGuard, RestoresTheCallersExactControlWord) {
  const unsigned original = _mm_getcsr();
  // A host may run with its own rounding mode and masks; they must survive.
  const unsigned hostMode = (original & ~0x6000u) | 0x2000u;  // round down
  _mm_setcsr(hostMode);
  {
    const DenormalGuard guard;
    EXPECT_EQ(_mm_getcsr() & 0x6000u, 0x2000u);
    EXPECT_EQ(_mm_getcsr() & DenormalGuard::kFlushBits, DenormalGuard::kFlushBits);
  }
  EXPECT_EQ(_mm_getcsr(), hostMode);
  _mm_setcsr(original);
}
#endif

}  // namespace
