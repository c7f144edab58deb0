// The vector passes of RealFFT, written once over a lane-traits type V and
// included by RealFFT.cpp once per instruction set, each time inside its own
// namespace (and, for the wider sets, inside a target region) so that every
// instantiation is compiled for the set it runs on. Hence no include guard,
// and no #include here: the includer brings the intrinsics and FftPlan.
//
// Every element goes through exactly the additions, subtractions and
// multiplications of the scalar transcription in RealFFT.cpp, in the same
// order; lanes only run several elements at once. Where a lane would apply
// the general butterfly to an element that has its own rule (i = 0, i = h),
// that lane is overwritten afterwards with the element's own result.
//
// V provides: T, kLanes, zero, set1, load, store (both unaligned), add, sub,
// mul, loadLane0 (lane 0 from memory), withLane0(a, b) (a with b's lane 0),
// reverseTail (lanes 0, L-1, ..., 1) and transpose (kLanes rows in place).

// One radix-2 level of the forward transform: blocks of 2n from src to dst.
// Needs h = n/2 to be a multiple of V::kLanes.
//
// Lane t of the group starting at i handles element i + t. The mirrored
// outputs R[n - i] and I[n - i] then fall one lane short of an aligned group;
// rather than unaligned stores, each group's mirrored lanes 1..L-1 are stored
// together with lane 0 of the next group, and the last group takes R[h] and
// I[h] in that lane.
template <class V>
void forwardLevel(const float* src, float* dst, int32_t total, int32_t p, const float* cosTable) {
  using T = typename V::T;
  constexpr int32_t kL = V::kLanes;
  const int32_t n = int32_t{1} << p;
  const int32_t h = n / 2;
  const float* cs = cosTable + (h - 4);
  for (int32_t c = 0; c < total; c += 2 * n) {
    const float* a = src + c;
    const float* b = src + c + n;
    float* re = dst + c;
    float* im = dst + c + n;
    T prevChunk = V::zero();
    T prevRb = V::zero();
    T prevIb = V::zero();
    for (int32_t i = 0; i < h; i += kL) {
      const T ai = V::load(a + i);
      const T ah = V::load(a + h + i);
      const T bi = V::load(b + i);
      const T bh = V::load(b + h + i);
      const T co = V::load(cs + i);
      // sin(i·π/n) is cos[h - i]: the segment read backwards.
      const T chunk = V::load(cs + h - i - kL);
      T si = V::reverseTail(chunk);
      if (i > 0) si = V::withLane0(si, prevChunk);

      const T v = V::sub(V::mul(bi, co), V::mul(bh, si));
      T rf = V::add(ai, v);
      const T rb = V::sub(ai, v);
      const T w = V::add(V::mul(bi, si), V::mul(bh, co));
      T imf = V::add(w, ah);
      const T ib = V::sub(w, ah);
      if (i == 0) {
        rf = V::withLane0(rf, V::add(ai, bi));
        imf = V::withLane0(imf, V::sub(ai, bi));
      } else {
        V::store(re + n - i, V::withLane0(V::reverseTail(prevRb), rb));
        V::store(im + n - i, V::withLane0(V::reverseTail(prevIb), ib));
      }
      V::store(re + i, rf);
      V::store(im + i, imf);
      prevChunk = chunk;
      prevRb = rb;
      prevIb = ib;
    }
    V::store(re + h, V::withLane0(V::reverseTail(prevRb), V::loadLane0(a + h)));
    V::store(im + h, V::withLane0(V::reverseTail(prevIb), V::loadLane0(b + h)));
  }
}

