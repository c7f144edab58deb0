// Containers: a group positions its children; a named group adds a title
// and an outline whose colour follows the pointer.
#pragma once

#include <string>
#include <vector>

#include "gui/UIElement.h"

namespace QW {

class Group : public UIElement {
 public:
  using UIElement::UIElement;

  // Appends child, which takes this group as parent and its visibility.
  void add(UIElement* child);
  // Like add, but in front of the other children, so it is hit-tested first.
  void addFirst(UIElement* child);
  const std::vector<UIElement*>& children() const { return children_; }

  void setPosition(float x, float y, float z = 0.0f) { position_ = {x, y, z}; }
  Point position() const { return {position_.x, position_.y}; }

  void update() override;
  void draw() override;
  void drawOverlay() override;
  // The children's union shifted by the position.
  void extendBounds(Bounds& box) const override;
  // Invisible groups are never hit; with the manager's group hit mode on
  // (hover tracking) a point inside the group's own bounds hits the group.
  UIElement* hitTest(Point point) override;
  void setVisible(bool visible) override;

  // The union of the children, positioned (and widened by margins).
  virtual Bounds groupBounds() const;

 protected:
  std::vector<UIElement*> children_;
  struct {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
  } position_;
};

class NamedGroup : public Group {
 public:
  struct Margins {
    float top = 10.0f;
    float bottom = 10.0f;
    float left = 10.0f;
    float right = 10.0f;
  };

  NamedGroup(Manager* manager, std::string name);
  NamedGroup(Manager* manager, std::string name, Margins margins);

  const std::string& name() const { return name_; }
  const Margins& margins() const { return margins_; }
  const Colour& currentColour() const { return current_; }
  const Colour& targetColour() const { return target_; }
  // The title's run in the manager's main-font batch (-1 when none).
  int titleRun() const { return titleRun_; }
  // The frame with a gap for the title, in the parent's coordinates.
  const Point* outline() const { return outline_; }
  static constexpr int kOutlinePoints = 6;
  // The title's start from the left edge.
  static constexpr float kTitleIndent = 10.0f;

  // Where the title sits, across the top edge, in the parent's coordinates
  // (empty without a main font or bounds).
  Bounds titleBounds() const;

  // One frame of the colour animation (draw runs it).
  void animate();

  void draw() override;
  Bounds groupBounds() const override;
  void mouseEntered() override;
  void mouseExited() override;
  // Adds the title to the manager's main-font batch and builds the outline.
  void prepareRendering() override;
  void setVisible(bool visible) override;

 private:
  std::string name_;
  Margins margins_;
  Colour current_;
  Colour target_;
  int titleRun_ = -1;
  Point outline_[kOutlinePoints];
};

}  // namespace QW
