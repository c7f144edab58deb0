#include "gui/Knob.h"

#include <algorithm>
#include <cmath>

#include "gui/TexturedKnobRenderer.h"

namespace QW {

namespace {

// Unit codes that choose a knob's tint.
constexpr uint32_t kBooleanUnit = 2;
constexpr uint32_t kSecondsUnit = 4;
constexpr uint32_t kHertzUnit = 8;
constexpr uint32_t kRatioUnit = 10;
constexpr uint32_t kMidiNoteUnit = 11;
constexpr uint32_t kLinearGainUnit = 14;
constexpr uint32_t kMillisecondsUnit = 24;

Colour colourForUnit(uint32_t unit) {
  switch (unit) {
    case kBooleanUnit:
      return {0.7f, 0.7f, 0.8f, 1.0f};
    case kSecondsUnit:
    case kMillisecondsUnit:
      return {0.8f, 0.1f, 0.9f, 1.0f};
    case kHertzUnit:
      return {0.2f, 0.7f, 0.9f, 1.0f};
    case kRatioUnit:
      return {0.0f, 0.5f, 1.0f, 1.0f};
    case kMidiNoteUnit:
      return {0.1f, 0.6f, 0.3f, 1.0f};
    case kLinearGainUnit:
      return {1.0f, 0.2f, 0.2f, 1.0f};
    default:
      return {1.0f, 0.6f, 0.0f, 1.0f};
  }
}

}  // namespace

Knob::Knob(Manager* manager, int32_t parameterIndex, float x, float y, float size)
    : Control(manager, parameterIndex) {
  box_ = Bounds::fromRect(x, y, size, size);
}

float Knob::angleFor(float value) {
  // In double precision so that equal values always give bit-equal angles
  // and the renderer is not rotated again for nothing.
  constexpr double kHalfSweep = 2.356194490192345;  // 3 pi / 4
  constexpr double kUp = 1.5707963267948966;        // pi / 2
  return static_cast<float>((2.0 * static_cast<double>(value) - 1.0) * kHalfSweep + kUp);
}

float Knob::snappedToSteps(float v) const {
  const float lo = descriptor_.minimum();
  const float span = descriptor_.maximum() - lo;
  if (span == 0.0f) return v;
  return (std::floor(lo + span * v + 0.5f) - lo) / span;
}

void Knob::mouseDown(Point point, uint32_t modifiers, int clickCount) {
  const bool alt = (modifiers & kModifierAlt) != 0;
  const bool doubleClick = clickCount >= 2;
  if (bound()) {
    if (alt && doubleClick) {
      setPlain(0.0f);
    } else if (alt || doubleClick) {
      setPlain(descriptor_.defaultValue());
    } else if (snapToSteps_ && descriptor_.minimum() == 0.0f && descriptor_.maximum() == 1.0f) {
      setPlain(1.0f - currentPlain());
    }
  }
  dragStart_ = point;
  dragStartValue_ = currentNormalised();
  value_ = dragStartValue_;
  Control::mouseDown(point, modifiers, clickCount);
}

void Knob::mouseDragged(Point point, uint32_t modifiers) {
  const float sensitivity = (modifiers & kModifierShift) ? kFineSensitivity : kSensitivity;
  float v = (point.y - dragStart_.y) * sensitivity + dragStartValue_;
  v = std::min(std::max(v, 0.0f), 1.0f);
  if (modifiers & kModifierCtrl) v = snappedToSteps(v);
  value_ = v;
  if (!bound()) return;
  float plain = descriptor_.fromNormalised(v);
  if (snapToSteps_) plain = std::floor(plain + 0.5f);
  setPlain(plain);
}

VeskKnob::VeskKnob(Manager* manager, TexturedKnobRenderer* renderer, int32_t parameterIndex,
                   float x, float y, float size)
    : Knob(manager, parameterIndex, x, y, size),
      renderer_(renderer),
      colour_(colourForUnit(descriptor_.unit())) {
  if (descriptor_.unit() == kRatioUnit) snapToSteps_ = true;
  if (renderer_ != nullptr) {
    instance_ = renderer_->addInstance(colour_);
    renderer_->setVisible(instance_, visible_);
  }
}

void VeskKnob::update() {
  Knob::update();
  if (renderer_ == nullptr) return;
  const float angle = angleFor(value_);
  if (angle != renderer_->instance(instance_).angle) renderer_->setAngle(instance_, angle);
}

void VeskKnob::prepareRendering() {
  if (renderer_ == nullptr) return;
  const Bounds box = absoluteBounds();
  renderer_->setCentre(instance_, box.centreX(), box.centreY(), 0.5f * box.width());
}

void VeskKnob::setVisible(bool visible) {
  Knob::setVisible(visible);
  if (renderer_ != nullptr) renderer_->setVisible(instance_, visible);
}

}  // namespace QW
