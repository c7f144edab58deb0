// TrueType fonts: an FTGL texture font over FreeType for the face, glyphs
// read with FreeType into an atlas of the font's own (see GlyphCache.h for
// why), which the render thread copies into one GL texture.
//
// Sizes are points at 72 dpi times the resolution (1, or 2 when the editor
// renders at double resolution); every length a font reports is multiplied
// by its scale (1 / resolution), so layout stays in window pixels.
//
// All glyph loading, measuring and layout takes the process-wide font lock:
// the layout script measures on the window's thread while render threads
// build glyphs.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class FTTextureFont;

namespace QW {

class GlyphAtlasTexture;
class GlyphCache;

std::recursive_mutex& fontLock();

// The file for a font name: a readable path as given, else the file
// fontconfig matches for the name's family (tahoma.ttf, arial.ttf find
// metric-compatible fonts); empty when there is none, and for a name with a
// '/' that is not a readable file (see FontLookup.h).
std::string findFontFile(const std::string& name);

struct FontCandidate {
  std::string name;
  int size = 0;
};

class Font {
 public:
  struct Extent {
    float width = 0.0f;
    float height = 0.0f;
  };

  // Loads the file; a file FTGL cannot load reports "Unable to load font"
  // and leaves a font that draws nothing and measures 0.
  Font(std::string path, int size);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // The first candidate whose file is found and loads; null when none.
  static std::unique_ptr<Font> pick(const std::vector<FontCandidate>& candidates);

  // At rendering set-up: (re)creates the FTGL font if needed, sets the face
  // size for the resolution and pre-loads the glyphs 32..126.
  void build(int resolution);
  // At rendering tear-down: drops the FTGL font and its glyph atlas.
  void release();

  bool valid() const;
  int size() const { return size_; }
  int resolution() const { return resolution_; }
  float scale() const { return scale_; }
  const std::string& path() const { return path_; }

  float advance(const std::string& text) const;
  Extent measure(const std::string& text) const;
  // Already multiplied by the scale; the descender is negative.
  float ascender() const;
  float descender() const;
  float lineHeight() const;

  // Appends one quad (four vertices of s, t, x, y, z) per character laid out
  // from the pen position (x, y); answers the pen's x after the last one.
  float layout(const std::string& text, float x, float y, std::vector<float>& vertices) const;
  // The GL name of the glyph atlas (0 when there is none). Render thread
  // only: glyphs read since the last call are copied into GL here.
  unsigned int atlasTexture() const;

  // The atlas as atlasTexture() leaves it, with its size: layout's texture
  // coordinates are in texels, because the atlas grows as glyphs come in.
  struct Atlas {
    unsigned int texture = 0;
    int width = 0;
    int height = 0;
  };
  Atlas uploadAtlas() const;

 private:
  // With the font lock held.
  bool loadFace();
  void dropFace();
  int pixelSize() const { return size_ * resolution_; }

  std::string path_;
  int size_;
  int resolution_ = 1;
  float scale_ = 1.0f;
  // FTGL answers the face-wide metrics; the glyphs themselves come from
  // glyphs_, read from the same file at the same size (see GlyphCache.h).
  std::unique_ptr<FTTextureFont> ftFont_;
  std::unique_ptr<GlyphCache> glyphs_;
  std::unique_ptr<GlyphAtlasTexture> atlasTexture_;
};

}  // namespace QW
