#include "gui/TexturedMeters.h"

#include <GL/glew.h>

#include <cmath>

#include "core/RelaxedAtomic.h"
#include "gui/Manager.h"
#include "gui/Texture.h"

namespace QW {

TexturedMeters::TexturedMeters(Manager* manager, Texture* texture, float u, float v, float width,
                               float height)
    : manager_(manager), texture_(texture), u_(u), v_(v), width_(width), height_(height) {}

void TexturedMeters::addMeter(float x, float y, const float* level) {
  meters_.push_back({x, y, level});
}

float TexturedMeters::barHeight(float level) const {
  // The audio thread may leave anything in the level, NaN included.
  if (!(level > 0.0f)) return 0.0f;
  return std::fmin(level, 1.0f) * height_;
}

void TexturedMeters::update() {
  shownHeights_.resize(meters_.size(), -1.0f);
  bool changed = false;
  for (size_t i = 0; i < meters_.size(); ++i) {
    const float height = barHeight(meters_[i].level ? rt::relaxedLoad(*meters_[i].level) : 0.0f);
    changed = changed || height != shownHeights_[i];
    shownHeights_[i] = height;
  }
  // Only the wells change: nothing else is drawn from the levels.
  if (changed && manager_) manager_->notePictureChangeIn(wells());
}

Bounds TexturedMeters::wells() const {
  Bounds all;
  for (const Meter& meter : meters_)
    all.extend(Bounds::fromRect(meter.x, meter.y, width_, height_));
  return all;
}

TexturedMeters::Bar TexturedMeters::bar(size_t index) const {
  const Meter& meter = meters_[index];
  const float height = barHeight(meter.level ? rt::relaxedLoad(*meter.level) : 0.0f);
  // An unloaded texture has no size; its coordinates then do not matter.
  const float textureWidth =
      texture_ && texture_->width > 0 ? static_cast<float>(texture_->width) : 1.0f;
  const float textureHeight =
      texture_ && texture_->height > 0 ? static_cast<float>(texture_->height) : 1.0f;
  Bar bar{};
  bar.x0 = meter.x;
  bar.y0 = meter.y;
  bar.x1 = meter.x + width_;
  bar.y1 = meter.y + height;
  bar.s0 = u_ / textureWidth;
  bar.s1 = (u_ + width_) / textureWidth;
  bar.tBottom = (v_ + height_) / textureHeight;
  bar.tTop = (v_ + height_ - height) / textureHeight;
  return bar;
}

void TexturedMeters::draw() {
  if (meters_.empty()) return;
  // The wells cover what lies below them, which a frame that redraws only
  // the wells puts back as it was kept.
  if (manager_) {
    const Bounds box = wells();
    if (!manager_->passMeets(box)) return;
    if (!manager_->restoreUnderlay(this)) manager_->keepUnderlay(this, box);
  }
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT);
  glDisable(GL_TEXTURE_2D);
  glColor4f(0.1f, 0.1f, 0.1f, 1.0f);
  glBegin(GL_QUADS);
  for (const Meter& meter : meters_) {
    glVertex2f(meter.x, meter.y);
    glVertex2f(meter.x + width_, meter.y);
    glVertex2f(meter.x + width_, meter.y + height_);
    glVertex2f(meter.x, meter.y + height_);
  }
  glEnd();

  // The strip may be soft-edged; blend it over the dark well.
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture_ ? texture_->glName : 0);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glBegin(GL_QUADS);
  for (size_t i = 0; i < meters_.size(); ++i) {
    const Bar b = bar(i);
    if (b.y1 <= b.y0) continue;
    glTexCoord2f(b.s0, b.tBottom);
    glVertex2f(b.x0, b.y0);
    glTexCoord2f(b.s1, b.tBottom);
    glVertex2f(b.x1, b.y0);
    glTexCoord2f(b.s1, b.tTop);
    glVertex2f(b.x1, b.y1);
    glTexCoord2f(b.s0, b.tTop);
    glVertex2f(b.x0, b.y1);
  }
  glEnd();
  glBindTexture(GL_TEXTURE_2D, 0);
  glPopAttrib();
}

}  // namespace QW
