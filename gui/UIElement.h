// The element tree of the editor. Every element belongs to one manager,
// which creates it (Manager::create) and deletes it with itself; groups only
// refer to their children.
//
// Points handed to the mouse operations are in the coordinates of the
// element's parent group, window pixels with the origin at the bottom left.
// Modifiers are the words of InputRecord.h (Alt, Shift, Ctrl).
//
// Input operations run on the window's thread, update/draw/drawOverlay/
// drawLabel/prepareRendering on the render thread; the manager's scene lock
// keeps the two apart.
#pragma once

#include <cstdint>

#include "gui/Bounds.h"
#include "gui/InputRecord.h"

namespace QW {

class Font;
class Group;
class Manager;

class UIElement {
 public:
  explicit UIElement(Manager* manager) : manager_(manager) {}
  virtual ~UIElement() = default;
  UIElement(const UIElement&) = delete;
  UIElement& operator=(const UIElement&) = delete;

  // Once per frame, before drawing.
  virtual void update() {}
  // The overlay pass, in the parent's coordinates.
  virtual void draw() {}
  // The second overlay pass, after every renderer (open lists).
  virtual void drawOverlay() {}
  // Grows box to include this element.
  virtual void extendBounds(Bounds& /*box*/) const {}
  virtual void mouseDown(Point /*point*/, uint32_t /*modifiers*/, int /*clickCount*/) {}
  virtual void mouseDragged(Point /*point*/, uint32_t /*modifiers*/) {}
  virtual void mouseUp(Point /*point*/, uint32_t /*modifiers*/) {}
  virtual void mouseEntered() {}
  virtual void mouseExited() {}
  // The element under point (this one, a child, a region) or null.
  virtual UIElement* hitTest(Point /*point*/) { return nullptr; }
  // True while the element takes every press, the window's own resize
  // corner included (a modal panel).
  virtual bool isModal() const { return false; }
  // After the GL context exists.
  virtual void prepareRendering() {}
  virtual void finishPreparation() {}
  // Static parts drawn into the layer picture, in window pixels.
  virtual void drawLabel(Font* /*font*/) {}
  // A key for the element with the keyboard focus; false when not taken.
  virtual bool keyPressed(int /*key*/) { return false; }
  virtual void focusLost(UIElement* /*newFocus*/) {}
  virtual void setVisible(bool visible) { visible_ = visible; }
  // Called when the element is added to a group.
  virtual void setParent(Group* parent) { parent_ = parent; }

  bool isVisible() const { return visible_; }
  Group* parent() const { return parent_; }
  Manager* manager() const { return manager_; }
  // The element's own box, in its parent's coordinates.
  const Bounds& bounds() const { return box_; }
  void setBounds(const Bounds& box) { box_ = box; }
  // The box in window coordinates: offset by every enclosing group.
  Bounds absoluteBounds() const;
  // The x and y offset of every enclosing group together.
  Point parentOffset() const;

 protected:
  Manager* manager_;
  Group* parent_ = nullptr;
  bool visible_ = true;
  Bounds box_;
};

// An element with a box of its own: it is hit where the box is.
class ControlBase : public UIElement {
 public:
  using UIElement::UIElement;

  void extendBounds(Bounds& box) const override;
  UIElement* hitTest(Point point) override;

  bool snapToSteps() const { return snapToSteps_; }

 protected:
  bool snapToSteps_ = false;
};

}  // namespace QW
