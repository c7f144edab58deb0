#include "core/QwkAuBase.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/CFTypes.h"

namespace {

// Texts longer than this are not shown: a value name or value string must
// fit the host's display field.
constexpr size_t kMaxDisplayText = 24;

const char* unitLabel(uint32_t unit) {
  switch (unit) {
    case kAudioUnitParameterUnit_Percent:
      return "%";
    case kAudioUnitParameterUnit_Seconds:
      return "seconds";
    case kAudioUnitParameterUnit_Hertz:
      return "Hz";
    case kAudioUnitParameterUnit_Cents:
      return "cents";
    case kAudioUnitParameterUnit_Decibels:
      return "dB";
    case kAudioUnitParameterUnit_Pan:
      return "L/R";
    case kAudioUnitParameterUnit_BPM:
      return "BPM";
    case kAudioUnitParameterUnit_Beats:
      return "beats";
    case kAudioUnitParameterUnit_Milliseconds:
      return "ms";
    default:
      return "";
  }
}

bool copyIfShort(const CFString* s, char* text) {
  if (!s) return false;
  if (s->length() < kMaxDisplayText) std::memcpy(text, s->c_str(), s->length() + 1);
  return true;
}

void formatMagnitude(float m, char* text, size_t size) {
  const char* format = m < 10.0f ? "%.3f" : m < 100.0f ? "%.2f" : m < 1000.0f ? "%.1f" : "%.0f";
  std::snprintf(text, size, format, static_cast<double>(m));
}

}  // namespace

QwkAuBase::QwkAuBase(vst::HostCallback master, const ParamSpec* table, int32_t params)
    : AudioEffectX(master, 1, params), paramTable_(table) {
  programs_.push_back(std::make_unique<QwkProgramQWvdv1>());
  QwkProgram* program = programs_[0].get();
  for (int32_t i = 0; i < params; ++i) program->setParameter(i, table[i].defaultValue);
  program->setName("Defaults");
  curProgram = 0;
}

QwkAuBase::~QwkAuBase() {
  programs_.clear();
  propertyListeners_.clear();
  kernels_.clear();
  destroyEditor();
}

void QwkAuBase::setUpKernels() {
  for (int32_t c = 0; c < cEffect.numOutputs; ++c) kernels_.push_back(CreateKernel());
}

void QwkAuBase::resume() {
  if ((cEffect.flags & vst::effFlagsIsSynth) || canDo("receiveVstMidiEvent") == 1) wantEvents(1);
}

void QwkAuBase::processReplacing(float** inputs, float** outputs, int32_t frames) {
  bool silence = false;
  for (size_t k = 0; k < kernels_.size(); ++k) {
    if (kernels_[k])
      kernels_[k]->Process(inputs[k], outputs[k], static_cast<uint32_t>(frames), 1, silence);
  }
}

ParameterInfo QwkAuBase::parameterInfo(int32_t index) {
  return ParameterInfo(this, index, paramTable_[index]);
}

void QwkAuBase::setParameter(int32_t index, float normalized) {
  if (!validParameter(index)) return;
  const ParameterInfo p = parameterInfo(index);
  const float plain = fromNormalized(normalized, p.info);
  currentProgram()->setParameter(index, plain);
  if (editor) editor->setParameter(index, plain);
}

float QwkAuBase::getParameter(int32_t index) {
  if (!validParameter(index)) return 0.0f;
  return toNormalized(currentProgram()->getParameter(index), parameterInfo(index).info);
}

void QwkAuBase::setParameterPlain(int32_t index, float plain, bool announce) {
  if (!validParameter(index)) return;
  const float normalized = toNormalized(plain, parameterInfo(index).info);
  setParameter(index, normalized);
  if (announce && audioMaster) callHost(vst::audioMasterAutomate, index, 0, nullptr, normalized);
}

float QwkAuBase::getParameterPlain(int32_t index) const {
  if (!validParameter(index)) return 0.0f;
  return currentProgram()->getParameter(index);
}

void QwkAuBase::setProgramName(char* name) {
  currentProgram()->setName(name);
}

void QwkAuBase::getProgramName(char* name) {
  const char* stored = currentProgram()->getName();
  std::memcpy(name, stored, std::strlen(stored) + 1);
}

