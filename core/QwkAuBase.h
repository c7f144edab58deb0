// Gives a VST effect the parameter and property model of an Audio Unit: a
// static table of parameters in plain units, programs that store plain
// values, normalized values towards the host, texts from unit codes, and
// numbered property queries through which the other subsystems learn about
// the effect. Audio is processed by one kernel per output channel.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/AUKernelBase.h"
#include "core/AudioEffectX.h"
#include "core/AudioUnitTypes.h"
#include "core/ParamSpec.h"
#include "core/ParameterInfo.h"
#include "core/QwkProgram.h"
#include "core/RelaxedAtomic.h"

class CFArray;
struct ViewState;

using PropertyListenerProc = void (*)(void* userData, QwkAuBase* effect, uint32_t property,
                                      uint32_t scope, uint32_t element);

class QwkAuBase : public AudioEffectX {
 public:
  QwkAuBase(vst::HostCallback audioMaster, const ParamSpec* table, int32_t numParams);
  ~QwkAuBase() override;

  // AudioEffect / AudioEffectX operations.
  void resume() override;
  void processReplacing(float** inputs, float** outputs, int32_t frames) override;
  void setParameter(int32_t index, float normalized) override;
  float getParameter(int32_t index) override;
  void setProgramName(char* name) override;
  void getProgramName(char* name) override;
  void getParameterLabel(int32_t index, char* label) override;
  void getParameterDisplay(int32_t index, char* text) override;
  void getParameterName(int32_t index, char* text) override;
  bool getProgramNameIndexed(int32_t category, int32_t index, char* text) override;
  bool getVendorString(char* text) override;

  // Operations of this class, in slot order.
  virtual std::unique_ptr<AUKernelBase> CreateKernel() { return nullptr; }
  virtual int32_t GetParameterValueStrings(uint32_t scope, uint32_t parameter, CFArray** out);
  virtual int32_t GetProperty(uint32_t property, uint32_t scope, uint32_t element, void* out);
  virtual int32_t GetPropertyInfo(uint32_t property, uint32_t scope, uint32_t element,
                                  uint32_t* size, bool* writable);
  virtual int32_t SetProperty(uint32_t property, uint32_t scope, uint32_t element, const void* data,
                              uint32_t size);
  virtual int32_t AddPropertyListener(uint32_t property, PropertyListenerProc proc, void* userData);
  virtual int32_t RemovePropertyListener(uint32_t property, PropertyListenerProc proc);
  virtual ViewState* ViewStateAddress() = 0;

  // The one entry through which scripts, OSC, the editor and the spectrum
  // display change parameters; announce tells the host (automation).
  void setParameterPlain(int32_t index, float plain, bool announce);
  float getParameterPlain(int32_t index) const;
  ParameterInfo parameterInfo(int32_t index);
  // Property read entry of the scripting layer: 16 goes to the value names.
  int32_t ReadProperty(uint32_t property, uint32_t element, void* out);
  // Property write entry: listeners hear of a property that was accepted.
  int32_t WriteProperty(uint32_t property, uint32_t element, const void* data, uint32_t size);

  QwkProgram* currentProgram() const {
    return programs_[static_cast<size_t>(rt::relaxedLoad(curProgram))].get();
  }
  const ParamSpec* parameterTable() const { return paramTable_; }

 protected:
  // Called once by the derived constructor: one kernel per output channel.
  void setUpKernels();
  const std::vector<std::unique_ptr<AUKernelBase>>& kernels() const { return kernels_; }

 private:
  struct PropertyListener {
    uint32_t property;
    PropertyListenerProc proc;
    void* userData;
  };

  std::vector<std::unique_ptr<QwkProgram>> programs_;
  const ParamSpec* paramTable_;
  std::vector<std::unique_ptr<AUKernelBase>> kernels_;
  std::vector<PropertyListener> propertyListeners_;
};
