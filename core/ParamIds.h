// Indices of the effect's parameters; bin n's level is kParamBin0Level + n.
#pragma once

#include <cstdint>

enum ParamId : int32_t {
  kParamOscPortOffset = 0,
  kParamDryLevel = 1,
  kParamWetLevel = 2,
  kParamFftSize = 3,
  kParamViewXAxis = 4,
  kParamViewYAxis = 5,
  kParamViewMinDb = 6,
  kParamViewMaxDb = 7,
  kParamViewMinLinear = 8,
  kParamViewMaxLinear = 9,
  kParamViewSmoothing = 10,
  kParamInputGain = 11,
  kParamOutputGain = 12,
  kParamScriptIndex = 13,
  kParamScriptPosition = 14,
  kParamScripted1 = 15,
  kParamScripted2 = 16,
  kParamScripted3 = 17,
  kParamScripted4 = 18,
  kParamBin0Level = 32,
  kParamCount = 2081,
};
