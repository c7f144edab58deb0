#include "gui/Control.h"

#include <cstring>

#include "core/AudioUnitTypes.h"
#include "gui/Manager.h"

namespace QW {

namespace {

// The unit codes whose values are whole steps: indexed, boolean, MIDI note
// and beats.
constexpr uint32_t kMidiNoteUnit = 11;

bool snapsToSteps(uint32_t unit) {
  return unit == kAudioUnitParameterUnit_Indexed || unit == kAudioUnitParameterUnit_Boolean ||
         unit == kMidiNoteUnit || unit == kAudioUnitParameterUnit_Beats;
}

}  // namespace

Control::Control(Manager* manager, int32_t parameterIndex) : ControlBase(manager) {
  if (const ParameterDescriptor* known = manager ? manager->parameter(parameterIndex) : nullptr) {
    descriptor_ = *known;
  } else {
    descriptor_.index = parameterIndex;
  }
  snapToSteps_ = snapsToSteps(descriptor_.unit());
}

float Control::currentNormalised() const {
  return bound() ? descriptor_.normalise(currentPlain()) : 0.0f;
}

void Control::setPlain(float plain) const {
  descriptor_.setPlain(plain, true);
}

void Control::beginEdit() {
  if (bound()) manager_->beginParameterEdit(descriptor_.index);
}

void Control::endEdit() {
  if (bound()) manager_->endParameterEdit(descriptor_.index);
}

void Control::update() {
  const float value = currentNormalised();
  // Bitwise, so that a NaN from a host does not count as a change forever.
  if (std::memcmp(&value, &value_, sizeof value) != 0) {
    value_ = value;
    manager_->notePictureChange();
  }
}

void Control::mouseDown(Point, uint32_t, int) {
  beginEdit();
}

void Control::mouseUp(Point, uint32_t) {
  endEdit();
}

void Control::mouseEntered() {
  manager_->setHoveredId(descriptor_.index);
  manager_->setTooltipElement(this);
}

void Control::mouseExited() {
  if (manager_->hoveredId() == descriptor_.index) manager_->setHoveredId(Manager::kNoTooltip);
  // Otherwise the floating tooltip would never fade once the pointer left.
  if (manager_->tooltipElement() == this) manager_->setTooltipElement(nullptr);
}

}  // namespace QW
