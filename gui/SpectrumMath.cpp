#include "gui/SpectrumMath.h"

#include <cmath>
#include <utility>

namespace QW {
namespace spectrum {

namespace {

constexpr int kLargestFrame = 4096;

// ln(2051): bins of the largest frame end at ln(k + 2), the last at ln 2050,
// and one more bin's worth leaves a margin at the right edge.
const double kLogWidth = std::log(2051.0);
const double kLn2 = std::log(2.0);

// Magnitude squared of bin k; bins 0 and N/2 have no imaginary part.
double binPower(const float* packed, int fftSize, int bin) {
  const int maxBin = fftSize / 2;
  const double re = packed[bin];
  if (bin == 0 || bin == maxBin) return re * re;
  const double im = packed[maxBin + bin];
  return re * re + im * im;
}

}  // namespace

int clampSizeIndex(int32_t sizeIndex) {
  if (sizeIndex < 0) return 0;
  if (sizeIndex > kMaxSizeIndex) return kMaxSizeIndex;
  return static_cast<int>(sizeIndex);
}

int fftSize(int sizeIndex) {
  return 32 << clampSizeIndex(sizeIndex);
}

int binCount(int sizeIndex) {
  return fftSize(sizeIndex) / 2 + 1;
}

float logBinStep(int sizeIndex) {
  return static_cast<float>(kLargestFrame / fftSize(sizeIndex));
}

float logWidth() {
  return static_cast<float>(kLogWidth);
}

float logBinLeft(int bin, int sizeIndex) {
  if (bin <= 0) return 0.0f;
  const double s = logBinStep(sizeIndex);
  return static_cast<float>(std::log((bin - 1) * s + 2.0));
}

float logBinRight(int bin, int sizeIndex) {
  if (bin <= 0) return static_cast<float>(kLn2);
  const double s = logBinStep(sizeIndex);
  return static_cast<float>(std::log(bin * s + 2.0));
}

bool mayCoverPixelCentre(double left, double right) {
  // Far more than the 1/256 pixel the rasterizer snaps vertices to and the
  // single-precision error of the transform.
  constexpr double kMargin = 1.0 / 64.0;
  if (!std::isfinite(left) || !std::isfinite(right)) return true;
  if (right < left) std::swap(left, right);
  const double firstCentre = std::ceil(left - kMargin - 0.5) + 0.5;
  return firstCentre <= right + kMargin;
}

float clampUnit(float value) {
  if (!(value >= 0.0f)) return 0.0f;
  return value > 1.0f ? 1.0f : value;
}

BinLevel pointToBin(Point point, const Bounds& box, Axis axis) {
  const float fx = clampUnit((point.x - box.minX) / (box.maxX - box.minX));
  const float fy = clampUnit(2.0f * (point.y - box.minY) / (box.maxY - box.minY));
  const int nbins = binCount(axis.sizeIndex);

  int bin = 0;
  if (!axis.logX) {
    bin = static_cast<int>(static_cast<float>(nbins) * fx);
  } else {
    const double u = fx * kLogWidth;
    if (u >= kLn2) bin = static_cast<int>((std::exp(u) - 2.0) / logBinStep(axis.sizeIndex)) + 1;
  }
  if (bin > nbins - 1) bin = nbins - 1;
  if (bin < 0) bin = 0;
  return {bin, fy};
}

Bounds regionBounds(const Bounds& box, int bin, Axis axis) {
  Bounds column = box;
  const float w = box.width();
  if (!axis.logX) {
    const float step = w / static_cast<float>(binCount(axis.sizeIndex));
    column.minX = box.minX + static_cast<float>(bin) * step;
    column.maxX = column.minX + step;
  } else {
    const float scale = w / logWidth();
    column.minX = box.minX + logBinLeft(bin, axis.sizeIndex) * scale;
    column.maxX = box.minX + logBinRight(bin, axis.sizeIndex) * scale;
  }
  return column;
}

float binDecibels(const float* packed, int fftSize, int bin, float minDb) {
  const double p = binPower(packed, fftSize, bin);
  if (p == 0.0) return minDb;
  return static_cast<float>(10.0 * std::log(p) + 20.0 * std::log(2.0 / fftSize));
}

float binLinear(const float* packed, int fftSize, int bin) {
  return static_cast<float>(std::sqrt(binPower(packed, fftSize, bin)) * 2.0 / fftSize);
}

float smoothingCoefficient(float milliseconds) {
  if (!(milliseconds > 0.0f)) return 0.0f;
  return std::exp(-5.2f / (0.03f * milliseconds));
}

float smoothedValue(float current, float previous, float coefficient, float minimum,
                    float maximum) {
  float y = current + (previous - current) * coefficient;
  if (y > maximum) y = maximum;
  if (!(y >= minimum)) y = minimum;
  return y;
}

float dragLevel(int j, int lastBin, float lastLevel, int bin, float level) {
  if (bin < lastBin) {
    return level +
           static_cast<float>(j - bin) * (lastLevel - level) / static_cast<float>(lastBin - bin);
  }
  if (bin == lastBin) return level;
  return lastLevel +
         static_cast<float>(j - lastBin) * (level - lastLevel) / static_cast<float>(bin - lastBin);
}

}  // namespace spectrum
}  // namespace QW
