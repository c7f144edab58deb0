// Knobs: a vertical drag turns the value (upward increases, 200 pixels for
// the whole range, ten times finer with Shift, whole steps with Ctrl), a
// click toggles an on/off parameter, Alt or a double click resets it.
#pragma once

#include <cstdint>

#include "gui/Control.h"

namespace QW {

class TexturedKnobRenderer;

class Knob : public Control {
 public:
  static constexpr float kSensitivity = 0.005f;       // per pixel
  static constexpr float kFineSensitivity = 0.0005f;  // per pixel, with Shift

  // The box is the square (x, y) to (x + size, y + size).
  Knob(Manager* manager, int32_t parameterIndex, float x, float y, float size);

  // The knob's rotation in radians for a normalised value: a 270 degree
  // sweep centred on straight up.
  static float angleFor(float value);

  void mouseDown(Point point, uint32_t modifiers, int clickCount) override;
  void mouseDragged(Point point, uint32_t modifiers) override;

 private:
  // v snapped to the parameter's whole steps, still normalised.
  float snappedToSteps(float v) const;

  Point dragStart_;
  float dragStartValue_ = 0.0f;
};

// The knob the layout script makes: drawn by a shared textured renderer
// (not owned, may be null: then only the gestures work), tinted by the
// parameter's unit.
class VeskKnob : public Knob {
 public:
  VeskKnob(Manager* manager, TexturedKnobRenderer* renderer, int32_t parameterIndex, float x,
           float y, float size);

  const Colour& colour() const { return colour_; }
  // The knob's instance in the renderer (-1 without a renderer).
  int rendererInstance() const { return instance_; }

  void update() override;
  void prepareRendering() override;
  void setVisible(bool visible) override;

 private:
  TexturedKnobRenderer* renderer_;
  int instance_ = -1;
  Colour colour_;
};

}  // namespace QW
