#include "gui/Group.h"

#include "gui/GlDraw.h"
#include "gui/Manager.h"
#include "gui/SharedStyle.h"

namespace QW {

// Text batches take a colour as four consecutive floats.
static_assert(sizeof(Colour) == 4 * sizeof(float), "Colour must be four packed floats");

void Group::add(UIElement* child) {
  if (child == nullptr || child == this) return;
  children_.push_back(child);
  child->setParent(this);
  child->setVisible(visible_);
}

void Group::addFirst(UIElement* child) {
  if (child == nullptr || child == this) return;
  children_.insert(children_.begin(), child);
  child->setParent(this);
  child->setVisible(visible_);
}

void Group::update() {
  for (UIElement* child : children_) child->update();
}

void Group::draw() {
  const gl::ScopedTranslation moved(position_.x, position_.y, position_.z);
  for (UIElement* child : children_) {
    // A pass that puts back what lies below an element draws nothing before
    // it; groups are entered, as the element may be inside.
    if (manager_->restorePending() && child != manager_->restoringOwner() &&
        dynamic_cast<Group*>(child) == nullptr)
      continue;
    child->draw();
  }
}

void Group::drawOverlay() {
  const gl::ScopedTranslation moved(position_.x, position_.y, position_.z);
  for (UIElement* child : children_) child->drawOverlay();
}

void Group::extendBounds(Bounds& box) const {
  box.extend(groupBounds());
}

Bounds Group::groupBounds() const {
  Bounds inner;
  for (const UIElement* child : children_) child->extendBounds(inner);
  return inner.offset(position_.x, position_.y);
}

UIElement* Group::hitTest(Point point) {
  if (!visible_) return nullptr;
  const Point local{point.x - position_.x, point.y - position_.y};
  for (UIElement* child : children_) {
    if (UIElement* hit = child->hitTest(local)) return hit;
  }
  if (Manager::hitTestingGroups() && groupBounds().contains(point)) return this;
  return nullptr;
}

void Group::setVisible(bool visible) {
  visible_ = visible;
  for (UIElement* child : children_) child->setVisible(visible);
}

NamedGroup::NamedGroup(Manager* manager, std::string name)
    : NamedGroup(manager, std::move(name), Margins{}) {}

NamedGroup::NamedGroup(Manager* manager, std::string name, Margins margins)
    : Group(manager),
      name_(std::move(name)),
      margins_(margins),
      current_(SharedStyle::groupInactiveColour()),
      target_(current_) {}

Bounds NamedGroup::groupBounds() const {
  Bounds box = Group::groupBounds();
  if (box.empty()) return box;
  box.minX -= margins_.left;
  box.minY -= margins_.bottom;
  box.maxX += margins_.right;
  box.maxY += margins_.top;
  return box;
}

void NamedGroup::animate() {
  current_.r = 0.85f * current_.r + 0.15f * target_.r;
  current_.g = 0.85f * current_.g + 0.15f * target_.g;
  current_.b = 0.85f * current_.b + 0.15f * target_.b;
  current_.a = 0.85f * current_.a + 0.15f * target_.a;
}

void NamedGroup::draw() {
  if (!visible_) return;
  Group::draw();
  animate();
  gl::lineStrip(outline_, kOutlinePoints, current_);
}

void NamedGroup::mouseEntered() {
  target_ = SharedStyle::groupActiveColour();
}

void NamedGroup::mouseExited() {
  target_ = SharedStyle::groupInactiveColour();
}

Bounds NamedGroup::titleBounds() const {
  const Bounds own = groupBounds();
  const Font* font = manager_->mainFont();
  if (own.empty() || font == nullptr) return {};
  const float baseline = own.maxY - 0.5f * font->lineHeight() - font->descender();
  const float left = own.minX + kTitleIndent;
  return Bounds::fromRect(left, baseline + font->descender(), font->advance(name_),
                          font->ascender() - font->descender());
}

void NamedGroup::prepareRendering() {
  titleRun_ = -1;
  const Bounds own = groupBounds();
  if (own.empty()) return;
  // The title lives in a batch drawn in window pixels; the outline is drawn
  // where the group draws, in its parent's coordinates.
  const Point offset = parentOffset();
  const Bounds title = titleBounds().offset(offset.x, offset.y);
  float titleWidth = 0.0f;
  Font* font = manager_->mainFont();
  StaticText* batch = manager_->bannerText();
  if (font != nullptr && batch != nullptr && !title.empty()) {
    // The run keeps a pointer to the colour, so the title follows the
    // animation without being touched again.
    titleRun_ = batch->addRun(name_, title.minX, title.minY - font->descender(), &current_.r);
    batch->setRunVisible(titleRun_, visible_);
    titleWidth = title.width();
  }
  outline_[0] = {own.minX + kTitleIndent, own.maxY};
  outline_[1] = {own.minX, own.maxY};
  outline_[2] = {own.minX, own.minY};
  outline_[3] = {own.maxX, own.minY};
  outline_[4] = {own.maxX, own.maxY};
  outline_[5] = {own.minX + kTitleIndent + titleWidth, own.maxY};
}

void NamedGroup::setVisible(bool visible) {
  Group::setVisible(visible);
  StaticText* batch = manager_->bannerText();
  // The batch forgets its runs when rendering is torn down.
  if (batch != nullptr && titleRun_ >= 0 && static_cast<size_t>(titleRun_) < batch->runCount())
    batch->setRunVisible(titleRun_, visible);
}

}  // namespace QW
