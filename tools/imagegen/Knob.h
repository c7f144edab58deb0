// The knob as a surface: a domed cap with spun-metal rings and an engraved
// pointer, a bevel down to a knurled skirt, and a rounded outer edge.
#pragma once

#include "tools/imagegen/Image.h"

namespace imagegen {

class Knob {
 public:
  // radius in texels. Points are given relative to the knob's centre, in
  // texels, with y growing downwards as image rows do; the pointer faces -y.
  explicit Knob(float radius);

  float radius() const { return radius_; }
  // Height above the panel, in texels.
  float height(float x, float y) const;
  // Tangent-space normal, x right and y up on screen.
  Vec3 normal(float x, float y) const;
  // Opaque colour with the relief lit from the upper left, kept a light,
  // neutral grey so the per-knob tint the editor multiplies in shows.
  Colour colour(float x, float y) const;

 private:
  float pointerDistance(float x, float y) const;

  float radius_;
};

}  // namespace imagegen
