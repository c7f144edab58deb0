#include "gui/GlyphCache.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

namespace QW {

struct GlyphCache::Library {
  FT_Library handle = nullptr;
  Library() {
    if (FT_Init_FreeType(&handle) != 0) handle = nullptr;
  }
  ~Library() {
    if (handle) FT_Done_FreeType(handle);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
};

struct GlyphCache::Face {
  FT_Face handle = nullptr;
  ~Face() {
    if (handle) FT_Done_Face(handle);
  }
};

namespace {

// FTGL's texture font loads outlines unhinted; the same flags keep advances
// and bitmaps what that font would report.
constexpr FT_Int32 kLoadFlags = FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP;
constexpr int kMaxAtlasSize = 4096;

float fromFixed(FT_Pos value) {
  return static_cast<float>(value) / 64.0f;
}

}  // namespace

int GlyphCache::atlasWidthFor(int pixelSize) {
  // About twelve glyphs a row keeps the atlas roughly square for Latin-1.
  int width = 128;
  while (width < 12 * pixelSize && width < kMaxAtlasSize) width *= 2;
  return width;
}

GlyphCache::GlyphCache(const std::string& path, int pixelSize)
    : pixelSize_(std::max(1, pixelSize)),
      library_(std::make_unique<Library>()),
      atlas_(atlasWidthFor(pixelSize_), kMaxAtlasSize) {
  if (!library_->handle) return;
  auto face = std::make_unique<Face>();
  if (FT_New_Face(library_->handle, path.c_str(), 0, &face->handle) != 0) {
    face->handle = nullptr;
    return;
  }
  FT_Select_Charmap(face->handle, FT_ENCODING_UNICODE);
  if (FT_Set_Char_Size(face->handle, 0, static_cast<FT_F26Dot6>(pixelSize_) * 64, 72, 72) != 0)
    return;
  hasKerning_ = FT_HAS_KERNING(face->handle);
  face_ = std::move(face);
}

GlyphCache::~GlyphCache() {
  // The face belongs to the library: it must go first.
  face_.reset();
  library_.reset();
}

unsigned GlyphCache::glyphIndex(unsigned char character) const {
  // Latin-1 bytes are their own Unicode code points.
  return FT_Get_Char_Index(face_->handle, character);
}

const GlyphCache::Glyph* GlyphCache::glyph(unsigned char character) {
  if (!face_) return nullptr;
  if (!loaded_[character]) {
    glyphs_[character] = load(character);
    loaded_[character] = true;
  }
  return &glyphs_[character];
}

GlyphCache::Glyph GlyphCache::load(unsigned char character) {
  Glyph glyph;
  FT_Face face = face_->handle;
  if (FT_Load_Glyph(face, glyphIndex(character), kLoadFlags) != 0) return glyph;
  const FT_GlyphSlot slot = face->glyph;
  glyph.advance = fromFixed(slot->advance.x);
  glyph.height = fromFixed(slot->metrics.height);
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return glyph;
  const FT_Bitmap& bitmap = slot->bitmap;
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.width == 0 || bitmap.rows == 0)
    return glyph;
  // A negative pitch means the rows are stored bottom up.
  const unsigned char* top = bitmap.buffer;
  if (bitmap.pitch < 0) top += static_cast<std::ptrdiff_t>(bitmap.rows - 1) * -bitmap.pitch;
  GlyphAtlas::Slot place;
  if (!atlas_.add(top, bitmap.pitch, static_cast<int>(bitmap.width), static_cast<int>(bitmap.rows),
                  place))
    return glyph;  // measured and advanced, but nothing to draw
  glyph.left = slot->bitmap_left;
  glyph.top = slot->bitmap_top;
  glyph.width = static_cast<int>(bitmap.width);
  glyph.rows = static_cast<int>(bitmap.rows);
  glyph.slot = place;
  return glyph;
}

float GlyphCache::kerning(unsigned char left, unsigned char right) const {
  if (!face_ || !hasKerning_) return 0.0f;
  FT_Vector delta{0, 0};
  if (FT_Get_Kerning(face_->handle, glyphIndex(left), glyphIndex(right), FT_KERNING_UNFITTED,
                     &delta) != 0)
    return 0.0f;
  return fromFixed(delta.x);
}

}  // namespace QW
