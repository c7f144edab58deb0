// The few fixed-function drawing helpers the element classes share, so that
// the elements themselves hold no GL calls besides their text runs. All of
// them run on the render thread with a current context, in the coordinates
// of the current model-view matrix (window pixels for the overlay and the
// layer picture).
#pragma once

#include <cstddef>

#include "gui/Bounds.h"
#include "gui/InputRecord.h"

namespace QW {
namespace gl {

// The current colour for what follows (text runs draw in it).
void setColour(const Colour& colour);

// An opaque rectangle.
void fillQuad(float x0, float y0, float x1, float y1, const Colour& colour);
// A rectangle mixed over what is there by its alpha.
void blendQuad(float x0, float y0, float x1, float y1, const Colour& colour);
// The rectangle's edges as one closed line.
void outlineRect(float x0, float y0, float x1, float y1, const Colour& colour);
// An open polyline, blended by the colour's alpha.
void lineStrip(const Point* points, size_t count, const Colour& colour);

// Moves the origin for the life of the object (the matrix is restored on
// destruction), so an early return cannot leave the stack pushed.
class ScopedTranslation {
 public:
  ScopedTranslation(float x, float y, float z);
  ~ScopedTranslation();
  ScopedTranslation(const ScopedTranslation&) = delete;
  ScopedTranslation& operator=(const ScopedTranslation&) = delete;
};

}  // namespace gl
}  // namespace QW
