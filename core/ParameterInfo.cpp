#include "core/ParameterInfo.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "core/QwkAuBase.h"

ParameterInfo::ParameterInfo(QwkAuBase* ownerEffect, int32_t paramIndex, const ParamSpec& row)
    : index(paramIndex), owner(ownerEffect) {
  std::strncpy(info.name, row.name ? row.name : "", sizeof(info.name) - 1);
  info.name[sizeof(info.name) - 1] = '\0';
  info.unit = row.unit;
  info.minValue = row.minValue;
  info.maxValue = row.maxValue;
  info.defaultValue = row.defaultValue;
}

void ParameterInfo::setClamped(float plain) const {
  float v = plain;
  if (v >= info.maxValue) v = info.maxValue;
  if (!(v > info.minValue)) v = info.minValue;
  owner->setParameterPlain(index, v, true);
}

float fromNormalized(float x, const AudioUnitParameterInfo& info) {
  const float min = info.minValue;
  const float max = info.maxValue;
  switch (info.unit) {
    case kAudioUnitParameterUnit_Indexed:
    case kAudioUnitParameterUnit_Beats:
      return std::floor((max - min) * x + min + 0.5f);
    case kAudioUnitParameterUnit_Hertz:
      return min * std::exp(std::log(max / min) * x);
    default:
      return (max - min) * x + min;
  }
}

float toNormalized(float v, const AudioUnitParameterInfo& info) {
  const float min = info.minValue;
  const float max = info.maxValue;
  if (info.unit == kAudioUnitParameterUnit_Hertz) return std::log2(v / min) / std::log2(max / min);
  if (max != min) return (v - min) / (max - min);
  return min;
}

int32_t truncToInt(float v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483520.0f) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}