// One radix-2 level of the inverse transform: blocks of 2n from src to dst.
// The mirrored inputs are gathered the same way the forward level scatters
// them: lanes 1..L-1 from one aligned group, lane 0 from the group before.
template <class V>
void inverseLevel(const float* src, float* dst, int32_t total, int32_t p, const float* cosTable) {
  using T = typename V::T;
  constexpr int32_t kL = V::kLanes;
  const int32_t n = int32_t{1} << p;
  const int32_t h = n / 2;
  const float* cs = cosTable + (h - 4);
  const T two = V::set1(2.0f);
  for (int32_t c = 0; c < total; c += 2 * n) {
    const float* re = src + c;
    const float* im = src + c + n;
    float* a = dst + c;
    float* b = dst + c + n;
    // For i = 0 the mirrored real element R[n] is I[0], as in A[0] = R[0] + I[0].
    T prevRe = V::load(im);
    T prevIm = V::zero();
    T prevChunk = V::zero();
    for (int32_t i = 0; i < h; i += kL) {
      const T ri = V::load(re + i);
      const T ii = V::load(im + i);
      const T reSlot = V::load(re + n - i - kL);
      const T imSlot = V::load(im + n - i - kL);
      const T rm = V::withLane0(V::reverseTail(reSlot), prevRe);
      T imm = V::reverseTail(imSlot);
      if (i > 0) imm = V::withLane0(imm, prevIm);
      const T co = V::load(cs + i);
      const T chunk = V::load(cs + h - i - kL);
      T si = V::reverseTail(chunk);
      if (i > 0) si = V::withLane0(si, prevChunk);

      const T ai = V::add(ri, rm);
      T ahi = V::sub(ii, imm);
      const T vr = V::sub(ri, rm);
      const T vi = V::add(ii, imm);
      T bi = V::add(V::mul(vr, co), V::mul(vi, si));
      T bhi = V::sub(V::mul(vi, co), V::mul(vr, si));
      if (i == 0) {
        ahi = V::withLane0(ahi, V::mul(two, V::loadLane0(re + h)));
        bi = V::withLane0(bi, vr);
        bhi = V::withLane0(bhi, V::mul(two, V::loadLane0(im + h)));
      }
      V::store(a + i, ai);
      V::store(a + h + i, ahi);
      V::store(b + i, bi);
      V::store(b + h + i, bhi);
      prevRe = reSlot;
      prevIm = imSlot;
      prevChunk = chunk;
    }
  }
}

// The first passes of the forward transform, kS = 8 (passes one to three) or
// kS = 16 (also level 3), done in registers.
//
// Lanes run over the kLanes equal segments of the array: when c < N/L, the
// bit reversal of c + k + rev[u] is rev[c + k] + u, so the inputs of one
// position in all segments are kLanes consecutive values of x, one load
// instead of a gather. A transpose turns the results back into rows of
// consecutive positions.
template <class V, int32_t kS>
void forwardFirst(const FftPlan& plan, const float* x, float* dst) {
  using T = typename V::T;
  constexpr int32_t kL = V::kLanes;
  static_assert(kS == 8 || kS == 16, "eight or sixteen points");
  static_assert(kS % kL == 0, "whole transposes");
  const int32_t* rev = plan.rev;
  const int32_t segment = plan.n / kL;
  const T r = V::set1(plan.sqrt2Over2);
  for (int32_t c = 0; c < segment; c += kS) {
    T d[kS];
#pragma GCC unroll 4
    for (int32_t g = 0; g < kS; g += 4) {
      const T a = V::load(x + rev[c + g]);
      const T b = V::load(x + rev[c + g + 1]);
      const T gg = V::load(x + rev[c + g + 2]);
      const T hh = V::load(x + rev[c + g + 3]);
      d[g + 1] = V::sub(a, b);
      d[g + 3] = V::sub(gg, hh);
      const T ab = V::add(a, b);
      const T gh = V::add(gg, hh);
      d[g] = V::add(ab, gh);
      d[g + 2] = V::sub(ab, gh);
    }
    T s[kS];
#pragma GCC unroll 2
    for (int32_t e = 0; e < kS; e += 8) {
      s[e] = V::add(d[e], d[e + 4]);
      s[e + 4] = V::sub(d[e], d[e + 4]);
      s[e + 2] = d[e + 2];
      s[e + 6] = d[e + 6];
      const T v = V::mul(V::sub(d[e + 5], d[e + 7]), r);
      s[e + 1] = V::add(d[e + 1], v);
      s[e + 3] = V::sub(d[e + 1], v);
      const T w = V::mul(V::add(d[e + 5], d[e + 7]), r);
      s[e + 5] = V::add(w, d[e + 3]);
      s[e + 7] = V::sub(w, d[e + 3]);
    }
    T* o = s;
    T l3[kS];
    if constexpr (kS == 16) {
      // Level 3: A = s[0..7], B = s[8..15]; its cosines are entries 0..3.
      l3[0] = V::add(s[0], s[8]);
      l3[8] = V::sub(s[0], s[8]);
      l3[4] = s[4];
      l3[12] = s[12];
#pragma GCC unroll 3
      for (int32_t i = 1; i < 4; ++i) {
        const T co = V::set1(plan.cos[i]);
        const T si = V::set1(plan.cos[4 - i]);
        const T v = V::sub(V::mul(s[8 + i], co), V::mul(s[12 + i], si));
        l3[i] = V::add(s[i], v);
        l3[8 - i] = V::sub(s[i], v);
        const T w = V::add(V::mul(s[8 + i], si), V::mul(s[12 + i], co));
        l3[8 + i] = V::add(w, s[4 + i]);
        l3[16 - i] = V::sub(w, s[4 + i]);
      }
      o = l3;
    }
#pragma GCC unroll 4
    for (int32_t m = 0; m < kS; m += kL) {
      V::transpose(o + m);
#pragma GCC unroll 8
      for (int32_t u = 0; u < kL; ++u) V::store(dst + rev[u] + c + m, o[m + u]);
    }
  }
}

