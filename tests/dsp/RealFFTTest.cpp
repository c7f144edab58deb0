#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <vector>

#include "dsp/RealFFT.h"
#include "dsp/RealFFTInternal.h"

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

std::vector<float> randomValues(int32_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  std::vector<float> x(static_cast<size_t>(n));
  for (float& v : x) v = dist(rng);
  return x;
}

// The packed spectrum straight from its definition, in double precision:
// re[0..N/2], then Σ x[t]·sin(2πkt/N) for k = 1..N/2-1. The inverse is
// unnormalised.
std::vector<double> dft(const std::vector<float>& in, bool forward) {
  const int32_t n = static_cast<int32_t>(in.size());
  std::vector<double> out(in.size()), c(in.size()), s(in.size());
  for (int32_t m = 0; m < n; ++m) c[m] = std::cos(kTwoPi * m / n), s[m] = std::sin(kTwoPi * m / n);
  if (n == 1) return {in[0]};
  for (int32_t a = 0; a < n; ++a) {
    if (forward && a > n / 2) break;
    double re = 0.0, im = 0.0;
    for (int32_t b = 0; b < n; ++b) {
      const size_t m = static_cast<size_t>((int64_t{a} * b) % n);
      if (forward) {
        re += in[b] * c[m], im += in[b] * s[m];
      } else if (b == 0 || b == n / 2) {
        re += (b == 0 || a % 2 == 0 ? 1.0 : -1.0) * in[b];
      } else if (b < n / 2) {
        re += 2.0 * (in[b] * c[m] + in[n / 2 + b] * s[m]);
      }
    }
    out[a] = re;
    if (forward && a >= 1 && a < n / 2) out[n / 2 + a] = im;
  }
  return out;
}

// Every instruction set, both directions, every size: the result matches the
// definition to within rounding, leaves its input alone, ignores stale output
// and scratch, and is bit-identical to the scalar code and to the public call.
TEST(RealFFT, EveryPathMatchesTheDefinitionAtEverySize) {
  for (int32_t n = 1; n <= 4096; n *= 2) {
    RealFFT fft(n);
    for (const bool forward : {true, false}) {
      const std::vector<float> in = randomValues(n, static_cast<uint32_t>(n) + forward);
      const std::vector<double> expected = dft(in, forward);
      double l1 = 0.0;
      for (const float v : in) l1 += std::fabs(v);
      const double tolerance = 4.0 * FLT_EPSILON * (std::log2(n) + 1.0) * l1;
      std::vector<float> scalar, viaObject(in.size());
      forward ? fft.forward(viaObject.data(), in.data()) : fft.inverse(in.data(), viaObject.data());
      for (const RealFFTIsa isa : {RealFFTIsa::kScalar, RealFFTIsa::kSse2, RealFFTIsa::kAvx2}) {
        if (!RealFFTKernels::supported(isa)) continue;
        const std::vector<float> before = in;
        std::vector<float> out(in.size(), std::numeric_limits<float>::quiet_NaN()), scratch = out;
        if (forward)
          RealFFTKernels::forward(isa, fft, out.data(), in.data(), scratch.data());
        else
          RealFFTKernels::inverse(isa, fft, in.data(), out.data(), scratch.data());
        ASSERT_EQ(in, before);
        for (int32_t k = 0; k < n; ++k)
          ASSERT_NEAR(out[k], expected[k], tolerance)
              << "N " << n << (forward ? " forward" : " inverse") << " isa " << int(isa) << " k "
              << k;
        if (scalar.empty()) scalar = out;
        ASSERT_EQ(std::memcmp(out.data(), scalar.data(), out.size() * sizeof(float)), 0) << n;
      }
      EXPECT_EQ(std::memcmp(viaObject.data(), scalar.data(), scalar.size() * sizeof(float)), 0);
    }
  }
}

TEST(RealFFT, RejectsSizesThatAreNotPowersOfTwo) {
  for (const int32_t n : {0, -8, 12, 4095})
    EXPECT_THROW(RealFFT fft(n), std::invalid_argument) << n;
}

}  // namespace
