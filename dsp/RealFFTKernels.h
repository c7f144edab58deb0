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

// Level p's iteration j (lanes j..j+L-1) on one block with halves a and b,
// left in registers: R[j], R[n - j] (lanes descending), I[j], I[n - j].
template <class V>
inline void forwardHalf(const float* a, const float* b, int32_t h, int32_t j, typename V::T co,
                        typename V::T si, typename V::T& rf, typename V::T& rb, typename V::T& imf,
                        typename V::T& imb) {
  using T = typename V::T;
  const T ai = V::load(a + j);
  const T ah = V::load(a + h + j);
  const T bi = V::load(b + j);
  const T bh = V::load(b + h + j);
  const T v = V::sub(V::mul(bi, co), V::mul(bh, si));
  rf = V::add(ai, v);
  rb = V::sub(ai, v);
  const T w = V::add(V::mul(bi, si), V::mul(bh, co));
  imf = V::add(w, ah);
  imb = V::sub(w, ah);
  if (j == 0) {
    rf = V::withLane0(rf, V::add(ai, bi));
    imf = V::withLane0(imf, V::sub(ai, bi));
  }
}

// Level p's inverse iteration j on one block of 2n at out, from its inputs
// R[j], R[n - j], I[j], I[n - j] in registers; midRe and midIm are its
// A[h] = 2R[h] and B[h] = 2I[h].
template <class V>
inline void inverseHalf(float* out, int32_t n, int32_t h, int32_t j, typename V::T r,
                        typename V::T rm, typename V::T i, typename V::T imr, typename V::T co,
                        typename V::T si, typename V::T midRe, typename V::T midIm) {
  using T = typename V::T;
  const T a = V::add(r, rm);
  T ah = V::sub(i, imr);
  const T vr = V::sub(r, rm);
  const T vi = V::add(i, imr);
  T b = V::add(V::mul(vr, co), V::mul(vi, si));
  T bh = V::sub(V::mul(vi, co), V::mul(vr, si));
  if (j == 0) {
    ah = V::withLane0(ah, midRe);
    b = V::withLane0(b, vr);
    bh = V::withLane0(bh, midIm);
  }
  V::store(out + j, a);
  V::store(out + h + j, ah);
  V::store(out + n + j, b);
  V::store(out + n + h + j, bh);
}

