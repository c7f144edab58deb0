#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "dsp/RealFFT.h"
#include "dsp/RealFFTInternal.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<int32_t> allSizes() {
  std::vector<int32_t> sizes;
  for (int32_t n = 1; n <= 4096; n *= 2) sizes.push_back(n);
  return sizes;
}

std::vector<float> randomSignal(int32_t n, uint32_t seed, float amplitude = 1.0f) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-amplitude, amplitude);
  std::vector<float> x(static_cast<size_t>(n));
  for (float& v : x) v = dist(rng);
  return x;
}

// cos and sin of 2πm/N for m = 0..N-1; angles are reduced mod N before the
// lookup so they stay exact.
struct Twiddles {
  explicit Twiddles(int32_t n) : n(n), cos(static_cast<size_t>(n)), sin(static_cast<size_t>(n)) {
    for (int32_t m = 0; m < n; ++m) {
      cos[static_cast<size_t>(m)] = std::cos(2.0 * kPi * m / n);
      sin[static_cast<size_t>(m)] = std::sin(2.0 * kPi * m / n);
    }
  }
  size_t index(int32_t k, int32_t t) const { return static_cast<size_t>((int64_t{k} * t) % n); }

  int32_t n;
  std::vector<double> cos;
  std::vector<double> sin;
};

// The packed spectrum computed in double precision straight from its
// definition: real parts of bins 0..N/2, then Σ x[n]·sin(2πkn/N).
std::vector<double> referenceForward(const std::vector<float>& x) {
  const int32_t n = static_cast<int32_t>(x.size());
  const Twiddles tw(n);
  std::vector<double> f(x.size());
  for (int32_t k = 0; k <= n / 2; ++k) {
    double re = 0.0;
    double negIm = 0.0;
    for (int32_t t = 0; t < n; ++t) {
      re += x[static_cast<size_t>(t)] * tw.cos[tw.index(k, t)];
      negIm += x[static_cast<size_t>(t)] * tw.sin[tw.index(k, t)];
    }
    f[static_cast<size_t>(k)] = re;
    if (k >= 1 && k < n / 2) f[static_cast<size_t>(n / 2 + k)] = negIm;
  }
  return f;
}

std::vector<double> referenceInverse(const std::vector<float>& f) {
  const int32_t n = static_cast<int32_t>(f.size());
  std::vector<double> x(f.size());
  if (n == 1) {
    x[0] = f[0];
    return x;
  }
  const Twiddles tw(n);
  for (int32_t t = 0; t < n; ++t) {
    double sum = f[0] + (t % 2 == 0 ? 1.0 : -1.0) * f[static_cast<size_t>(n / 2)];
    for (int32_t k = 1; k < n / 2; ++k) {
      sum += 2.0 * (f[static_cast<size_t>(k)] * tw.cos[tw.index(k, t)] +
                    f[static_cast<size_t>(n / 2 + k)] * tw.sin[tw.index(k, t)]);
    }
    x[static_cast<size_t>(t)] = sum;
  }
  return x;
}

// Values spread over many octaves, so that any change in the order of the
// operations shows up in the rounding.
std::vector<float> wideRangeSignal(int32_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
  std::uniform_int_distribution<int> exponent(-20, 20);
  std::vector<float> x(static_cast<size_t>(n));
  for (float& v : x) v = std::ldexp(mantissa(rng), exponent(rng));
  return x;
}

double sumAbs(const std::vector<float>& v) {
  double s = 0.0;
  for (const float e : v) s += std::fabs(e);
  return s;
}

// Rounding error of a radix-2 transform grows with the number of passes and
// is bounded by the L1 norm of what goes in; a wrong twiddle or a misplaced
// element is off by the size of a whole term.
double transformTolerance(int32_t n, double l1) {
  const double passes = std::log2(static_cast<double>(n)) + 1.0;
  return 2.0 * FLT_EPSILON * passes * l1 + 1e-30;
}

bool sameBits(const float* a, const float* b, int32_t n) {
  return std::memcmp(a, b, sizeof(float) * static_cast<size_t>(n)) == 0;
}

std::string isaName(RealFFTIsa isa) {
  switch (isa) {
    case RealFFTIsa::kScalar:
      return "Scalar";
    case RealFFTIsa::kSse2:
      return "Sse2";
    case RealFFTIsa::kAvx2:
      return "Avx2";
  }
  return "Unknown";
}

