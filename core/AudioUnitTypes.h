// The Audio Unit vocabulary the effect's parameter and property model uses:
// unit codes, status codes, property identifiers and the records that carry
// property answers. Numbers are those of the published Audio Unit API.
#pragma once

#include <cstdint>

class CFString;

enum AudioUnitParameterUnit : uint32_t {
  kAudioUnitParameterUnit_Generic = 0,
  kAudioUnitParameterUnit_Indexed = 1,
  kAudioUnitParameterUnit_Boolean = 2,
  kAudioUnitParameterUnit_Percent = 3,
  kAudioUnitParameterUnit_Seconds = 4,
  kAudioUnitParameterUnit_Hertz = 8,
  kAudioUnitParameterUnit_Cents = 9,
  kAudioUnitParameterUnit_Decibels = 13,
  kAudioUnitParameterUnit_MixerFaderCurve1 = 17,
  kAudioUnitParameterUnit_Pan = 18,
  kAudioUnitParameterUnit_BPM = 22,
  kAudioUnitParameterUnit_Beats = 23,
  kAudioUnitParameterUnit_Milliseconds = 24,
};

enum AudioUnitStatus : int32_t {
  kAudioUnitNoErr = 0,
  kAudioUnitErr_InvalidParameter = -10878,
  kAudioUnitErr_InvalidProperty = -10879,
};

enum AudioUnitPropertyId : uint32_t {
  kAudioUnitProperty_SampleRate = 2,
  kAudioUnitProperty_ParameterValueStrings = 16,
  kAudioUnitProperty_ParameterStringFromValue = 33,
  // The effect's own properties.
  kQwkProperty_ViewState = 64001,
  kQwkProperty_EditorDisplayName = 64002,
  kQwkProperty_ServiceDisplayName = 64003,
  kQwkProperty_ProductKey = 64004,
  kQwkProperty_Reserved64005 = 64005,
  kQwkProperty_Reserved64006 = 64006,
  kQwkProperty_ParameterCount = 64007,
  kQwkProperty_Reserved64008 = 64008,
  kQwkProperty_OscPortOffset = 64009,
  kQwkProperty_ParameterTable = 64010,
  kQwkProperty_Reserved64011 = 64011,
  kQwkProperty_Reserved64013 = 64013,
};

struct AudioUnitParameterInfo {
  char name[52];
  const char* unitName;
  uint32_t clumpID;
  const char* cfNameString;
  uint32_t unit;
  float minValue;
  float maxValue;
  float defaultValue;
  uint32_t flags;
};

// Property 33's in/out record.
struct AudioUnitParameterStringFromValue {
  uint32_t inParamID;
  const float* inValue;  // null: the parameter's current value
  CFString* outString;
};
static_assert(sizeof(AudioUnitParameterStringFromValue) == 24, "property 33 record size");
