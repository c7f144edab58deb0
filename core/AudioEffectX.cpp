#include "core/AudioEffectX.h"

#include <cstring>

namespace {
constexpr size_t kTextScratch = 256;

// Copies what the effect wrote into a scratch buffer out to the host's text,
// so a null host pointer is never written through.
template <typename Writer>
intptr_t copyText(void* ptr, Writer write) {
  if (!ptr) return 0;
  char scratch[kTextScratch] = {};
  const bool ok = write(scratch);
  std::memcpy(ptr, scratch, std::strlen(scratch) + 1);
  return ok ? 1 : 0;
}
}  // namespace

bool AudioEffectX::beginEdit(int32_t index) {
  return callHost(vst::audioMasterBeginEdit, index) != 0;
}

bool AudioEffectX::endEdit(int32_t index) {
  return callHost(vst::audioMasterEndEdit, index) != 0;
}

bool AudioEffectX::ioChanged() {
  return callHost(vst::audioMasterIOChanged) != 0;
}

bool AudioEffectX::sizeWindow(int32_t width, int32_t height) {
  return callHost(vst::audioMasterSizeWindow, width, height) != 0;
}

bool AudioEffectX::updateDisplay() {
  return callHost(vst::audioMasterUpdateDisplay) != 0;
}

bool AudioEffectX::wantEvents(int32_t filter) {
  return callHost(vst::audioMasterWantMidi, 0, filter) != 0;
}

intptr_t AudioEffectX::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt) {
  if (opcode < vst::effProcessEvents || opcode > vst::effGetNumMidiOutputChannels)
    return AudioEffect::dispatcher(opcode, index, value, ptr, opt);

  switch (opcode) {
    case vst::effProcessEvents:
      return ptr ? processEvents(static_cast<vst::VstEvents*>(ptr)) : 0;
    case vst::effCanBeAutomated:
      return canParameterBeAutomated(index) ? 1 : 0;
    case vst::effString2Parameter:
      return ptr ? (string2parameter(index, static_cast<char*>(ptr)) ? 1 : 0) : 0;
    case vst::effGetNumProgramCategories:
      return getNumCategories();
    case vst::effGetProgramNameIndexed:
      return copyText(ptr, [&](char* text) {
        return getProgramNameIndexed(static_cast<int32_t>(value), index, text);
      });
    case vst::effCopyProgram:
      return copyProgram(index) ? 1 : 0;
    case vst::effConnectInput:
    case vst::effConnectOutput:
      return 1;
    case vst::effGetPlugCategory:
      return getPlugCategory();
    case vst::effSetBlockSizeAndSampleRate:
      setBlockSize(static_cast<int32_t>(value));
      setSampleRate(opt);
      return 1;
    case vst::effSetBypass:
      return setBypass(value != 0) ? 1 : 0;
    case vst::effGetEffectName:
      return copyText(ptr, [&](char* text) { return getEffectName(text); });
    case vst::effGetVendorString:
      return copyText(ptr, [&](char* text) { return getVendorString(text); });
    case vst::effGetProductString:
      return copyText(ptr, [&](char* text) { return getProductString(text); });
    case vst::effGetVendorVersion:
      return getVendorVersion();
    case vst::effVendorSpecific:
      return vendorSpecific(index, value, ptr, opt);
    case vst::effCanDo:
      return ptr ? canDo(static_cast<const char*>(ptr)) : 0;
    case vst::effGetTailSize:
      return getTailSize();
    case vst::effKeysRequired:
      return 1;
    case vst::effGetVstVersion:
      return getVstVersion();
    case vst::effEditKeyDown:
    case vst::effEditKeyUp: {
      if (!editor) return 0;
      vst::VstKeyCode key{};
      key.character = index;
      key.virt = static_cast<unsigned char>(value);
      key.modifier = static_cast<unsigned char>(static_cast<int32_t>(opt));
      const bool handled =
          opcode == vst::effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
      return handled ? 1 : 0;
    }
    case vst::effSetEditKnobMode:
      return editor && editor->setKnobMode(static_cast<int32_t>(value)) ? 1 : 0;
    case vst::effGetCurrentMidiProgram:
      return getCurrentMidiProgram(index, ptr);
    case vst::effGetSpeakerArrangement:
      if (ptr) *static_cast<void**>(ptr) = nullptr;
      if (value) *reinterpret_cast<void**>(value) = nullptr;
      return 0;
    case vst::effSetTotalSampleToProcess:
      return setTotalSampleToProcess(static_cast<int32_t>(value));
    default:
      return 0;
  }
}
