#include "gui/Label.h"

#include <cmath>

#include "gui/Font.h"
#include "gui/GlDraw.h"
#include "gui/Manager.h"

namespace QW {

namespace {

// Room around measured text.
constexpr float kPadding = 3.0f;

}  // namespace

Label::Geometry Label::layout(float textWidth, float emHeight, float x, float y, LabelAlign align,
                              float width, float height) {
  Geometry g;
  g.box.minZ = 0.0f;
  g.box.maxZ = 0.0f;

  if (width == 0.0f) {
    const float w = std::floor(textWidth) + 2.0f * kPadding;
    g.insetX = kPadding;
    float left = x - 0.5f * w;
    if (align == LabelAlign::kLeft) left = x;
    if (align == LabelAlign::kRight) left = x - w;
    g.box.minX = std::floor(left);
    g.box.maxX = g.box.minX + w;
  } else {
    g.box.minX = std::floor(x);
    g.box.maxX = std::floor(x + width);
    g.insetX = std::floor(0.5f * width - 0.5f * textWidth);
  }

  if (height == 0.0f) {
    const float h = std::floor(emHeight) + 2.0f * kPadding;
    g.insetY = kPadding;
    g.box.minY = y - h;
    g.box.maxY = y;
  } else {
    g.box.minY = std::floor(y);
    g.box.maxY = std::floor(y + height);
    g.insetY = std::floor(0.5f * height - 0.5f * emHeight);
  }
  return g;
}

Label::Label(Manager* manager, std::string text, float x, float y, LabelAlign align, float width,
             float height)
    : ControlBase(manager), text_(std::move(text)), run_(&manager->textRuns()) {
  const Font* font = manager->labelFont();
  if (font == nullptr) return;
  const Geometry g =
      layout(font->measure(text_).width, font->measure("M").height, x, y, align, width, height);
  box_ = g.box;
  insetX_ = g.insetX;
  insetY_ = g.insetY;
}

void Label::drawLabel(Font* font) {
  const Bounds box = absoluteBounds();
  if (box.empty()) return;
  gl::blendQuad(box.minX, box.minY, box.maxX, box.maxY, background_);
  if (font == nullptr) return;
  run_.set(font, text_, box.minX + insetX_, box.minY + insetY_);
  gl::setColour(foreground_);
  run_.draw(font);
}

}  // namespace QW