bool QwkAuBase::getProgramNameIndexed(int32_t /*category*/, int32_t index, char* text) {
  if (index < 0 || index >= numPrograms) return false;
  const char* stored = programs_[static_cast<size_t>(index)]->getName();
  std::memcpy(text, stored, std::strlen(stored) + 1);
  return true;
}

bool QwkAuBase::getVendorString(char* text) {
  std::strcpy(text, "Quillworks");
  return true;
}

void QwkAuBase::getParameterName(int32_t index, char* text) {
  std::strncpy(text, paramTable_[index].name, 15);
  text[15] = '\0';
}

void QwkAuBase::getParameterLabel(int32_t index, char* label) {
  std::strcpy(label, unitLabel(paramTable_[index].unit));
}

void QwkAuBase::getParameterDisplay(int32_t index, char* text) {
  const float v = currentProgram()->getParameter(index);
  const uint32_t unit = paramTable_[index].unit;

  if (unit == kAudioUnitParameterUnit_Boolean) {
    std::strcpy(text, v != 0.0f ? "On" : "Off");
    return;
  }

  auto stringFromValue = [&]() {
    AudioUnitParameterStringFromValue query{static_cast<uint32_t>(index), nullptr, nullptr};
    if (GetProperty(kAudioUnitProperty_ParameterStringFromValue, 0, 0, &query) != 0) return false;
    if (!query.outString) return false;
    CFRef<CFString> answer(query.outString);
    return copyIfShort(answer.get(), text);
  };

  if (unit == kAudioUnitParameterUnit_Indexed) {
    CFRef<CFArray> names;
    if (GetParameterValueStrings(0, static_cast<uint32_t>(index), names.out()) == 0 && names) {
      // A restored value may lie outside the list (a script that is no
      // longer installed); such a value shows its number instead.
      const int32_t position = truncToInt(v);
      if (position >= 0 && static_cast<size_t>(position) < names->count()) {
        copyIfShort(names->stringAt(static_cast<size_t>(position)), text);
        return;
      }
    } else if (stringFromValue()) {
      return;
    }
    std::snprintf(text, 8, "%d", truncToInt(v));
    return;
  }

  if (stringFromValue()) return;
  if (v < 0.0f) {
    text[0] = '-';
    formatMagnitude(-v, text + 1, kMaxDisplayText - 1);
  } else {
    formatMagnitude(v, text, kMaxDisplayText);
  }
}

int32_t QwkAuBase::GetParameterValueStrings(uint32_t, uint32_t, CFArray**) {
  return kAudioUnitErr_InvalidParameter;
}

int32_t QwkAuBase::GetProperty(uint32_t, uint32_t, uint32_t, void*) {
  return kAudioUnitErr_InvalidProperty;
}

int32_t QwkAuBase::GetPropertyInfo(uint32_t, uint32_t, uint32_t, uint32_t*, bool*) {
  return kAudioUnitErr_InvalidProperty;
}

int32_t QwkAuBase::SetProperty(uint32_t, uint32_t, uint32_t, const void*, uint32_t) {
  return kAudioUnitErr_InvalidProperty;
}

int32_t QwkAuBase::AddPropertyListener(uint32_t property, PropertyListenerProc proc,
                                       void* userData) {
  if (propertyListeners_.empty()) propertyListeners_.reserve(32);
  propertyListeners_.push_back({property, proc, userData});
  return 0;
}

int32_t QwkAuBase::RemovePropertyListener(uint32_t property, PropertyListenerProc proc) {
  for (size_t i = propertyListeners_.size(); i-- > 0;) {
    if (propertyListeners_[i].property == property && propertyListeners_[i].proc == proc)
      propertyListeners_.erase(propertyListeners_.begin() + static_cast<std::ptrdiff_t>(i));
  }
  return 0;
}

int32_t QwkAuBase::ReadProperty(uint32_t property, uint32_t element, void* out) {
  if (property == kAudioUnitProperty_ParameterValueStrings)
    return GetParameterValueStrings(0, element, static_cast<CFArray**>(out));
  return GetProperty(property, 0, element, out);
}

int32_t QwkAuBase::WriteProperty(uint32_t property, uint32_t element, const void* data,
                                 uint32_t size) {
  const int32_t status = SetProperty(property, 0, element, data, size);
  if (status != 0) return status;
  for (const PropertyListener& listener : propertyListeners_) {
    if (listener.property == property) listener.proc(listener.userData, this, property, 0, 0);
  }
  return 0;
}
