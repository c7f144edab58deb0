#include "tools/imagegen/Noise.h"

#include <cmath>

namespace imagegen {

namespace {

// A well-mixing 32-bit integer hash (lowbias32); a stateless generator keeps
// each drawing independent of the order its texels are visited in.
uint32_t mixBits(uint32_t v) {
  v ^= v >> 16;
  v *= 0x7feb352dU;
  v ^= v >> 15;
  v *= 0x846ca68bU;
  v ^= v >> 16;
  return v;
}

// C++'s % keeps the dividend's sign; lattice coordinates may be negative.
int wrap(int v, int period) {
  const int m = v % period;
  return m < 0 ? m + period : m;
}

// Quintic fade: continuous slope and curvature at lattice points, so normal
// maps derived from the noise show no creases along the lattice.
float fade(float t) {
  return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

}  // namespace

float latticeValue(uint32_t seed, int x, int y) {
  const uint32_t h = mixBits(mixBits(seed ^ static_cast<uint32_t>(x) * 0x9e3779b9U) ^
                             static_cast<uint32_t>(y) * 0x85ebca6bU);
  return static_cast<float>(h >> 8) * (1.0f / 16777216.0f);
}

float periodicNoise(uint32_t seed, float x, float y, int periodX, int periodY) {
  const float fx = std::floor(x);
  const float fy = std::floor(y);
  const int x0 = static_cast<int>(fx);
  const int y0 = static_cast<int>(fy);
  const float tx = fade(x - fx);
  const float ty = fade(y - fy);
  const int xa = wrap(x0, periodX), xb = wrap(x0 + 1, periodX);
  const int ya = wrap(y0, periodY), yb = wrap(y0 + 1, periodY);
  const float top =
      latticeValue(seed, xa, ya) + (latticeValue(seed, xb, ya) - latticeValue(seed, xa, ya)) * tx;
  const float bottom =
      latticeValue(seed, xa, yb) + (latticeValue(seed, xb, yb) - latticeValue(seed, xa, yb)) * tx;
  return top + (bottom - top) * ty;
}

float lineNoise(uint32_t seed, float x) {
  const float fx = std::floor(x);
  const int x0 = static_cast<int>(fx);
  const float a = latticeValue(seed, x0, 0);
  const float b = latticeValue(seed, x0 + 1, 0);
  return a + (b - a) * fade(x - fx);
}

}  // namespace imagegen
