#include "gui/UIElement.h"

#include "gui/Group.h"

namespace QW {

Point UIElement::parentOffset() const {
  Point offset;
  for (const Group* g = parent_; g != nullptr; g = g->parent()) {
    offset.x += g->position().x;
    offset.y += g->position().y;
  }
  return offset;
}

Bounds UIElement::absoluteBounds() const {
  const Point offset = parentOffset();
  return box_.offset(offset.x, offset.y);
}

void ControlBase::extendBounds(Bounds& box) const {
  box.extend(box_);
}

UIElement* ControlBase::hitTest(Point point) {
  return box_.contains(point) ? this : nullptr;
}

}  // namespace QW
