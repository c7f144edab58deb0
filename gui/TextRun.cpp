#include "gui/TextRun.h"

#include <algorithm>

#include "gui/Font.h"
#include "gui/TextQuadDrawing.h"

namespace QW {

namespace {
constexpr int kFloatsPerVertex = 5;
}

void TextRunRegistry::add(TextRun* run) {
  std::lock_guard<std::mutex> lock(mutex_);
  runs_.push_back(run);
}

void TextRunRegistry::remove(TextRun* run) {
  std::lock_guard<std::mutex> lock(mutex_);
  runs_.erase(std::remove(runs_.begin(), runs_.end(), run), runs_.end());
}

void TextRunRegistry::clearAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (TextRun* run : runs_) run->clear();
}

TextRun::TextRun(TextRunRegistry* registry) : registry_(registry) {
  if (registry_) registry_->add(this);
}

TextRun::~TextRun() {
  if (registry_) registry_->remove(this);
}

float TextRun::set(Font* font, const std::string& text, float x, float y) {
  if (!font) return endX_;
  // The font is part of the cache too: quads laid out with one font's atlas
  // are meaningless with another's.
  if (laidOut_ && font == font_ && text == text_ && x == x_ && y == y_) return endX_;
  text_ = text;
  x_ = x;
  y_ = y;
  font_ = font;
  vertices_.clear();
  endX_ = font->layout(text_, x_, y_, vertices_);
  laidOut_ = true;
  ++layouts_;
  return endX_;
}

void TextRun::draw(Font* font) const {
  if (!font || vertices_.empty()) return;
  drawTextQuads(font, vertices_.data(), static_cast<int>(vertices_.size()) / kFloatsPerVertex);
}

void TextRun::clear() {
  text_.clear();
  vertices_.clear();
  font_ = nullptr;
  laidOut_ = false;
}

void drawTextQuads(Font* font, const float* vertices, int vertexCount) {
  if (!font || !vertices || vertexCount <= 0) return;
  const TextQuadDrawing drawing(font);
  drawing.draw(vertices, 0, vertexCount);
}

}  // namespace QW
