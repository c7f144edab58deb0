// A copy of one parameter's description for the editor, with the value
// operations controls need: read the current plain value, map between plain
// and normalised, and set a clamped value through the effect.
#pragma once

#include <cstdint>
#include <string>

#include "core/AudioUnitTypes.h"

class QwkAuBase;

namespace QW {

struct ParameterDescriptor {
  int32_t index = -1;
  AudioUnitParameterInfo info{};
  QwkAuBase* effect = nullptr;

  const char* name() const { return info.name; }
  uint32_t unit() const { return info.unit; }
  float minimum() const { return info.minValue; }
  float maximum() const { return info.maxValue; }
  float defaultValue() const { return info.defaultValue; }

  // The current value in the parameter's units (0 without an effect).
  float plain() const;
  float normalise(float plain) const;
  float fromNormalised(float normalised) const;
  // Clamped into the range and set through the effect; announce tells the
  // host (automation).
  void setPlain(float plain, bool announce) const;
  // The effect's display and label texts for the current value.
  std::string display() const;
  std::string label() const;
};

}  // namespace QW
