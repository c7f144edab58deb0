// Helpers shared by the effect tests.
#pragma once

#include <memory>
#include <string>

#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "support/RecordingHost.h"

// What one of the effGetParam... opcodes writes for a parameter.
inline std::string paramText(AudioEffect& effect, int32_t opcode, int32_t index) {
  char text[256] = {};
  effect.getAeffect()->dispatcher(effect.getAeffect(), opcode, index, 0, text, 0);
  return text;
}
inline std::string displayOf(AudioEffect& effect, int32_t index) {
  return paramText(effect, vst::effGetParamDisplay, index);
}
inline std::string labelOf(AudioEffect& effect, int32_t index) {
  return paramText(effect, vst::effGetParamLabel, index);
}
inline std::string nameOf(AudioEffect& effect, int32_t index) {
  return paramText(effect, vst::effGetParamName, index);
}

struct EffectFixture {
  RecordingHost host;
  std::unique_ptr<QwkTonalmire> effect = std::make_unique<QwkTonalmire>(RecordingHost::callback());
  vst::AEffect* aeffect() { return effect->getAeffect(); }
  intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f) {
    return aeffect()->dispatcher(aeffect(), opcode, index, value, ptr, opt);
  }
};
