#include "gui/Button.h"

#include "gui/Font.h"
#include "gui/GlDraw.h"
#include "gui/Manager.h"

namespace QW {

namespace {

const Colour kIdleColour{0.3f, 0.3f, 0.3f, 0.2f};
const Colour kHoverColour{0.8f, 0.4f, 0.1f, 0.3f};

// Each frame the colour moves 15 % of the way to its target.
Colour approach(const Colour& current, const Colour& target) {
  return {0.85f * current.r + 0.15f * target.r, 0.85f * current.g + 0.15f * target.g,
          0.85f * current.b + 0.15f * target.b, 0.85f * current.a + 0.15f * target.a};
}

}  // namespace

Button::Button(Manager* manager, std::string text, Callback callback, float x, float y, float width,
               float height, int32_t id)
    : ControlBase(manager), text_(std::move(text)), callback_(std::move(callback)), id_(id) {
  box_ = Bounds::fromRect(x, y, width, height);
}

void Button::draw() {
  if (!visible_) return;
  gl::outlineRect(box_.minX, box_.minY, box_.maxX, box_.maxY, {0.0f, 1.0f, 0.0f, 1.0f});
}

void Button::mouseDown(Point, uint32_t, int) {
  pressed_ = true;
}

void Button::mouseUp(Point, uint32_t) {
  if (!pressed_) return;
  pressed_ = false;
  released();
  if (callback_) callback_(this);
}

void Button::mouseEntered() {
  manager_->setHoveredId(id_);
}

void Button::mouseExited() {
  if (manager_->hoveredId() == id_) manager_->setHoveredId(Manager::kNoTooltip);
}

VeskButton::VeskButton(Manager* manager, std::string text, Callback callback, float x, float y,
                       float width, float height, int32_t id)
    : Button(manager, std::move(text), std::move(callback), x, y, width, height, id),
      current_(kIdleColour),
      target_(kIdleColour) {}

void VeskButton::animate() {
  current_ = approach(current_, target_);
}

void VeskButton::draw() {
  if (!visible_) return;
  animate();
  gl::blendQuad(box_.minX, box_.minY, box_.maxX, box_.maxY, current_);
}

void VeskButton::mouseEntered() {
  target_ = kHoverColour;
  Button::mouseEntered();
}

void VeskButton::mouseExited() {
  target_ = kIdleColour;
  Button::mouseExited();
}

void VeskButton::prepareRendering() {
  Font* font = manager_->mainFont();
  StaticText* batch = manager_->bannerText();
  if (font == nullptr || batch == nullptr) return;
  const Bounds box = absoluteBounds();
  const float x = box.centreX() - 0.5f * font->advance(text());
  const float y = box.centreY() - 0.5f * font->lineHeight() - font->descender();
  captionRun_ = batch->addRun(text(), x, y, captionColour_);
  batch->setRunVisible(captionRun_, visible_);
}

void VeskButton::setVisible(bool visible) {
  Button::setVisible(visible);
  StaticText* batch = manager_->bannerText();
  // The batch forgets its runs when rendering is torn down.
  if (batch != nullptr && captionRun_ >= 0 && static_cast<size_t>(captionRun_) < batch->runCount())
    batch->setRunVisible(captionRun_, visible);
}

}  // namespace QW