// A buffer with a fenced margin on both sides, optionally starting one float
// past a 16-byte boundary, to catch writes outside [0, n) and to run the
// transforms on unaligned arrays.
class FencedBuffer {
 public:
  static constexpr size_t kFence = 16;
  static constexpr float kFenceValue = -12345.5f;

  FencedBuffer(int32_t n, bool unaligned)
      : n_(n), storage_(static_cast<size_t>(n) + 2 * kFence + 4, kFenceValue) {
    const auto address = reinterpret_cast<uintptr_t>(storage_.data() + kFence);
    size_t offset = kFence + (16 - address % 16) % 16 / sizeof(float);
    if (unaligned) offset += 1;
    data_ = storage_.data() + offset;
  }

  float* data() { return data_; }
  void fill(const std::vector<float>& values) {
    std::memcpy(data_, values.data(), sizeof(float) * values.size());
  }
  void fill(float value) {
    for (int32_t i = 0; i < n_; ++i) data_[i] = value;
  }
  bool fenceIntact() const {
    for (const float* p = storage_.data(); p < data_; ++p) {
      if (*p != kFenceValue) return false;
    }
    for (const float* p = data_ + n_; p < storage_.data() + storage_.size(); ++p) {
      if (*p != kFenceValue) return false;
    }
    return true;
  }

 private:
  int32_t n_;
  std::vector<float> storage_;
  float* data_;
};

TEST(RealFFTTables, RejectsSizesThatAreNotPowersOfTwo) {
  for (const int32_t n : {0, -1, -8, 3, 12, 100, 4095}) {
    EXPECT_THROW(RealFFT fft(n), std::invalid_argument) << "N = " << n;
  }
}

// The table's contents are proven by the transforms below; its size is what
// the allocation-free audio path relies on.
TEST(RealFFTTables, CosTableOnlyFromSixteenPoints) {
  for (const int32_t n : allSizes()) {
    const RealFFT fft(n);
    EXPECT_EQ(fft.cosTable() != nullptr, n >= 16) << "N = " << n;
    EXPECT_EQ(fft.cosTableSize(), n >= 16 ? n / 2 - 4 : 0) << "N = " << n;
  }
}

// (real parts of bins 0..N/2, then the negated imaginary parts) and the
// scaling (the inverse is not divided by N).

TEST(RealFFTForward, MatchesDoublePrecisionDftAtEverySizeAndLeavesItsInput) {
  for (const int32_t n : allSizes()) {
    RealFFT fft(n);
    for (const float amplitude : {1.0f, 1000.0f}) {
      const std::vector<float> x = randomSignal(n, 17u + static_cast<uint32_t>(n), amplitude);
      const std::vector<float> before = x;
      std::vector<float> f(static_cast<size_t>(n));
      fft.forward(f.data(), x.data());
      EXPECT_TRUE(sameBits(x.data(), before.data(), n)) << "N = " << n;
      const std::vector<double> expected = referenceForward(x);
      const double tolerance = transformTolerance(n, sumAbs(x));
      for (int32_t k = 0; k < n; ++k) {
        ASSERT_NEAR(f[static_cast<size_t>(k)], expected[static_cast<size_t>(k)], tolerance)
            << "N = " << n << ", k = " << k << ", amplitude " << amplitude;
      }
    }
  }
}

TEST(RealFFTInverse, MatchesDoublePrecisionInverseFormulaAndLeavesTheSpectrum) {
  for (const int32_t n : allSizes()) {
    RealFFT fft(n);
    const std::vector<float> f = randomSignal(n, 99u + static_cast<uint32_t>(n));
    const std::vector<float> before = f;
    std::vector<float> x(static_cast<size_t>(n));
    fft.inverse(f.data(), x.data());
    EXPECT_TRUE(sameBits(f.data(), before.data(), n)) << "N = " << n;
    const std::vector<double> expected = referenceInverse(f);
    const double tolerance = transformTolerance(n, 2.0 * sumAbs(f));
    for (int32_t t = 0; t < n; ++t) {
      ASSERT_NEAR(x[static_cast<size_t>(t)], expected[static_cast<size_t>(t)], tolerance)
          << "N = " << n << ", t = " << t;
    }
  }
}

// on aligned and unaligned arrays, with stale scratch and fenced margins.

enum class Direction { kForward, kInverse };