// Levels p and p + 1 of the forward transform in one sweep over blocks of
// 4n. Level p's iteration j on the two halves of a block yields exactly the
// inputs of level p + 1's iterations j and n - j, so those two run on the
// values while they are still in registers, and the level-p results never
// go through memory. Level p + 1's middle iteration h takes level p's
// untouched middle elements. For level p + 1, the twiddles of iteration
// n - j are those of iteration j with cosine and sine swapped.
//
// Needs h = n/2 to be a multiple of V::kLanes.
template <class V>
void forwardLevelPair(const float* src, float* dst, int32_t total, int32_t p,
                      const float* cosTable) {
  using T = typename V::T;
  constexpr int32_t kL = V::kLanes;
  const int32_t n = int32_t{1} << p;
  const int32_t h = n / 2;
  const float* cs = cosTable + (h - 4);   // level p: cos(iπ/n), h entries
  const float* cs2 = cosTable + (n - 4);  // level p + 1: cos(iπ/2n), n entries
  for (int32_t c = 0; c < total; c += 4 * n) {
    const float* a0 = src + c;
    const float* b0 = src + c + n;
    const float* a1 = src + c + 2 * n;
    const float* b1 = src + c + 3 * n;
    float* o = dst + c;

    // Level p + 1, iteration h, in lane 0: its A'[h], A'[n + h], B'[h] and
    // B'[n + h] are level p's R[h] = A[h] and I[h] = B[h] of each half.
    T midRe;
    T midReMirror;
    T midIm;
    T midImMirror;
    {
      const T ar = V::loadLane0(a0 + h);
      const T ai = V::loadLane0(b0 + h);
      const T br = V::loadLane0(a1 + h);
      const T bi = V::loadLane0(b1 + h);
      const T co = V::loadLane0(cs2 + h);
      const T si = V::loadLane0(cs2 + n - h);
      const T v = V::sub(V::mul(br, co), V::mul(bi, si));
      midRe = V::add(ar, v);        // o[h]
      midReMirror = V::sub(ar, v);  // o[2n - h]
      const T w = V::add(V::mul(br, si), V::mul(bi, co));
      midIm = V::add(w, ai);        // o[2n + h]
      midImMirror = V::sub(w, ai);  // o[4n - h]
    }

    T prevChunk = V::zero();
    T prevChunk2 = V::zero();
    T prevX1 = V::zero();
    T prevX3 = V::zero();
    T prevY0 = V::zero();
    T prevY2 = V::zero();
    for (int32_t j = 0; j < h; j += kL) {
      const T co = V::load(cs + j);
      const T chunk = V::load(cs + h - j - kL);
      T si = V::reverseTail(chunk);
      const T co2 = V::load(cs2 + j);
      const T chunk2 = V::load(cs2 + n - j - kL);
      T si2 = V::reverseTail(chunk2);
      if (j > 0) {
        si = V::withLane0(si, prevChunk);
        si2 = V::withLane0(si2, prevChunk2);
      }

      // Level p on each half: R[j], R[n - j], I[j], I[n - j].
      T rf0, rb0, if0, ib0;
      forwardHalf<V>(a0, b0, h, j, co, si, rf0, rb0, if0, ib0);
      T rf1, rb1, if1, ib1;
      forwardHalf<V>(a1, b1, h, j, co, si, rf1, rb1, if1, ib1);

      // Level p + 1, iterations j: A' = (R0, I0), B' = (R1, I1).
      const T v2 = V::sub(V::mul(rf1, co2), V::mul(if1, si2));
      T x0 = V::add(rf0, v2);        // o[j]
      const T x1 = V::sub(rf0, v2);  // o[2n - j]
      const T w2 = V::add(V::mul(rf1, si2), V::mul(if1, co2));
      T x2 = V::add(w2, if0);        // o[2n + j]
      const T x3 = V::sub(w2, if0);  // o[4n - j]

      // Level p + 1, iterations n - j.
      const T v3 = V::sub(V::mul(rb1, si2), V::mul(ib1, co2));
      const T y0 = V::add(rb0, v3);  // o[n - j]
      T y1 = V::sub(rb0, v3);        // o[n + j]
      const T w3 = V::add(V::mul(rb1, co2), V::mul(ib1, si2));
      const T y2 = V::add(w3, ib0);  // o[3n - j]
      T y3 = V::sub(w3, ib0);        // o[3n + j]

      if (j == 0) {
        // Iteration 0: o[0] = A'[0] + B'[0], o[2n] = A'[0] - B'[0].
        // Iteration n: o[n] = A'[n] = I0[0], o[3n] = B'[n] = I1[0].
        x0 = V::withLane0(x0, V::add(rf0, rf1));
        x2 = V::withLane0(x2, V::sub(rf0, rf1));
        y1 = V::withLane0(y1, if0);
        y3 = V::withLane0(y3, if1);
      } else {
        V::store(o + 2 * n - j, V::withLane0(V::reverseTail(prevX1), x1));
        V::store(o + 4 * n - j, V::withLane0(V::reverseTail(prevX3), x3));
        V::store(o + n - j, V::withLane0(V::reverseTail(prevY0), y0));
        V::store(o + 3 * n - j, V::withLane0(V::reverseTail(prevY2), y2));
      }
      V::store(o + j, x0);
      V::store(o + 2 * n + j, x2);
      V::store(o + n + j, y1);
      V::store(o + 3 * n + j, y3);
      prevChunk = chunk;
      prevChunk2 = chunk2;
      prevX1 = x1;
      prevX3 = x3;
      prevY0 = y0;
      prevY2 = y2;
    }
    V::store(o + 2 * n - h, V::withLane0(V::reverseTail(prevX1), midReMirror));
    V::store(o + 4 * n - h, V::withLane0(V::reverseTail(prevX3), midImMirror));
    V::store(o + h, V::withLane0(V::reverseTail(prevY0), midRe));
    V::store(o + 2 * n + h, V::withLane0(V::reverseTail(prevY2), midIm));
  }
}

