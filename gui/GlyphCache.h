// The glyphs of one font file at one pixel size, read with FreeType: metrics
// for measuring and layout, and bitmaps packed into a GlyphAtlas.
//
// FTGL's texture font would give the same metrics, but it creates its GL
// texture and uploads each glyph the moment the glyph is first used, on
// whatever thread asks, and it keeps its texture coordinates private. Layout
// scripts measure text on the window's thread, where no GL context is
// current, so glyphs are read here instead, from the same file at the same
// size and with the load flags of FTGL's texture font (no hinting, no
// embedded bitmaps); only the finished atlas goes to GL, on the render
// thread. Callers hold the font lock.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "gui/GlyphAtlas.h"

namespace QW {

class GlyphCache {
 public:
  // Metrics in pixels (y up, from the pen on the baseline).
  struct Glyph {
    float advance = 0.0f;
    float height = 0.0f;  // of the outline's bounding box
    int left = 0;         // bitmap's left edge from the pen
    int top = 0;          // bitmap's top edge above the baseline
    int width = 0;        // bitmap size
    int rows = 0;
    GlyphAtlas::Slot slot;  // bitmap's top-left texel in the atlas
  };

  // Opens the file at pixelSize pixels per em; check ok().
  GlyphCache(const std::string& path, int pixelSize);
  ~GlyphCache();
  GlyphCache(const GlyphCache&) = delete;
  GlyphCache& operator=(const GlyphCache&) = delete;

  bool ok() const { return face_ != nullptr; }
  int pixelSize() const { return pixelSize_; }

  // The glyph of a Latin-1 byte, read on first use (null only when the face
  // could not be opened).
  const Glyph* glyph(unsigned char character);
  // Horizontal kerning between two characters, in pixels.
  float kerning(unsigned char left, unsigned char right) const;

  const GlyphAtlas& atlas() const { return atlas_; }

 private:
  struct Library;
  struct Face;

  static int atlasWidthFor(int pixelSize);
  unsigned glyphIndex(unsigned char character) const;
  Glyph load(unsigned char character);

  int pixelSize_;
  std::unique_ptr<Library> library_;
  std::unique_ptr<Face> face_;
  bool hasKerning_ = false;
  std::array<bool, 256> loaded_{};
  std::array<Glyph, 256> glyphs_{};
  GlyphAtlas atlas_;
};

}  // namespace QW
