// The editor's view geometry: projection constants, the aspect-kept resize
// drag and the mapping of points back to the design size. Plain arithmetic,
// shared by the manager and its tests.
#pragma once

#include "core/VstAbi.h"
#include "gui/InputRecord.h"

namespace QW {

struct Size {
  int width = 0;
  int height = 0;
};

inline bool operator==(Size a, Size b) {
  return a.width == b.width && a.height == b.height;
}

// The layer picture bounds the window.
inline constexpr Size kMaxWindowSize{1024, 512};
// Resizing never goes below this, so the scale factors stay finite.
inline constexpr int kMinWindowSide = 8;
// The bottom-right triangle where a press starts a resize.
inline constexpr int kResizeCorner = 16;
inline constexpr float kFieldOfViewDegrees = 65.0f;
// tan(32.5°): with the eye this far away one unit at z = 0 is one pixel.
inline constexpr float kHalfFieldTangent = 0.63707024f;

struct ViewGeometry {
  float aspect = 1.0f;
  float xScale = 2.0f;
  float yScale = 2.0f;
  float eyeDistance = 0.0f;
  float eyeX = 0.0f;
  float eyeY = 0.0f;
  vst::ERect rect{};

  static ViewGeometry compute(Size window);
};

// A layout's window request, kept within the layer picture.
Size clampWindowSize(Size requested);

// True for a press (y counted upward) inside the resize triangle.
bool inResizeCorner(Point p, int windowWidth);

// The window size for a resize drag that has moved dx to the right and dy
// downward since it began at start; keeps aspect and stays within the
// maximum.
Size resizeForDrag(float dx, float dy, Size start, float aspect);

// Pixel size for a resized window: the design's pixel size scaled per axis.
Size scaledPixelSize(Size designPixels, Size window, Size design);

// A point of the (possibly resized) window in design coordinates.
Point toDesignCoordinates(Point p, Size window, Size design);

}  // namespace QW
