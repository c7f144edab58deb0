// The GL copy of a GlyphAtlas. Only the render thread uses it, with the
// editor's context current; it copies the atlas again whenever the atlas
// changed since the last copy (glyphs read on first use).
#pragma once

namespace QW {

class GlyphAtlas;

class GlyphAtlasTexture {
 public:
  GlyphAtlasTexture() = default;
  // Makes no GL call: by the time a font is destroyed its context is gone,
  // and release() has already deleted the name.
  ~GlyphAtlasTexture() = default;
  GlyphAtlasTexture(const GlyphAtlasTexture&) = delete;
  GlyphAtlasTexture& operator=(const GlyphAtlasTexture&) = delete;

  // The texture name holding the atlas's current pixels (0 when GL failed).
  unsigned int upload(const GlyphAtlas& atlas);
  // The next upload copies everything (the atlas was replaced).
  void invalidate() { uploaded_ = false; }
  // Deletes the GL texture (render thread, context current).
  void release();

 private:
  unsigned int name_ = 0;
  bool uploaded_ = false;
  unsigned revision_ = 0;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace QW
