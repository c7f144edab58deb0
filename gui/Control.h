// An element bound to one effect parameter. It never gets told about
// changes: it reads its parameter's value every frame, so changes from the
// host, MIDI or OSC show up without any notification.
#pragma once

#include <cstdint>

#include "gui/ParameterDescriptor.h"
#include "gui/UIElement.h"

namespace QW {

class Control : public ControlBase {
 public:
  // A parameter the manager does not know leaves the control inert: it
  // shows 0 and changes nothing.
  Control(Manager* manager, int32_t parameterIndex);

  const ParameterDescriptor& descriptor() const { return descriptor_; }
  // The normalised value shown (as of the last update or gesture).
  float value() const { return value_; }

  void update() override;
  void mouseDown(Point point, uint32_t modifiers, int clickCount) override;
  void mouseUp(Point point, uint32_t modifiers) override;
  void mouseEntered() override;
  void mouseExited() override;

 protected:
  bool bound() const { return descriptor_.effect != nullptr; }
  // The parameter's value now, read from the effect.
  float currentPlain() const { return descriptor_.plain(); }
  float currentNormalised() const;
  // Clamped into the range, set through the effect and announced to the
  // host as automation.
  void setPlain(float plain) const;
  void beginEdit();
  void endEdit();

  ParameterDescriptor descriptor_;
  float value_ = 0.0f;
};

}  // namespace QW
