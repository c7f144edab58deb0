#include "dsp/RealFFT.h"

// Every path has to round exactly like the scalar transcription, so a build
// with FMA enabled (-march=native, -mfma) must still not fuse a multiply
// into the following add.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

#include <cmath>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <utility>

#include "dsp/RealFFTInternal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VELDRANA_FFT_AVX2 1
#endif
#endif

namespace {

// What a transform reads from its RealFFT, gathered once per call.
struct FftPlan {
  const int32_t* rev;
  const float* cos;
  float sqrt2Over2;
  int32_t n;
  int32_t bits;
};

constexpr size_t kAlignment = 64;

template <class T>
T* allocateAligned(size_t count) {
  // aligned_alloc wants a size that is a multiple of the alignment.
  const size_t bytes = (count * sizeof(T) + kAlignment - 1) / kAlignment * kAlignment;
  void* p = std::aligned_alloc(kAlignment, bytes);
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<T*>(p);
}

// The reference transcription: one element at a time, every pass through
// memory. The vector paths must reproduce it bit for bit.
void forwardScalar(const FftPlan& plan, float* f, const float* x, float* scratch) {
  const int32_t n = plan.n;
  if (n == 1) {
    f[0] = x[0];
    return;
  }
  if (n == 2) {
    f[0] = x[0] + x[1];
    f[1] = x[0] - x[1];
    return;
  }
  if (n == 4) {
    f[1] = x[0] - x[2];
    f[3] = x[1] - x[3];
    const float s02 = x[0] + x[2];
    const float s13 = x[1] + x[3];
    f[0] = s02 + s13;
    f[2] = s02 - s13;
    return;
  }
  // Each pass reads the array the previous one wrote; starting on scratch
  // for an odd number of bits makes the last pass write f.
  float* dst = plan.bits % 2 == 1 ? scratch : f;
  float* src = dst == f ? scratch : f;
  const int32_t* rev = plan.rev;
  for (int32_t c = 0; c < n; c += 4) {
    const float a = x[rev[c]];
    const float b = x[rev[c + 1]];
    const float g = x[rev[c + 2]];
    const float h = x[rev[c + 3]];
    dst[c + 1] = a - b;
    dst[c + 3] = g - h;
    dst[c] = (a + b) + (g + h);
    dst[c + 2] = (a + b) - (g + h);
  }
  std::swap(src, dst);

  const float r = plan.sqrt2Over2;
  for (int32_t c = 0; c < n; c += 8) {
    const float* d = src + c;
    float* s = dst + c;
    s[0] = d[0] + d[4];
    s[4] = d[0] - d[4];
    s[2] = d[2];
    s[6] = d[6];
    const float v = (d[5] - d[7]) * r;
    s[1] = d[1] + v;
    s[3] = d[1] - v;
    const float w = (d[5] + d[7]) * r;
    s[5] = w + d[3];
    s[7] = w - d[3];
  }
  std::swap(src, dst);

  for (int32_t p = 3; p < plan.bits; ++p) {
    const int32_t nn = int32_t{1} << p;
    const int32_t h = nn / 2;
    const float* cs = plan.cos + (h - 4);
    for (int32_t c = 0; c < n; c += 2 * nn) {
      const float* a = src + c;
      const float* b = src + c + nn;
      float* re = dst + c;
      float* im = dst + c + nn;
      re[0] = a[0] + b[0];
      im[0] = a[0] - b[0];
      re[h] = a[h];
      im[h] = b[h];
      for (int32_t i = 1; i < h; ++i) {
        const float co = cs[i];
        const float si = cs[h - i];
        const float v = b[i] * co - b[h + i] * si;
        re[i] = a[i] + v;
        re[nn - i] = a[i] - v;
        const float w = b[i] * si + b[h + i] * co;
        im[i] = w + a[h + i];
        im[nn - i] = w - a[h + i];
      }
    }
    std::swap(src, dst);
  }
}

void inverseScalar(const FftPlan& plan, const float* f, float* x, float* scratch) {
  const int32_t n = plan.n;
  if (n == 1) {
    x[0] = f[0];
    return;
  }
  if (n == 2) {
    x[0] = f[0] + f[1];
    x[1] = f[0] - f[1];
    return;
  }
  if (n == 4) {
    const float s02 = f[0] + f[2];
    const float d02 = f[0] - f[2];
    x[0] = s02 + 2.0f * f[1];
    x[2] = s02 - 2.0f * f[1];
    x[1] = d02 + 2.0f * f[3];
    x[3] = d02 - 2.0f * f[3];
    return;
  }
  // f is never written: the passes alternate between x and scratch, ending
  // on scratch so that the last pass can read it while writing x.
  const float* src = f;
  float* dst = plan.bits % 2 == 1 ? scratch : x;
  const auto advance = [&] {
    src = dst;
    dst = dst == scratch ? x : scratch;
  };

  for (int32_t p = plan.bits - 1; p >= 3; --p) {
    const int32_t nn = int32_t{1} << p;
    const int32_t h = nn / 2;
    const float* cs = plan.cos + (h - 4);
    for (int32_t c = 0; c < n; c += 2 * nn) {
      const float* re = src + c;
      const float* im = src + c + nn;
      float* a = dst + c;
      float* b = dst + c + nn;
      a[0] = re[0] + im[0];
      b[0] = re[0] - im[0];
      a[h] = 2.0f * re[h];
      b[h] = 2.0f * im[h];
      for (int32_t i = 1; i < h; ++i) {
        a[i] = re[i] + re[nn - i];
        a[h + i] = im[i] - im[nn - i];
        const float vr = re[i] - re[nn - i];
        const float vi = im[i] + im[nn - i];
        const float co = cs[i];
        const float si = cs[h - i];
        b[i] = vr * co + vi * si;
        b[h + i] = vi * co - vr * si;
      }
    }
    advance();
  }

  const float r = plan.sqrt2Over2;
  for (int32_t c = 0; c < n; c += 8) {
    const float* s = src + c;
    float* d = dst + c;
    d[0] = s[0] + s[4];
    d[4] = s[0] - s[4];
    d[2] = 2.0f * s[2];
    d[6] = 2.0f * s[6];
    d[1] = s[1] + s[3];
    d[3] = s[5] - s[7];
    const float vr = s[1] - s[3];
    const float vi = s[5] + s[7];
    d[5] = (vr + vi) * r;
    d[7] = (vi - vr) * r;
  }
  advance();

  const int32_t* rev = plan.rev;
  for (int32_t c = 0; c < n; c += 4) {
    const float* d = src + c;
    const float b0 = d[0] + d[2];
    const float b2 = d[0] - d[2];
    const float b1 = 2.0f * d[1];
    const float b3 = 2.0f * d[3];
    x[rev[c]] = b0 + b1;
    x[rev[c + 1]] = b0 - b1;
    x[rev[c + 2]] = b2 + b3;
    x[rev[c + 3]] = b2 - b3;
  }
}

#if defined(__SSE2__)

struct Sse2Lanes {
  using T = __m128;
  static constexpr int32_t kLanes = 4;
  static T zero() { return _mm_setzero_ps(); }
  static T set1(float v) { return _mm_set1_ps(v); }
  static T load(const float* p) { return _mm_loadu_ps(p); }
  static void store(float* p, T v) { _mm_storeu_ps(p, v); }
  static T add(T a, T b) { return _mm_add_ps(a, b); }
  static T sub(T a, T b) { return _mm_sub_ps(a, b); }
  static T mul(T a, T b) { return _mm_mul_ps(a, b); }
  static T loadLane0(const float* p) { return _mm_load_ss(p); }
  static T withLane0(T a, T b) { return _mm_move_ss(a, b); }
  static T reverseTail(T a) { return _mm_shuffle_ps(a, a, _MM_SHUFFLE(1, 2, 3, 0)); }
  static void transpose(T* r) { _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]); }
};