// The last passes of the inverse transform, the mirror of forwardFirst: rows
// are transposed into segment lanes, and each result lands as kLanes
// consecutive values of x.
template <class V, int32_t kS>
void inverseLast(const FftPlan& plan, const float* src, float* x) {
  using T = typename V::T;
  constexpr int32_t kL = V::kLanes;
  static_assert(kS == 8 || kS == 16, "eight or sixteen points");
  static_assert(kS % kL == 0, "whole transposes");
  const int32_t* rev = plan.rev;
  const int32_t segment = plan.n / kL;
  const T r = V::set1(plan.sqrt2Over2);
  const T two = V::set1(2.0f);
  for (int32_t c = 0; c < segment; c += kS) {
    T y[kS];
#pragma GCC unroll 4
    for (int32_t m = 0; m < kS; m += kL) {
#pragma GCC unroll 8
      for (int32_t u = 0; u < kL; ++u) y[m + u] = V::load(src + rev[u] + c + m);
      V::transpose(y + m);
    }
    T* s = y;
    T l3[kS];
    if constexpr (kS == 16) {
      // Level 3: R = y[0..7], I = y[8..15]; I[-i] is R[8 - i].
      l3[0] = V::add(y[0], y[8]);
      l3[8] = V::sub(y[0], y[8]);
      l3[4] = V::mul(two, y[4]);
      l3[12] = V::mul(two, y[12]);
#pragma GCC unroll 3
      for (int32_t i = 1; i < 4; ++i) {
        const T co = V::set1(plan.cos[i]);
        const T si = V::set1(plan.cos[4 - i]);
        l3[i] = V::add(y[i], y[8 - i]);
        l3[4 + i] = V::sub(y[8 + i], y[16 - i]);
        const T vr = V::sub(y[i], y[8 - i]);
        const T vi = V::add(y[8 + i], y[16 - i]);
        l3[8 + i] = V::add(V::mul(vr, co), V::mul(vi, si));
        l3[12 + i] = V::sub(V::mul(vi, co), V::mul(vr, si));
      }
      s = l3;
    }
    T d[kS];
#pragma GCC unroll 2
    for (int32_t e = 0; e < kS; e += 8) {
      d[e] = V::add(s[e], s[e + 4]);
      d[e + 4] = V::sub(s[e], s[e + 4]);
      d[e + 2] = V::mul(two, s[e + 2]);
      d[e + 6] = V::mul(two, s[e + 6]);
      d[e + 1] = V::add(s[e + 1], s[e + 3]);
      d[e + 3] = V::sub(s[e + 5], s[e + 7]);
      const T vr = V::sub(s[e + 1], s[e + 3]);
      const T vi = V::add(s[e + 5], s[e + 7]);
      d[e + 5] = V::mul(V::add(vr, vi), r);
      d[e + 7] = V::mul(V::sub(vi, vr), r);
    }
#pragma GCC unroll 4
    for (int32_t g = 0; g < kS; g += 4) {
      const T b0 = V::add(d[g], d[g + 2]);
      const T b2 = V::sub(d[g], d[g + 2]);
      const T b1 = V::mul(two, d[g + 1]);
      const T b3 = V::mul(two, d[g + 3]);
      V::store(x + rev[c + g], V::add(b0, b1));
      V::store(x + rev[c + g + 1], V::sub(b0, b1));
      V::store(x + rev[c + g + 2], V::add(b2, b3));
      V::store(x + rev[c + g + 3], V::sub(b2, b3));
    }
  }
}

