// The six built-in spectral scripts against their definitions, computed here
// independently: the bin addressing rules, Lua's numeric for loop with
// fractional bounds, and single-precision bins.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ScriptTestSupport.h"

using namespace scripting_test;

namespace {

enum BuiltIn { kShift = 1, kReverse, kLowPass, kHighPass, kBandPass, kGate };

struct Params {
  float p1 = 0.0f, p2 = 0.0f, p3 = 0.0f, p4 = 0.0f;
};

// Lua 5.1's numeric for: the index starts one step early and every step is
// added before the test, all in doubles.
template <typename Body>
void luaFor(double start, double limit, double step, Body body) {
  double i = start - step;
  for (;;) {
    i += step;
    if (step > 0 ? !(i <= limit) : !(limit <= i)) break;
    body(i);
  }
}

class Reference {
 public:
  Reference(std::vector<float>& f) : f_(f), maxBin_(static_cast<int32_t>(f.size() / 2)) {}

  void copy(double from, double to) {
    float re, im;
    get(bin(from), re, im);
    set(bin(to), re, im);
  }
  void zero(double k) { set(bin(k), 0.0f, 0.0f); }
  void multiply(double k, double factor) {
    float re, im;
    const int32_t b = bin(k);
    get(b, re, im);
    const auto g = static_cast<float>(factor);
    set(b, re * g, im * g);
  }
  void swap(double a, double b) {
    float ra, ia, rb, ib;
    get(bin(a), ra, ia);
    get(bin(b), rb, ib);
    set(bin(a), rb, ib);
    set(bin(b), ra, ia);
  }
  float magnitudeSqr(double k) {
    float re, im;
    get(bin(k), re, im);
    return re * re + im * im;
  }
  int32_t maxBin() const { return maxBin_; }

 private:
  static int32_t bin(double value) {
    const double t = std::trunc(value);
    return t >= 0.0 && t <= 2147483647.0 ? static_cast<int32_t>(t) : -1;
  }
  bool hasIm(int32_t k) const { return k > 0 && k < maxBin_; }
  void get(int32_t k, float& re, float& im) const {
    re = im = 0.0f;
    if (k < 0 || k > maxBin_) return;
    re = f_[static_cast<size_t>(k)];
    if (hasIm(k)) im = f_[static_cast<size_t>(maxBin_ + k)];
  }
  void set(int32_t k, float re, float im) {
    if (k < 0 || k > maxBin_) return;
    f_[static_cast<size_t>(k)] = re;
    if (hasIm(k)) f_[static_cast<size_t>(maxBin_ + k)] = im;
  }

  std::vector<float>& f_;
  int32_t maxBin_;
};

void shift(Reference& r, double s) {
  const double maxBin = r.maxBin();
  if (s > 0) {
    luaFor(maxBin, s, -1, [&](double i) { r.copy(i - s, i); });
    luaFor(s - 1, 0, -1, [&](double i) { r.zero(i); });
  } else if (s < 0) {
    luaFor(0, maxBin + s, 1, [&](double i) { r.copy(i - s, i); });
    luaFor(maxBin + s + 1, maxBin, 1, [&](double i) { r.zero(i); });
  }
}

void reference(BuiltIn script, const Params& p, std::vector<float>& f) {
  Reference r(f);
  const double maxBin = r.maxBin();
  const double p1 = p.p1, p2 = p.p2, p3 = p.p3;
  switch (script) {
    case kShift:
      shift(r, p1);
      break;
    case kReverse:
      luaFor(0, (maxBin - 1) / 2, 1, [&](double i) { r.swap(i, maxBin - i); });
      shift(r, p1 - (maxBin - 1) * 3 / 4);
      break;
    case kLowPass:
      luaFor(p2 * maxBin, maxBin, 1, [&](double i) { r.zero(i); });
      break;
    case kHighPass:
      luaFor(0, p2 * maxBin, 1, [&](double i) { r.zero(i); });
      break;
    case kBandPass: {
      const double c = p2 * maxBin;
      const double d = p3 * p3;
      if (d <= 0) break;
      luaFor(0, c, 1, [&](double i) { r.multiply(i, std::max(0.0, 1 - (c - i) * d)); });
      luaFor(c, maxBin, 1, [&](double i) { r.multiply(i, std::max(0.0, 1 - (i - c) * d)); });
      break;
    }
    case kGate: {
      const double level = p2 * (maxBin - 1) / 32;
      const double t = level * level;
      luaFor(0, maxBin, 1, [&](double i) {
        const double m = r.magnitudeSqr(i);
        if (p3 > 0 ? m > t : m < t) r.zero(i);
      });
      break;
    }
  }
}

std::vector<float> randomSpectrum(int n, unsigned seed) {
  // Magnitudes on both sides of the gate's thresholds at every size.
  const float amplitude = static_cast<float>(n / 2 - 1) / 32.0f + 0.5f;
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> value(-amplitude, amplitude);
  std::vector<float> f(static_cast<size_t>(n));
  for (float& x : f) x = value(random);
  return f;
}

struct BuiltInScripts : ::testing::Test {
  RecordingHost host;
  std::unique_ptr<QwkTonalmire> effect = makeEffect();