// Levels p + 1 and p of the inverse transform in one sweep over blocks of
// 4n, the mirror of forwardLevelPair: level p + 1's iterations j and n - j
// produce what level p's iteration j reads on each half, and its middle
// iteration h produces level p's middle elements.
template <class V>
void inverseLevelPair(const float* src, float* dst, int32_t total, int32_t p,
                      const float* cosTable) {
  using T = typename V::T;
  constexpr int32_t kL = V::kLanes;
  const int32_t n = int32_t{1} << p;
  const int32_t h = n / 2;
  const float* cs = cosTable + (h - 4);
  const float* cs2 = cosTable + (n - 4);
  const T two = V::set1(2.0f);
  for (int32_t c = 0; c < total; c += 4 * n) {
    const float* re = src + c;          // R', 2n values
    const float* im = src + c + 2 * n;  // I', 2n values
    float* d0 = dst + c;                // level p's output, first half
    float* d1 = dst + c + 2 * n;        // ... and second half

    // Level p + 1, iteration h, in lane 0; level p needs twice each result.
    T mid0Re;
    T mid0Im;
    T mid1Re;
    T mid1Im;
    {
      const T ri = V::loadLane0(re + h);
      const T rm = V::loadLane0(re + 2 * n - h);
      const T ii = V::loadLane0(im + h);
      const T imm = V::loadLane0(im + 2 * n - h);
      const T co = V::loadLane0(cs2 + h);
      const T si = V::loadLane0(cs2 + n - h);
      const T a = V::add(ri, rm);    // L0[h]
      const T ah = V::sub(ii, imm);  // L0[n + h]
      const T vr = V::sub(ri, rm);
      const T vi = V::add(ii, imm);
      const T b = V::add(V::mul(vr, co), V::mul(vi, si));   // L1[h]
      const T bh = V::sub(V::mul(vi, co), V::mul(vr, si));  // L1[n + h]
      mid0Re = V::mul(two, a);
      mid0Im = V::mul(two, ah);
      mid1Re = V::mul(two, b);
      mid1Im = V::mul(two, bh);
    }

    // R'[2n] is I'[0]: lane 0 of iteration 0 then adds R'[0] + I'[0].
    T prevRe2 = V::load(im);
    T prevIm2 = V::zero();
    T prevRe1 = V::zero();
    T prevIm1 = V::zero();
    T prevChunk = V::zero();
    T prevChunk2 = V::zero();
    for (int32_t j = 0; j < h; j += kL) {
      const T co = V::load(cs + j);
      const T chunk = V::load(cs + h - j - kL);
      T si = V::reverseTail(chunk);
      const T co2 = V::load(cs2 + j);
      const T chunk2 = V::load(cs2 + n - j - kL);
      T si2 = V::reverseTail(chunk2);

      const T reLo = V::load(re + j);      // R'[j]
      const T reHi = V::load(re + n + j);  // R'[n + j]
      const T imLo = V::load(im + j);      // I'[j]
      const T imHi = V::load(im + n + j);  // I'[n + j]
      const T reSlot2 = V::load(re + 2 * n - j - kL);
      const T imSlot2 = V::load(im + 2 * n - j - kL);
      const T reSlot1 = V::load(re + n - j - kL);
      const T imSlot1 = V::load(im + n - j - kL);
      const T reM2 = V::withLane0(V::reverseTail(reSlot2), prevRe2);  // R'[2n - j]
      T imM2 = V::reverseTail(imSlot2);                               // I'[2n - j]
      T reM1 = V::reverseTail(reSlot1);                               // R'[n - j]
      T imM1 = V::reverseTail(imSlot1);                               // I'[n - j]
      if (j > 0) {
        si = V::withLane0(si, prevChunk);
        si2 = V::withLane0(si2, prevChunk2);
        imM2 = V::withLane0(imM2, prevIm2);
        reM1 = V::withLane0(reM1, prevRe1);
        imM1 = V::withLane0(imM1, prevIm1);
      }

      // Level p + 1, iterations j.
      const T l0Lo = V::add(reLo, reM2);  // L0[j]
      T l0Hi = V::sub(imLo, imM2);        // L0[n + j]
      const T vr = V::sub(reLo, reM2);
      const T vi = V::add(imLo, imM2);
      T l1Lo = V::add(V::mul(vr, co2), V::mul(vi, si2));  // L1[j]
      T l1Hi = V::sub(V::mul(vi, co2), V::mul(vr, si2));  // L1[n + j]

      // Level p + 1, iterations n - j.
      T l0MLo = V::add(reM1, reHi);        // L0[n - j]
      const T l0MHi = V::sub(imM1, imHi);  // L0[2n - j]
      const T vrM = V::sub(reM1, reHi);
      const T viM = V::add(imM1, imHi);
      T l1MLo = V::add(V::mul(vrM, si2), V::mul(viM, co2));        // L1[n - j]
      const T l1MHi = V::sub(V::mul(viM, si2), V::mul(vrM, co2));  // L1[2n - j]

      if (j == 0) {
        // Iteration 0: B'[0] = R'[0] - I'[0]; iteration n: A'[n] = 2R'[n],
        // B'[n] = 2I'[n]. Level p then reads L[n] as its mirrored R[n - 0],
        // so that its A[0] = R[0] + I[0] comes out of the general lanes.
        l0Hi = V::withLane0(l0Hi, V::mul(two, V::loadLane0(re + n)));
        l1Lo = V::withLane0(l1Lo, vr);
        l1Hi = V::withLane0(l1Hi, V::mul(two, V::loadLane0(im + n)));
        l0MLo = V::withLane0(l0MLo, l0Hi);
        l1MLo = V::withLane0(l1MLo, l1Hi);
      }

      // Level p on each half: R = L[0..n), I = L[n..2n).
      inverseHalf<V>(d0, n, h, j, l0Lo, l0MLo, l0Hi, l0MHi, co, si, mid0Re, mid0Im);
      inverseHalf<V>(d1, n, h, j, l1Lo, l1MLo, l1Hi, l1MHi, co, si, mid1Re, mid1Im);
      prevRe2 = reSlot2;
      prevIm2 = imSlot2;
      prevRe1 = reSlot1;
      prevIm1 = imSlot1;
      prevChunk = chunk;
      prevChunk2 = chunk2;
    }
  }
}

