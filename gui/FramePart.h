// Which window pixels a frame redraws when only part of the picture
// changed. Portable: no GL here.
#pragma once

#include <array>

#include "gui/Bounds.h"
#include "gui/ViewGeometry.h"

namespace QW {

// A rectangle of window pixels, origin bottom left, as glScissor takes it.
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool empty() const { return width <= 0 || height <= 0; }
};

// The pixels that hold designBox under the overlay's scale (a design unit
// is xScale, yScale halves of the window's pixels), widened by margin
// pixels on every side and clipped to the window. Empty for an empty box
// or one outside the window.
PixelRect redrawnPixels(const Bounds& designBox, float xScale, float yScale, Size pixels,
                        int margin);

// The boxes of part-only changes noted for one frame. Boxes that meet (or
// come within the margin of each other) become one; beyond kMaxParts
// separate boxes everything becomes one box, as each box costs the frame a
// pass over the whole picture.
class ChangedParts {
 public:
  static constexpr int kMaxParts = 4;

  void add(const Bounds& box);
  void clear() { count_ = 0; }
  bool empty() const { return count_ == 0; }
  int size() const { return count_; }
  const Bounds& operator[](int i) const { return boxes_[static_cast<size_t>(i)]; }

  // Within this many design pixels of each other, two boxes count as met.
  static constexpr float kNear = 4.0f;

 private:
  std::array<Bounds, kMaxParts> boxes_;
  int count_ = 0;
};

}  // namespace QW