class RealFFTPath : public ::testing::TestWithParam<std::tuple<RealFFTIsa, Direction>> {
 protected:
  void SetUp() override {
    if (!RealFFTKernels::supported(std::get<0>(GetParam()))) GTEST_SKIP() << "not available here";
  }
};

void transform(RealFFTIsa isa, Direction direction, const RealFFT& fft, const float* in, float* out,
               float* scratch) {
  if (direction == Direction::kForward)
    RealFFTKernels::forward(isa, fft, out, in, scratch);
  else
    RealFFTKernels::inverse(isa, fft, in, out, scratch);
}

TEST_P(RealFFTPath, IsBitIdenticalToScalar) {
  const auto [isa, direction] = GetParam();
  for (const int32_t n : allSizes()) {
    const RealFFT fft(n);
    for (uint32_t trial = 0; trial < 4; ++trial) {
      const uint32_t seed = 1000u * trial + static_cast<uint32_t>(n);
      const std::vector<float> x = trial == 3 ? wideRangeSignal(n, seed) : randomSignal(n, seed);
      std::vector<float> expected(static_cast<size_t>(n));
      std::vector<float> expectedScratch(static_cast<size_t>(n));
      transform(RealFFTIsa::kScalar, direction, fft, x.data(), expected.data(),
                expectedScratch.data());
      for (const bool unaligned : {false, true}) {
        FencedBuffer in(n, unaligned);
        FencedBuffer out(n, unaligned);
        FencedBuffer scratch(n, unaligned);
        in.fill(x);
        // Stale contents must not leak into the result.
        out.fill(std::numeric_limits<float>::quiet_NaN());
        scratch.fill(std::numeric_limits<float>::quiet_NaN());
        transform(isa, direction, fft, in.data(), out.data(), scratch.data());
        ASSERT_TRUE(sameBits(out.data(), expected.data(), n))
            << "N = " << n << ", trial " << trial << (unaligned ? ", unaligned" : "");
        EXPECT_TRUE(sameBits(in.data(), x.data(), n)) << "N = " << n;
        EXPECT_TRUE(out.fenceIntact() && scratch.fenceIntact() && in.fenceIntact()) << "N = " << n;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryIsa, RealFFTPath,
    ::testing::Combine(::testing::Values(RealFFTIsa::kScalar, RealFFTIsa::kSse2, RealFFTIsa::kAvx2),
                       ::testing::Values(Direction::kForward, Direction::kInverse)),
    [](const ::testing::TestParamInfo<std::tuple<RealFFTIsa, Direction>>& info) {
      return isaName(std::get<0>(info.param)) +
             (std::get<1>(info.param) == Direction::kForward ? "Forward" : "Inverse");
    });

TEST(RealFFTDispatch, PublicTransformsMatchTheScalarTranscription) {
  for (const int32_t n : allSizes()) {
    RealFFT fft(n);
    const std::vector<float> x = randomSignal(n, 77u + static_cast<uint32_t>(n), 10.0f);
    std::vector<float> f(static_cast<size_t>(n));
    std::vector<float> expected(static_cast<size_t>(n));
    std::vector<float> scratch(static_cast<size_t>(n));
    fft.forward(f.data(), x.data());
    RealFFTKernels::forward(RealFFTIsa::kScalar, fft, expected.data(), x.data(), scratch.data());
    EXPECT_TRUE(sameBits(f.data(), expected.data(), n)) << "forward, N = " << n;

    std::vector<float> y(static_cast<size_t>(n));
    fft.inverse(f.data(), y.data());
    RealFFTKernels::inverse(RealFFTIsa::kScalar, fft, f.data(), expected.data(), scratch.data());
    EXPECT_TRUE(sameBits(y.data(), expected.data(), n)) << "inverse, N = " << n;
  }
}

TEST(RealFFTDispatch, RepeatedTransformsGiveTheSameResult) {
  // The object's scratch is reused: nothing of one call may reach the next.
  RealFFT fft(1024);
  const std::vector<float> x = randomSignal(1024, 3u);
  const std::vector<float> other = randomSignal(1024, 4u, 100.0f);
  std::vector<float> first(1024);
  std::vector<float> again(1024);
  std::vector<float> y(1024);
  fft.forward(first.data(), x.data());
  fft.forward(again.data(), other.data());
  fft.inverse(again.data(), y.data());
  fft.forward(again.data(), x.data());
  EXPECT_TRUE(sameBits(first.data(), again.data(), 1024));
}

}  // namespace
