#include "gui/ParameterDescriptor.h"

#include <algorithm>
#include <cmath>

#include "core/ParameterInfo.h"
#include "core/QwkAuBase.h"

namespace QW {

float ParameterDescriptor::plain() const {
  if (!effect || index < 0) return 0.0f;
  return effect->getParameterPlain(index);
}

float ParameterDescriptor::normalise(float value) const {
  return toNormalized(value, info);
}

float ParameterDescriptor::fromNormalised(float normalised) const {
  return fromNormalized(normalised, info);
}

void ParameterDescriptor::setPlain(float value, bool announce) const {
  if (!effect || index < 0 || std::isnan(value)) return;
  const float clamped = std::min(std::max(value, info.minValue), info.maxValue);
  effect->setParameterPlain(index, clamped, announce);
}

std::string ParameterDescriptor::display() const {
  if (!effect || index < 0) return {};
  char text[256] = {};
  effect->getParameterDisplay(index, text);
  return text;
}

std::string ParameterDescriptor::label() const {
  if (!effect || index < 0) return {};
  char text[256] = {};
  effect->getParameterLabel(index, text);
  return text;
}

}  // namespace QW
