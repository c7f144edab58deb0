#include "gui/Font.h"

#include <FTGL/ftgl.h>

#include <cmath>

#include "gui/GlyphAtlasTexture.h"
#include "gui/GlyphCache.h"
#include "platform/Diagnostics.h"

namespace QW {

std::recursive_mutex& fontLock() {
  static std::recursive_mutex lock;
  return lock;
}

namespace {

constexpr unsigned char kFirstPreloaded = 32;
constexpr unsigned char kLastPreloaded = 126;
constexpr int kFloatsPerVertex = 5;

// Quad corners go on whole device pixels, so that texels of the atlas meet
// pixels one to one and text stays crisp at either resolution.
float snapped(float devicePixels) {
  return std::floor(devicePixels + 0.5f);
}

}  // namespace

Font::Font(std::string path, int size)
    : path_(std::move(path)), size_(size), atlasTexture_(std::make_unique<GlyphAtlasTexture>()) {
  std::lock_guard<std::recursive_mutex> lock(fontLock());
  if (!loadFace()) platform::showError("Unable to load font");
}

// No GL call here (see GlyphAtlasTexture): release() already deleted the
// atlas texture while the context was current.
Font::~Font() {
  std::lock_guard<std::recursive_mutex> lock(fontLock());
  dropFace();
}

bool Font::loadFace() {
  auto ftFont = std::make_unique<FTTextureFont>(path_.c_str());
  if (ftFont->Error() != 0 ||
      !ftFont->FaceSize(static_cast<unsigned>(std::max(1, pixelSize())), 72))
    return false;
  auto glyphs = std::make_unique<GlyphCache>(path_, pixelSize());
  if (!glyphs->ok()) return false;
  ftFont_ = std::move(ftFont);
  glyphs_ = std::move(glyphs);
  atlasTexture_->invalidate();
  return true;
}

void Font::dropFace() {
  glyphs_.reset();
  ftFont_.reset();
}

std::unique_ptr<Font> Font::pick(const std::vector<FontCandidate>& candidates) {
  for (const FontCandidate& candidate : candidates) {
    const std::string path = findFontFile(candidate.name);
    if (path.empty()) continue;
    auto font = std::make_unique<Font>(path, candidate.size);
    if (font->valid()) return font;
  }
  return nullptr;
}

void Font::build(int resolution) {
  std::lock_guard<std::recursive_mutex> lock(fontLock());
  const int oldPixelSize = pixelSize();
  resolution_ = std::max(1, resolution);
  scale_ = 1.0f / static_cast<float>(resolution_);
  if (!ftFont_ || !glyphs_) {
    if (!loadFace()) return;  // already reported when the font was made
  } else if (pixelSize() != oldPixelSize) {
    // New pixel size: every glyph and the atlas are read again.
    if (!loadFace()) {
      dropFace();
      return;
    }
  }
  for (unsigned c = kFirstPreloaded; c <= kLastPreloaded; ++c)
    glyphs_->glyph(static_cast<unsigned char>(c));
}

void Font::release() {
  std::lock_guard<std::recursive_mutex> lock(fontLock());
  atlasTexture_->release();
  dropFace();
}

bool Font::valid() const {
  std::lock_guard<std::recursive_mutex> lock(fontLock());
  return ftFont_ && glyphs_;
}

float Font::advance(const std::string& text) const {
  std::lock_guard<std::recursive_mutex> lock(fontLock());
  if (!glyphs_) return 0.0f;
  float total = 0.0f;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    total += glyphs_->glyph(c)->advance;
    if (i + 1 < text.size()) total += glyphs_->kerning(c, static_cast<unsigned char>(text[i + 1]));
  }
  return total * scale_;
}

Font::Extent Font::measure(const std::string& text) const {
  std::lock_guard<std::recursive_mutex> lock(fontLock());
  Extent extent;
  if (!glyphs_) return extent;
  for (const char character : text) {
    const GlyphCache::Glyph* glyph = glyphs_->glyph(static_cast<unsigned char>(character));
    extent.width += glyph->advance;
    extent.height = std::max(extent.height, glyph->height);
  }
  extent.width *= scale_;
  extent.height *= scale_;
  return extent;
}

float Font::ascender() const {
  std::lock_guard<std::recursive_mutex> lock(fontLock());
  return ftFont_ ? ftFont_->Ascender() * scale_ : 0.0f;
}

float Font::descender() const {
  std::lock_guard<std::recursive_mutex> lock(fontLock());
  return ftFont_ ? ftFont_->Descender() * scale_ : 0.0f;
}

float Font::lineHeight() const {
  std::lock_guard<std::recursive_mutex> lock(fontLock());
  return ftFont_ ? ftFont_->LineHeight() * scale_ : 0.0f;
}

float Font::layout(const std::string& text, float x, float y, std::vector<float>& vertices) const {
  std::lock_guard<std::recursive_mutex> lock(fontLock());
  if (!glyphs_) return x;
  vertices.reserve(vertices.size() + text.size() * 4 * kFloatsPerVertex);
  const auto resolution = static_cast<float>(resolution_);
  const float baseline = snapped(y * resolution);
  float pen = x * resolution;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const GlyphCache::Glyph& glyph = *glyphs_->glyph(c);
    const float left = (snapped(pen) + static_cast<float>(glyph.left)) * scale_;
    const float right = left + static_cast<float>(glyph.width) * scale_;
    const float top = (baseline + static_cast<float>(glyph.top)) * scale_;
    const float bottom = top - static_cast<float>(glyph.rows) * scale_;
    const auto s0 = static_cast<float>(glyph.slot.x);
    const auto t0 = static_cast<float>(glyph.slot.y);
    const float s1 = s0 + static_cast<float>(glyph.width);
    const float t1 = t0 + static_cast<float>(glyph.rows);
    const float quad[4][kFloatsPerVertex] = {{s0, t0, left, top, 0.0f},
                                             {s0, t1, left, bottom, 0.0f},
                                             {s1, t1, right, bottom, 0.0f},
                                             {s1, t0, right, top, 0.0f}};
    for (const auto& vertex : quad)
      vertices.insert(vertices.end(), vertex, vertex + kFloatsPerVertex);
    pen += glyph.advance;
    if (i + 1 < text.size()) pen += glyphs_->kerning(c, static_cast<unsigned char>(text[i + 1]));
  }
  return pen * scale_;
}

Font::Atlas Font::uploadAtlas() const {
  std::lock_guard<std::recursive_mutex> lock(fontLock());
  Atlas atlas;
  if (!glyphs_) return atlas;
  atlas.texture = atlasTexture_->upload(glyphs_->atlas());
  atlas.width = glyphs_->atlas().width();
  atlas.height = glyphs_->atlas().height();
  return atlas;
}

unsigned int Font::atlasTexture() const {
  return uploadAtlas().texture;
}

}  // namespace QW
