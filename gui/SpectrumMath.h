// The arithmetic of the spectrum display, kept apart from GL so it can be
// checked without a display: where each bin sits on the linear and the
// logarithmic x axis, which bin and level a point means, how a packed
// spectrum becomes the value drawn, the per-frame smoothing and the straight
// line a drag draws across the bins it skipped.
//
// Every FFT size shares the positions of a 4096-point frame on the
// logarithmic axis: bin k of an N-point frame ends where bin k * 4096 / N of
// the largest frame ends, and the full width stands for ln 2051.
#pragma once

#include <cstdint>

#include "gui/Bounds.h"
#include "gui/InputRecord.h"

namespace QW {
namespace spectrum {

// Bins of the largest frame (4096 points), and so of the level parameters.
constexpr int kMaxBins = 2049;
constexpr int kMaxSizeIndex = 7;

struct Axis {
  bool logX = true;
  int sizeIndex = 5;
};

struct BinLevel {
  int bin = 0;
  float level = 0.0f;
};

// Size indices outside 0 ... 7 (a restored or torn value) are pulled in.
int clampSizeIndex(int32_t sizeIndex);
// N = 32 << sizeIndex.
int fftSize(int sizeIndex);
// N / 2 + 1: the bins an N-point frame has.
int binCount(int sizeIndex);
// 4096 / N: how many bins of the largest frame one bin covers.
float logBinStep(int sizeIndex);
// ln 2051, what the full width stands for on the logarithmic axis.
float logWidth();
// Left and right edge of bin k on the logarithmic axis, in ln units.
float logBinLeft(int bin, int sizeIndex);
float logBinRight(int bin, int sizeIndex);

// 0 ... 1; NaN counts as 0.
float clampUnit(float value);

// False only when the span left ... right of window x (in pixels) keeps
// clear of every pixel centre by more than the rasterizer's snapping and
// rounding, so that a polygon over no more than that span gives no
// fragment; a span that is not finite counts as covering.
bool mayCoverPixelCentre(double left, double right);

// The bin and level under point in box. The level comes from the lower half
// only: the upper half reads 1.
BinLevel pointToBin(Point point, const Bounds& box, Axis axis);

// The column of box that belongs to bin.
Bounds regionBounds(const Bounds& box, int bin, Axis axis);

// The value of bin k of an N-point packed spectrum in decibels with natural
// logarithms (|X| = N / 2 reads 0); minDb when the bin holds no energy.
float binDecibels(const float* packed, int fftSize, int bin, float minDb);
// |X| * 2 / N.
float binLinear(const float* packed, int fftSize, int bin);

// Frame-to-frame smoothing factor for a smoothing time in milliseconds.
float smoothingCoefficient(float milliseconds);
// The value drawn this frame from the new value and last frame's, kept
// inside minimum ... maximum (NaN falls to the minimum).
float smoothedValue(float current, float previous, float coefficient, float minimum, float maximum);

// The level a drag step from (lastBin, lastLevel) to (bin, level) gives
// bin j. Moving left the step covers bin ... lastBin - 1 (lastBin was set
// while the pointer was on it); moving right or staying it covers
// lastBin ... bin.
float dragLevel(int j, int lastBin, float lastLevel, int bin, float level);

// Calls visit(j, level) for every bin a drag step covers, in bin order.
template <class Visit>
void forEachDraggedBin(int lastBin, float lastLevel, int bin, float level, Visit&& visit) {
  const int first = bin < lastBin ? bin : lastBin;
  const int last = bin < lastBin ? lastBin - 1 : bin;
  for (int j = first; j <= last; ++j) visit(j, dragLevel(j, lastBin, lastLevel, bin, level));
}

}  // namespace spectrum
}  // namespace QW