// Whole transforms for N >= 32. V runs every pass it fits (levels whose
// half-block h holds whole groups, first/last passes whose segments hold
// kS points); Narrow (four lanes) runs the rest. The levels go in pairs, one
// sweep each, with a single level at the top when their number is odd.
template <class V, class Narrow>
void forwardTransform(const FftPlan& plan, float* f, const float* x, float* scratch) {
  const int32_t n = plan.n;
  constexpr int32_t kWide = V::kLanes;
  const bool wideFirst = n / kWide >= 16 || (kWide >= 8 && n / kWide >= 8);
  const int32_t firstPoints = wideFirst ? (n / kWide >= 16 ? 16 : 8) : (n / 4 >= 16 ? 16 : 8);
  const int32_t firstLevel = firstPoints == 16 ? 4 : 3;
  const int32_t levels = plan.bits - firstLevel;
  const int32_t sweeps = levels / 2 + levels % 2;
  // The first passes write whichever array makes the last sweep land in f.
  float* src = sweeps % 2 == 0 ? f : scratch;
  float* dst = src == f ? scratch : f;
  if (wideFirst) {
    if (firstPoints == 16) {
      forwardFirst<V, 16>(plan, x, src);
    } else {
      forwardFirst<V, 8>(plan, x, src);
    }
  } else if (firstPoints == 16) {
    forwardFirst<Narrow, 16>(plan, x, src);
  } else {
    forwardFirst<Narrow, 8>(plan, x, src);
  }
  const auto flip = [&] {
    float* const t = src;
    src = dst;
    dst = t;
  };
  int32_t p = firstLevel;
  for (; p + 1 < plan.bits; p += 2) {
    if ((int32_t{1} << (p - 1)) >= kWide) {
      forwardLevelPair<V>(src, dst, n, p, plan.cos);
    } else {
      forwardLevelPair<Narrow>(src, dst, n, p, plan.cos);
    }
    flip();
  }
  if (p < plan.bits) {
    if ((int32_t{1} << (p - 1)) >= kWide) {
      forwardLevel<V>(src, dst, n, p, plan.cos);
    } else {
      forwardLevel<Narrow>(src, dst, n, p, plan.cos);
    }
  }
}

template <class V, class Narrow>
void inverseTransform(const FftPlan& plan, const float* f, float* x, float* scratch) {
  const int32_t n = plan.n;
  constexpr int32_t kWide = V::kLanes;
  const bool wideLast = n / kWide >= 16 || (kWide >= 8 && n / kWide >= 8);
  const int32_t lastPoints = wideLast ? (n / kWide >= 16 ? 16 : 8) : (n / 4 >= 16 ? 16 : 8);
  const int32_t lastLevel = lastPoints == 16 ? 4 : 3;
  const int32_t levels = plan.bits - lastLevel;
  const int32_t sweeps = levels / 2 + levels % 2;
  // The sweeps alternate between x and scratch so that the last one leaves
  // its result in scratch, where the final passes can read it while they
  // write x.
  const float* src = f;
  float* dst = sweeps % 2 == 1 ? scratch : x;
  const auto advance = [&] {
    src = dst;
    dst = dst == scratch ? x : scratch;
  };
  int32_t p = plan.bits - 1;
  if (levels % 2 == 1) {
    if ((int32_t{1} << (p - 1)) >= kWide) {
      inverseLevel<V>(src, dst, n, p, plan.cos);
    } else {
      inverseLevel<Narrow>(src, dst, n, p, plan.cos);
    }
    advance();
    --p;
  }
  for (; p > lastLevel; p -= 2) {
    const int32_t lower = p - 1;
    if ((int32_t{1} << (lower - 1)) >= kWide) {
      inverseLevelPair<V>(src, dst, n, lower, plan.cos);
    } else {
      inverseLevelPair<Narrow>(src, dst, n, lower, plan.cos);
    }
    advance();
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