  std::vector<float> runBuiltIn(BuiltIn script, const Params& p, std::vector<float> f) {
    effect->setParameterPlain(kParamScripted1, p.p1, false);
    effect->setParameterPlain(kParamScripted2, p.p2, false);
    effect->setParameterPlain(kParamScripted3, p.p3, false);
    effect->setParameterPlain(kParamScripted4, p.p4, false);
    helperOf(*effect).RunSpectralScript(script, f.data(), static_cast<int32_t>(f.size()));
    return f;
  }

  void check(BuiltIn script, const Params& p) {
    for (int n : {32, 4096}) {
      const std::vector<float> input = randomSpectrum(n, static_cast<unsigned>(n + script));
      std::vector<float> want = input;
      reference(script, p, want);
      const std::vector<float> got = runBuiltIn(script, p, input);
      ASSERT_EQ(got.size(), want.size());
      size_t differing = 0;
      for (size_t i = 0; i < got.size(); ++i) differing += got[i] != want[i];
      EXPECT_EQ(differing, 0u) << "script " << script << " N " << n << " params " << p.p1 << " "
                               << p.p2 << " " << p.p3;
      EXPECT_NE(want, input) << "case changes nothing: script " << script << " N " << n;
    }
  }
};

// Fractional and out-of-range parameters included: the loops' bounds are
// where the scripts differ from a naive reading.
TEST_F(BuiltInScripts, MatchTheirDefinitions) {
  const std::pair<BuiltIn, Params> cases[] = {
      {kShift, {3, 0, 0, 0}},           {kShift, {-5, 0, 0, 0}},
      {kShift, {16, 0, 0, 0}},          {kShift, {-1, 0, 0, 0}},
      {kShift, {100, 0, 0, 0}},         {kShift, {-100, 0, 0, 0}},
      {kReverse, {0, 0, 0, 0}},         {kReverse, {5, 0, 0, 0}},
      {kReverse, {-7, 0, 0, 0}},        {kReverse, {100, 0, 0, 0}},
      {kLowPass, {0, 0.37f, 0, 0}},     {kLowPass, {0, 0, 0, 0}},
      {kLowPass, {0, 0.5f, 0, 0}},      {kLowPass, {0, 0.999f, 0, 0}},
      {kHighPass, {0, 0.37f, 0, 0}},    {kHighPass, {0, 0, 0, 0}},
      {kHighPass, {0, 1, 0, 0}},        {kBandPass, {0, 0.37f, 0.6f, 0}},
      {kBandPass, {0, 0.1f, 0.05f, 0}}, {kBandPass, {0, 1, 0.2f, 0}},
      {kGate, {0, 0.5f, 1, 0}},         {kGate, {0, 0.5f, 0, 0}},
      {kGate, {0, 0.37f, 0.25f, 0}},
  };
  for (const auto& [script, params] : cases) check(script, params);
}

TEST_F(BuiltInScripts, ZeroShiftOrBandWidthLeavesTheSpectrumAlone) {
  const std::vector<float> f = randomSpectrum(4096, 9);
  EXPECT_EQ(runBuiltIn(kShift, Params{0, 0.5f, 0.5f, 0.5f}, f), f);
  EXPECT_EQ(runBuiltIn(kBandPass, Params{0, 0.5f, 0.0f, 0}, f), f);
}

}  // namespace
