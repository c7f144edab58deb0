// Adds the VST 2.x extended opcodes 25 to 79 and the extended host calls.
#pragma once

#include "core/AudioEffect.h"

class AudioEffectX : public AudioEffect {
 public:
  using AudioEffect::AudioEffect;

  intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) override;

  virtual bool canParameterBeAutomated(int32_t /*index*/) { return true; }
  virtual bool string2parameter(int32_t /*index*/, char* /*text*/) { return false; }
  virtual int32_t getNumCategories() { return 1; }
  virtual bool getProgramNameIndexed(int32_t /*category*/, int32_t /*index*/, char* /*text*/) {
    return false;
  }
  virtual bool copyProgram(int32_t /*destination*/) { return false; }
  virtual bool beginEdit(int32_t index);
  virtual bool endEdit(int32_t index);
  virtual bool ioChanged();
  virtual bool sizeWindow(int32_t width, int32_t height);
  virtual bool updateDisplay();
  virtual bool wantEvents(int32_t filter = 1);
  virtual int32_t processEvents(vst::VstEvents* /*events*/) { return 0; }
  virtual bool getEffectName(char* /*name*/) { return false; }
  virtual bool getVendorString(char* /*text*/) { return false; }
  virtual bool getProductString(char* /*text*/) { return false; }
  virtual int32_t getVendorVersion() { return 0; }
  virtual intptr_t vendorSpecific(int32_t, intptr_t, void*, float) { return 0; }
  virtual int32_t canDo(const char* /*text*/) { return 0; }
  virtual int32_t getTailSize() { return 0; }
  virtual int32_t getVstVersion() { return 2400; }
  virtual int32_t getPlugCategory() { return vst::kPlugCategEffect; }
  virtual bool setBypass(bool /*onOff*/) { return false; }
  virtual int32_t getCurrentMidiProgram(int32_t /*channel*/, void* /*program*/) { return -1; }
  virtual int32_t setTotalSampleToProcess(int32_t value) { return value; }
};
