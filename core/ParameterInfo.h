// The description of one parameter built on demand from its table row, and
// the mapping between the host's normalized values and plain units.
#pragma once

#include <cstdint>

#include "core/AudioUnitTypes.h"
#include "core/ParamSpec.h"

class QwkAuBase;

struct ParameterInfo {
  int32_t index = 0;
  AudioUnitParameterInfo info{};
  QwkAuBase* owner = nullptr;

  ParameterInfo(QwkAuBase* owner, int32_t index, const ParamSpec& row);

  // Clamps into [min, max] and sets the value through the owner, announcing
  // it to the host (the editor controls' entry).
  void setClamped(float plain) const;
};

float fromNormalized(float x, const AudioUnitParameterInfo& info);
float toNormalized(float v, const AudioUnitParameterInfo& info);

// trunc() for values that may come from an untrusted chunk: NaN gives 0 and
// out-of-range values saturate instead of being undefined.
int32_t truncToInt(float v);
