// One opened VST 2.4 effect: loads the library, finds the entry point,
// checks the record, sends effOpen, and on destruction stops processing,
// suspends, sends effClose and unloads, in that order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/VstAbi.h"
#include "tools/host/DynamicLibrary.h"
#include "tools/host/HostContext.h"

namespace vhost {

enum class CanDoAnswer { kNo = -1, kUnknown = 0, kYes = 1 };

class PluginInstance {
 public:
  // Throws HostError (kExitLoad) when the file is not a usable VST 2.4
  // plug-in.
  PluginInstance(const std::string& path, HostContext& host);
  ~PluginInstance();
  PluginInstance(const PluginInstance&) = delete;
  PluginInstance& operator=(const PluginInstance&) = delete;

  const std::string& path() const { return library_.path(); }
  const vst::AEffect& effect() const { return *effect_; }
  HostContext& host() { return host_; }

  intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f);
  // For the opcodes that fill a text buffer; the buffer is much larger than
  // the nominal limits because plug-ins often write past them.
  std::string text(int32_t opcode, int32_t index = 0);

  int32_t numParams() const { return effect_->numParams; }
  int32_t numInputs() const { return effect_->numInputs; }
  int32_t numOutputs() const { return effect_->numOutputs; }
  int32_t latency() const { return effect_->initialDelay; }
  int32_t category();
  CanDoAnswer canDo(const char* capability);

  std::string parameterName(int32_t index) { return text(vst::effGetParamName, index); }
  std::string parameterLabel(int32_t index) { return text(vst::effGetParamLabel, index); }
  std::string parameterDisplay(int32_t index) { return text(vst::effGetParamDisplay, index); }
  float parameter(int32_t index);
  void setParameter(int32_t index, float value);

  // Tells both the plug-in and the host callback's answers.
  void setSampleRate(double rate);
  void setBlockSize(int32_t frames);
  void resume();
  void suspend();
  void startProcess();
  void stopProcess();

  // `program` selects the current program's chunk instead of the bank's.
  // An empty result means the plug-in gave none.
  std::vector<uint8_t> chunk(bool program);
  void setChunk(const std::vector<uint8_t>& data, bool program);

  void processEvents(vst::VstEvents* events);
  void processReplacing(float** inputs, float** outputs, int32_t frames);

 private:
  HostContext& host_;
  DynamicLibrary library_;
  vst::AEffect* effect_ = nullptr;
  bool resumed_ = false;
  bool processing_ = false;
};

}  // namespace vhost
