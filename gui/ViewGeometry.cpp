#include "gui/ViewGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace QW {

ViewGeometry ViewGeometry::compute(Size window) {
  const float w = static_cast<float>(std::max(window.width, 1));
  const float h = static_cast<float>(std::max(window.height, 1));
  ViewGeometry g;
  g.aspect = w / h;
  g.xScale = 2.0f / w;
  g.yScale = 2.0f / h;
  g.eyeDistance = h / (2.0f * kHalfFieldTangent);
  g.eyeX = w / 2.0f;
  g.eyeY = h / 2.0f;
  g.rect = {0, 0, static_cast<int16_t>(window.height), static_cast<int16_t>(window.width)};
  return g;
}

Size clampWindowSize(Size requested) {
  return {std::clamp(requested.width, 1, kMaxWindowSize.width),
          std::clamp(requested.height, 1, kMaxWindowSize.height)};
}

bool inResizeCorner(Point p, int windowWidth) {
  return p.x - p.y > static_cast<float>(windowWidth - kResizeCorner);
}

Size resizeForDrag(float dx, float dy, Size start, float aspect) {
  const float maxW = static_cast<float>(kMaxWindowSize.width);
  const float maxH = static_cast<float>(kMaxWindowSize.height);
  const float minSide = static_cast<float>(kMinWindowSide);
  float width;
  float height;
  if (std::fabs(dx) > std::fabs(dy)) {
    width = std::clamp(static_cast<float>(start.width) + dx, minSide, maxW);
    height = width / aspect;
    if (height > maxH) {
      height = maxH;
      width = aspect * maxH;
    }
  } else {
    height = std::clamp(static_cast<float>(start.height) + dy, minSide, maxH);
    width = aspect * height;
    if (width > maxW) {
      width = maxW;
      height = maxW / aspect;
    }
  }
  return {std::max(1, static_cast<int>(width)), std::max(1, static_cast<int>(height))};
}

Size scaledPixelSize(Size designPixels, Size window, Size design) {
  if (design.width <= 0 || design.height <= 0) return window;
  return {designPixels.width * window.width / design.width,
          designPixels.height * window.height / design.height};
}

Point toDesignCoordinates(Point p, Size window, Size design) {
  if (window == design || window.width <= 0 || window.height <= 0) return p;
  return {static_cast<float>(design.width) * p.x / static_cast<float>(window.width),
          static_cast<float>(design.height) * p.y / static_cast<float>(window.height)};
}

}  // namespace QW
