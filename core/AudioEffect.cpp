#include "core/AudioEffect.h"

#include <cstring>

namespace {

AudioEffect* objectOf(vst::AEffect* e) {
  return e ? static_cast<AudioEffect*>(e->object) : nullptr;
}

intptr_t dispatchEffect(vst::AEffect* e, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                        float opt) {
  AudioEffect* effect = objectOf(e);
  if (!effect) return 0;
  const intptr_t result = effect->dispatcher(opcode, index, value, ptr, opt);
  if (opcode == vst::effClose) {
    delete effect;
    return 1;
  }
  return result;
}

void processEffect(vst::AEffect* e, float** inputs, float** outputs, int32_t frames) {
  if (AudioEffect* effect = objectOf(e)) effect->process(inputs, outputs, frames);
}

void processReplacingEffect(vst::AEffect* e, float** inputs, float** outputs, int32_t frames) {
  if (AudioEffect* effect = objectOf(e)) effect->processReplacing(inputs, outputs, frames);
}

void processDoubleEffect(vst::AEffect* e, double** inputs, double** outputs, int32_t frames) {
  if (AudioEffect* effect = objectOf(e)) effect->processDoubleReplacing(inputs, outputs, frames);
}

// Hosts are not to be trusted with indices: out-of-range ones are ignored.
void setParameterEffect(vst::AEffect* e, int32_t index, float value) {
  AudioEffect* effect = objectOf(e);
  if (effect && index >= 0 && index < effect->numParameters()) effect->setParameter(index, value);
}

float getParameterEffect(vst::AEffect* e, int32_t index) {
  AudioEffect* effect = objectOf(e);
  if (effect && index >= 0 && index < effect->numParameters()) return effect->getParameter(index);
  return 0.0f;
}

// Text opcodes get a scratch buffer big enough for anything the effect
// writes, then copy out, so a host's short buffer is never overrun by more
// than it asked for and a null pointer is never written.
constexpr size_t kTextScratch = 256;

}  // namespace

AudioEffect::AudioEffect(vst::HostCallback master, int32_t programs, int32_t params)
    : audioMaster(master), numPrograms(programs), numParams(params) {
  cEffect.magic = vst::kEffectMagic;
  cEffect.dispatcher = dispatchEffect;
  cEffect.process = processEffect;
  cEffect.setParameter = setParameterEffect;
  cEffect.getParameter = getParameterEffect;
  cEffect.numPrograms = programs;
  cEffect.numParams = params;
  cEffect.numInputs = 1;
  cEffect.numOutputs = 2;
  cEffect.flags = 0;
  cEffect.ioRatio = 1.0f;
  cEffect.object = this;
  cEffect.uniqueID = vst::fourCC('N', 'o', 'E', 'f');
  cEffect.version = 1;
  cEffect.processReplacing = processReplacingEffect;
  cEffect.processDoubleReplacing = processDoubleEffect;
}

AudioEffect::~AudioEffect() = default;

void AudioEffect::processReplacing(float** /*inputs*/, float** /*outputs*/, int32_t /*frames*/) {}

void AudioEffect::setEditor(std::unique_ptr<AEffEditor> newEditor) {
  editor = std::move(newEditor);
  setFlag(vst::effFlagsHasEditor, editor != nullptr);
}

intptr_t AudioEffect::callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                               float opt) {
  return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

void AudioEffect::setParameterAutomated(int32_t index, float value) {
  setParameter(index, value);
  callHost(vst::audioMasterAutomate, index, 0, nullptr, value);
}

int32_t AudioEffect::getMasterVersion() {
  const intptr_t version = callHost(vst::audioMasterVersion);
  return version ? static_cast<int32_t>(version) : 1;
}

int32_t AudioEffect::getCurrentUniqueId() {
  return static_cast<int32_t>(callHost(vst::audioMasterCurrentId));
}

void AudioEffect::masterIdle() {
  callHost(vst::audioMasterIdle);
}

intptr_t AudioEffect::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                 float opt) {
  char* text = static_cast<char*>(ptr);
  switch (opcode) {
    case vst::effOpen:
      open();
      return 0;
    case vst::effClose:
      close();
      return 0;
    case vst::effSetProgram:
      if (value >= 0 && value < numPrograms) setProgram(static_cast<int32_t>(value));
      return 0;
    case vst::effGetProgram:
      return getProgram();
    case vst::effSetProgramName:
      if (text) setProgramName(text);
      return 0;
    case vst::effGetProgramName:
      if (text) getProgramName(text);
      return 0;
    case vst::effGetParamLabel:
    case vst::effGetParamDisplay:
    case vst::effGetParamName: {
      if (!text) return 0;
      if (!validParameter(index)) {
        text[0] = '\0';
        return 0;
      }
      char scratch[kTextScratch] = {};
      if (opcode == vst::effGetParamLabel) getParameterLabel(index, scratch);
      if (opcode == vst::effGetParamDisplay) getParameterDisplay(index, scratch);
      if (opcode == vst::effGetParamName) getParameterName(index, scratch);
      std::memcpy(text, scratch, std::strlen(scratch) + 1);
      return 0;
    }
    case vst::effGetVu:
      return static_cast<intptr_t>(getVu() * 32767.0f);
    case vst::effSetSampleRate:
      setSampleRate(opt);
      return 0;
    case vst::effSetBlockSize:
      setBlockSize(static_cast<int32_t>(value));
      return 0;
    case vst::effMainsChanged:
      if (value == 0)
        suspend();
      else
        resume();
      return 0;
    case vst::effEditGetRect:
      if (editor && ptr) return editor->getRect(static_cast<vst::ERect**>(ptr)) ? 1 : 0;
      return 0;
    case vst::effEditOpen:
      if (editor) return editor->open(ptr) ? 1 : 0;
      return 0;
    case vst::effEditClose:
      if (editor) editor->close();
      return 0;
    case vst::effEditIdle:
      if (editor) editor->idle();
      return 0;
    case vst::effIdentify:
      return vst::fourCC('N', 'v', 'E', 'f');
    case vst::effGetChunk:
      if (!ptr) return 0;
      return getChunk(static_cast<void**>(ptr), index != 0);
    case vst::effSetChunk:
      return setChunk(ptr, static_cast<int32_t>(value), index != 0);
    default:
      return 0;
  }
}
