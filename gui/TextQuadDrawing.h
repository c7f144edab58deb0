// The GL state for drawing text quads with one font: its atlas bound,
// texturing, alpha test and blending on, while the object lives. Text runs
// draw once through it, a StaticText draws all its runs through one.
// Render thread only.
#pragma once

namespace QW {

class Font;

class TextQuadDrawing {
 public:
  // Draws nothing when there is no font or its atlas has no texture.
  explicit TextQuadDrawing(const Font* font);
  // Turns texturing, alpha test and blending off again.
  ~TextQuadDrawing();
  TextQuadDrawing(const TextQuadDrawing&) = delete;
  TextQuadDrawing& operator=(const TextQuadDrawing&) = delete;

  bool ready() const { return ready_; }
  // Draws count vertices (interleaved s, t, x, y, z; a multiple of four)
  // from first, in the current colour.
  void draw(const float* vertices, int first, int count) const;

 private:
  bool ready_ = false;
  int previousMatrixMode_ = 0;
};

}  // namespace QW
