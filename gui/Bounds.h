// Boxes and colours of the element tree. A box is six floats (minimum and
// maximum corner, z unused by this editor) and starts empty, so the union of
// nothing stays empty.
#pragma once

#include <algorithm>

#include "gui/InputRecord.h"

namespace QW {

struct Colour {
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
  float a = 1.0f;
};

struct Bounds {
  float minX = 1e10f;
  float minY = 1e10f;
  float minZ = 1e10f;
  float maxX = -1e10f;
  float maxY = -1e10f;
  float maxZ = -1e10f;

  static Bounds fromRect(float x, float y, float width, float height) {
    return {x, y, 0.0f, x + width, y + height, 0.0f};
  }

  bool empty() const { return minX > maxX || minY > maxY; }
  // Edges included.
  bool contains(Point p) const { return p.x >= minX && p.x <= maxX && p.y >= minY && p.y <= maxY; }
  float width() const { return maxX - minX; }
  float height() const { return maxY - minY; }
  float centreX() const { return 0.5f * (minX + maxX); }
  float centreY() const { return 0.5f * (minY + maxY); }

  void extend(const Bounds& other) {
    minX = std::min(minX, other.minX);
    minY = std::min(minY, other.minY);
    minZ = std::min(minZ, other.minZ);
    maxX = std::max(maxX, other.maxX);
    maxY = std::max(maxY, other.maxY);
    maxZ = std::max(maxZ, other.maxZ);
  }

  // The same box moved; an empty box stays empty.
  Bounds offset(float dx, float dy) const {
    if (empty()) return *this;
    Bounds b = *this;
    b.minX += dx;
    b.maxX += dx;
    b.minY += dy;
    b.maxY += dy;
    return b;
  }
};

}  // namespace QW
