#include <gtest/gtest.h>

#include <cmath>

#include "dsp/DenormalGuard.h"

namespace {

// Kept out of the optimiser's reach so the products happen at run time.
volatile float gTiny = 1e-30f;
volatile float gDenormal = 1e-40f;

bool flushing() {
  return gTiny * 1e-10f == 0.0f && gDenormal * 1.0f == 0.0f;
}

TEST(DenormalGuard, FlushesWhileAliveAndRestoresInOrder) {
  ASSERT_FALSE(flushing());
  {
    const DenormalGuard outer;
    {
      const DenormalGuard inner;
      EXPECT_TRUE(flushing());
    }
    EXPECT_TRUE(flushing());
  }
  EXPECT_FALSE(flushing());
}

#if defined(VELDRANA_DENORMAL_GUARD_SSE)
TEST(DenormalGuard, RestoresTheCallersExactControlWord) {
  const unsigned original = _mm_getcsr();
  const unsigned hostMode = (original & ~0x6000u) | 0x2000u;  // a host rounding down
  _mm_setcsr(hostMode);
  {
    const DenormalGuard guard;
    EXPECT_EQ(_mm_getcsr() & 0x6000u, 0x2000u);
  }
  EXPECT_EQ(_mm_getcsr(), hostMode);
  _mm_setcsr(original);
}
#endif

}  // namespace
