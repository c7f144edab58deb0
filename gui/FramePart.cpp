#include "gui/FramePart.h"

#include <algorithm>
#include <cmath>

namespace QW {

PixelRect redrawnPixels(const Bounds& designBox, float xScale, float yScale, Size pixels,
                        int margin) {
  if (designBox.empty() || pixels.width <= 0 || pixels.height <= 0) return {};
  const double halfWidth = 0.5 * pixels.width;
  const double halfHeight = 0.5 * pixels.height;
  // Either scale may be negative (a flipped axis): take the corners' order
  // as it comes out.
  const double x0 = designBox.minX * static_cast<double>(xScale) * halfWidth;
  const double x1 = designBox.maxX * static_cast<double>(xScale) * halfWidth;
  const double y0 = designBox.minY * static_cast<double>(yScale) * halfHeight;
  const double y1 = designBox.maxY * static_cast<double>(yScale) * halfHeight;
  if (!std::isfinite(x0 + x1 + y0 + y1)) return {};
  // Clamped before the conversion: a box far outside must not overflow.
  const auto edge = [](double v) { return std::clamp(v, -1e6, 1e6); };
  const int left = std::max(0, static_cast<int>(std::floor(edge(std::min(x0, x1)))) - margin);
  const int right =
      std::min(pixels.width, static_cast<int>(std::ceil(edge(std::max(x0, x1)))) + margin);
  const int bottom = std::max(0, static_cast<int>(std::floor(edge(std::min(y0, y1)))) - margin);
  const int top =
      std::min(pixels.height, static_cast<int>(std::ceil(edge(std::max(y0, y1)))) + margin);
  if (right <= left || top <= bottom) return {};
  return {left, bottom, right - left, top - bottom};
}

namespace {

bool near(const Bounds& a, const Bounds& b, float gap) {
  return a.minX <= b.maxX + gap && b.minX <= a.maxX + gap && a.minY <= b.maxY + gap &&
         b.minY <= a.maxY + gap;
}

}  // namespace

void ChangedParts::add(const Bounds& box) {
  if (box.empty()) return;
  // Takes in every box the new one meets, growing it, until it meets none.
  Bounds grown = box;
  for (int i = 0; i < count_;) {
    if (near(boxes_[static_cast<size_t>(i)], grown, kNear)) {
      grown.extend(boxes_[static_cast<size_t>(i)]);
      boxes_[static_cast<size_t>(i)] = boxes_[static_cast<size_t>(count_ - 1)];
      --count_;
      i = 0;
    } else {
      ++i;
    }
  }
  if (count_ == kMaxParts) {
    for (int i = 0; i < count_; ++i) grown.extend(boxes_[static_cast<size_t>(i)]);
    count_ = 0;
  }
  boxes_[static_cast<size_t>(count_++)] = grown;
}

}  // namespace QW
