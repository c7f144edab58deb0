// The pixels of a font's glyph atlas: one alpha byte per texel, glyph
// bitmaps packed in rows (shelves). It is plain memory so that glyphs can be
// added while measuring on any thread; GlyphAtlasTexture copies it into GL on
// the render thread.
//
// The atlas only grows downwards (its height doubles when a shelf does not
// fit), so a glyph's texel position never changes; texture coordinates are
// kept in texels and turned into 0..1 by the texture matrix when drawing.
#pragma once

#include <cstdint>
#include <vector>

namespace QW {

class GlyphAtlas {
 public:
  struct Slot {
    int x = 0;
    int y = 0;
  };

  // Width and the largest height in texels (powers of two suit old GL).
  GlyphAtlas(int width, int maxHeight);

  // Copies a bitmap of width × height alpha bytes (rows pitch bytes apart,
  // top row first) into free space; false when it cannot fit.
  bool add(const unsigned char* rows, int pitch, int width, int height, Slot& slot);

  int width() const { return width_; }
  int height() const { return height_; }
  const std::vector<uint8_t>& pixels() const { return pixels_; }
  // Changes whenever the pixels or the size change.
  unsigned revision() const { return revision_; }

 private:
  // Free texels kept around every glyph, so linear filtering never pulls in
  // a neighbour.
  static constexpr int kPadding = 1;

  bool grow(int neededHeight);

  int width_;
  int maxHeight_;
  int height_;
  int shelfX_ = kPadding;
  int shelfY_ = kPadding;
  int shelfHeight_ = 0;
  unsigned revision_ = 0;
  std::vector<uint8_t> pixels_;
};

}  // namespace QW
