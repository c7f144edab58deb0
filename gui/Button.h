// Push buttons: pressing and releasing calls back, wherever the pointer is
// released (the press is what counts).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "gui/UIElement.h"

namespace QW {

class Button : public ControlBase {
 public:
  using Callback = std::function<void(Button*)>;

  // id is the tooltip id shown while the pointer is over the button.
  Button(Manager* manager, std::string text, Callback callback, float x, float y, float width,
         float height, int32_t id);

  const std::string& text() const { return text_; }
  int32_t id() const { return id_; }

  void draw() override;
  void mouseDown(Point point, uint32_t modifiers, int clickCount) override;
  void mouseUp(Point point, uint32_t modifiers) override;
  void mouseEntered() override;
  void mouseExited() override;

 protected:
  // Between the release and the callback; StatefulButton flips here.
  virtual void released() {}

 private:
  std::string text_;
  Callback callback_;
  int32_t id_;
  bool pressed_ = false;
};

// The button the layout script makes: a translucent box that warms up
// under the pointer, its caption in the manager's main-font batch.
class VeskButton : public Button {
 public:
  VeskButton(Manager* manager, std::string text, Callback callback, float x, float y, float width,
             float height, int32_t id);

  const Colour& currentColour() const { return current_; }
  const Colour& targetColour() const { return target_; }

  void draw() override;
  void mouseEntered() override;
  void mouseExited() override;
  void prepareRendering() override;
  // The caption is hidden with the button.
  void setVisible(bool visible) override;

  // One frame of the colour animation (draw runs it).
  void animate();

 private:
  Colour current_;
  Colour target_;
  float captionColour_[4] = {0.8f, 0.8f, 0.8f, 1.0f};
  int captionRun_ = -1;
};

// A toggle: every release flips the state before the callback runs.
class StatefulButton : public VeskButton {
 public:
  using VeskButton::VeskButton;

  bool state() const { return state_; }
  void setState(bool state) { state_ = state; }

 protected:
  void released() override { state_ = !state_; }

 private:
  bool state_ = false;
};

}  // namespace QW