namespace sse2 {
#include "dsp/RealFFTKernels.h"
}  // namespace sse2

#endif  // __SSE2__

#if defined(VELDRANA_FFT_AVX2)

// Everything from here to the matching pop is compiled for AVX2 (which does
// not bring FMA, so no multiply-add gets fused) and only ever called after a
// run-time check of the processor.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

struct Avx2Lanes {
  using T = __m256;
  static constexpr int32_t kLanes = 8;
  static T zero() { return _mm256_setzero_ps(); }
  static T set1(float v) { return _mm256_set1_ps(v); }
  static T load(const float* p) { return _mm256_loadu_ps(p); }
  static void store(float* p, T v) { _mm256_storeu_ps(p, v); }
  static T add(T a, T b) { return _mm256_add_ps(a, b); }
  static T sub(T a, T b) { return _mm256_sub_ps(a, b); }
  static T mul(T a, T b) { return _mm256_mul_ps(a, b); }
  static T loadLane0(const float* p) { return _mm256_castps128_ps256(_mm_load_ss(p)); }
  static T withLane0(T a, T b) { return _mm256_blend_ps(a, b, 1); }
  static T reverseTail(T a) {
    return _mm256_permutevar8x32_ps(a, _mm256_setr_epi32(0, 7, 6, 5, 4, 3, 2, 1));
  }
  static void transpose(T* r) {
    const T t0 = _mm256_unpacklo_ps(r[0], r[1]);
    const T t1 = _mm256_unpackhi_ps(r[0], r[1]);
    const T t2 = _mm256_unpacklo_ps(r[2], r[3]);
    const T t3 = _mm256_unpackhi_ps(r[2], r[3]);
    const T t4 = _mm256_unpacklo_ps(r[4], r[5]);
    const T t5 = _mm256_unpackhi_ps(r[4], r[5]);
    const T t6 = _mm256_unpacklo_ps(r[6], r[7]);
    const T t7 = _mm256_unpackhi_ps(r[6], r[7]);
    const T u0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
    const T u1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
    const T u2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
    const T u3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
    const T u4 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(1, 0, 1, 0));
    const T u5 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(3, 2, 3, 2));
    const T u6 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(1, 0, 1, 0));
    const T u7 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(3, 2, 3, 2));
    r[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
    r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
    r[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
    r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
    r[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
    r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
    r[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
    r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
  }
};

namespace avx2 {
#include "dsp/RealFFTKernels.h"

// Below 128 points the eight segments are too short for the sixteen-point
// first and last passes, and four lanes measure faster.
constexpr int32_t kSmallestWideSize = 128;

void forward(const FftPlan& plan, float* f, const float* x, float* scratch) {
  if (plan.n < kSmallestWideSize) {
    forwardTransform<Sse2Lanes, Sse2Lanes>(plan, f, x, scratch);
  } else {
    forwardTransform<Avx2Lanes, Sse2Lanes>(plan, f, x, scratch);
  }
}
void inverse(const FftPlan& plan, const float* f, float* x, float* scratch) {
  if (plan.n < kSmallestWideSize) {
    inverseTransform<Sse2Lanes, Sse2Lanes>(plan, f, x, scratch);
  } else {
    inverseTransform<Avx2Lanes, Sse2Lanes>(plan, f, x, scratch);
  }
}
}  // namespace avx2

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

bool cpuHasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

#endif  // VELDRANA_FFT_AVX2

// Below 32 points the vector passes have no room for their lanes; those
// sizes are not used by the effect and run the scalar transcription.
constexpr int32_t kSmallestVectorSize = 32;

}  // namespace

bool RealFFTKernels::supported(RealFFTIsa isa) {
  switch (isa) {
    case RealFFTIsa::kScalar:
      return true;
    case RealFFTIsa::kSse2:
#if defined(__SSE2__)
      return true;
#else
      return false;
#endif
    case RealFFTIsa::kAvx2:
#if defined(VELDRANA_FFT_AVX2)
      return cpuHasAvx2();
#else
      return false;
#endif
  }
  return false;
}

RealFFTIsa RealFFTKernels::preferred() {
  static const RealFFTIsa best = supported(RealFFTIsa::kAvx2)   ? RealFFTIsa::kAvx2
                                 : supported(RealFFTIsa::kSse2) ? RealFFTIsa::kSse2
                                                                : RealFFTIsa::kScalar;
  return best;
}

namespace {
FftPlan planOf(const RealFFT& fft, float sqrt2Over2) {
  return FftPlan{fft.bitReverseTable(), fft.cosTable(), sqrt2Over2, fft.size(), fft.bits()};
}
}  // namespace

void RealFFTKernels::forward(RealFFTIsa isa, const RealFFT& fft, float* f, const float* x,
                             float* scratch) {
  const FftPlan plan = planOf(fft, fft.sqrt2Over2_);
  if (plan.n < kSmallestVectorSize) isa = RealFFTIsa::kScalar;
  switch (isa) {
#if defined(VELDRANA_FFT_AVX2)
    case RealFFTIsa::kAvx2:
      avx2::forward(plan, f, x, scratch);
      return;
#endif
#if defined(__SSE2__)
    case RealFFTIsa::kSse2:
      sse2::forwardTransform<Sse2Lanes, Sse2Lanes>(plan, f, x, scratch);
      return;
#endif
    default:
      forwardScalar(plan, f, x, scratch);
      return;
  }
}

void RealFFTKernels::inverse(RealFFTIsa isa, const RealFFT& fft, const float* f, float* x,
                             float* scratch) {
  const FftPlan plan = planOf(fft, fft.sqrt2Over2_);
  if (plan.n < kSmallestVectorSize) isa = RealFFTIsa::kScalar;
  switch (isa) {
#if defined(VELDRANA_FFT_AVX2)
    case RealFFTIsa::kAvx2:
      avx2::inverse(plan, f, x, scratch);
      return;
#endif
#if defined(__SSE2__)
    case RealFFTIsa::kSse2:
      sse2::inverseTransform<Sse2Lanes, Sse2Lanes>(plan, f, x, scratch);
      return;
#endif
    default:
      inverseScalar(plan, f, x, scratch);
      return;
  }
}

void RealFFT::AlignedFree::operator()(void* p) const {
  std::free(p);
}

RealFFT::RealFFT(int32_t n) {
  if (n < 1 || (n & (n - 1)) != 0) throw std::invalid_argument("RealFFT: size must be 2^k");
  n_ = n;
  bits_ =
      static_cast<int32_t>(std::floor(std::log(static_cast<double>(n)) * 1.4426950408889634 + 0.5));
  sqrt2Over2_ = static_cast<float>(std::sqrt(2.0) / 2.0);

  bitReverseTable_.reset(allocateAligned<int32_t>(static_cast<size_t>(n)));
  int32_t* rev = bitReverseTable_.get();
  rev[0] = 0;
  int32_t r = 0;
  for (int32_t i = 1; i < n; ++i) {
    // Adding one to a reversed counter: carry from the top bit downwards.
    int32_t bit = n / 2;
    r ^= bit;
    while ((r & bit) == 0) {
      bit /= 2;
      r ^= bit;
    }
    rev[i] = r;
  }

  if (bits_ >= 4) {
    cosTableSize_ = n / 2 - 4;
    cosTable_.reset(allocateAligned<float>(static_cast<size_t>(cosTableSize_)));
    constexpr double kPi = 3.14159265358979323846;
    for (int32_t p = 3; p < bits_; ++p) {
      const int32_t count = int32_t{1} << (p - 1);
      float* segment = cosTable_.get() + (count - 4);
      const double scale = static_cast<double>(int64_t{1} << p);
      for (int32_t i = 0; i < count; ++i) {
        segment[i] = static_cast<float>(std::cos(static_cast<double>(i) * kPi / scale));
      }
    }
  }

  if (bits_ >= 3) scratch_.reset(allocateAligned<float>(static_cast<size_t>(n)));
}

RealFFT::~RealFFT() = default;

void RealFFT::forward(float* f, const float* x) {
  RealFFTKernels::forward(RealFFTKernels::preferred(), *this, f, x, scratch_.get());
}

void RealFFT::inverse(const float* f, float* x) {
  RealFFTKernels::inverse(RealFFTKernels::preferred(), *this, f, x, scratch_.get());
}