// Whole transforms for N >= 32. Wide runs every pass it fits (levels whose
// half-block h holds whole groups, first/last passes whose segments hold
// kS points); Narrow (four lanes) runs the rest.
template <class V, class Narrow>
void forwardTransform(const FftPlan& plan, float* f, const float* x, float* scratch) {
  const int32_t n = plan.n;
  constexpr int32_t kWide = V::kLanes;
  int32_t firstLevel = 4;
  // The first passes write whichever array makes the last level land in f.
  const auto firstTarget = [&](int32_t levels) { return levels % 2 == 0 ? f : scratch; };
  float* out;
  if (n / kWide >= 16) {
    out = firstTarget(plan.bits - 4);
    forwardFirst<V, 16>(plan, x, out);
  } else if (n / kWide >= 8 && kWide >= 8) {
    firstLevel = 3;
    out = firstTarget(plan.bits - 3);
    forwardFirst<V, 8>(plan, x, out);
  } else if (n / Narrow::kLanes >= 16) {
    out = firstTarget(plan.bits - 4);
    forwardFirst<Narrow, 16>(plan, x, out);
  } else {
    firstLevel = 3;
    out = firstTarget(plan.bits - 3);
    forwardFirst<Narrow, 8>(plan, x, out);
  }
  float* src = out;
  float* dst = out == f ? scratch : f;
  for (int32_t p = firstLevel; p < plan.bits; ++p) {
    const int32_t h = int32_t{1} << (p - 1);
    if (h >= kWide) {
      forwardLevel<V>(src, dst, n, p, plan.cos);
    } else {
      forwardLevel<Narrow>(src, dst, n, p, plan.cos);
    }
    float* const t = src;
    src = dst;
    dst = t;
  }
}

template <class V, class Narrow>
void inverseTransform(const FftPlan& plan, const float* f, float* x, float* scratch) {
  const int32_t n = plan.n;
  constexpr int32_t kWide = V::kLanes;
  int32_t lastLevel = 4;
  bool wideLast = true;
  int32_t lastPoints = 16;
  if (n / kWide >= 16) {
  } else if (n / kWide >= 8 && kWide >= 8) {
    lastLevel = 3;
    lastPoints = 8;
  } else if (n / Narrow::kLanes >= 16) {
    wideLast = false;
  } else {
    wideLast = false;
    lastLevel = 3;
    lastPoints = 8;
  }
  // The levels alternate between x and scratch so that the last one leaves
  // its result in scratch, where the final passes can read it while they
  // write x.
  const int32_t levels = plan.bits - lastLevel;
  const float* src = f;
  float* dst = levels % 2 == 1 ? scratch : x;
  for (int32_t p = plan.bits - 1; p >= lastLevel; --p) {
    const int32_t h = int32_t{1} << (p - 1);
    if (h >= kWide) {
      inverseLevel<V>(src, dst, n, p, plan.cos);
    } else {
      inverseLevel<Narrow>(src, dst, n, p, plan.cos);
    }
    src = dst;
    dst = dst == scratch ? x : scratch;
  }
  if (wideLast) {
    if (lastPoints == 16) {
      inverseLast<V, 16>(plan, src, x);
    } else {
      inverseLast<V, 8>(plan, src, x);
    }
  } else if (lastPoints == 16) {
    inverseLast<Narrow, 16>(plan, src, x);
  } else {
    inverseLast<Narrow, 8>(plan, src, x);
  }
}
