// The Veldrana effect: owns the parameter table, the MIDI queue, the Lua MIDI
// helper, the OSC service, the per-channel spectral kernels with their
// transforms and windows, the display block and the editor.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/CFTypes.h"
#include "core/MessageQueue.h"
#include "core/QwkAuBase.h"
#include "core/ViewState.h"
#include "dsp/SpectralContext.h"

class CBrevikKernel;
class SpectralTables;

namespace QW {
class LuaMIDIHelper;
class OSCHelper;
}  // namespace QW

struct SpectralScriptEntry {
  std::string name;
  int32_t reference = 0;  // Lua registry reference; 0: no function
};

namespace detail {
// Holds the effect's copy of the parameter table; a base listed before
// QwkAuBase so that the copy exists when QwkAuBase is constructed with it.
struct ParameterTableCopy {
  ParameterTableCopy();
  std::vector<ParamSpec> table;
};
}  // namespace detail

class QwkTonalmire : private detail::ParameterTableCopy, public QwkAuBase {
 public:
  static constexpr int32_t kVersion = 65541;
  static constexpr const char* kName = "Veldrana";
  // The effect's Lua MIDI helper (scripting/BrvkLuaMIDIHelper.h).
  class BrvkLuaMIDIHelper;

  explicit QwkTonalmire(vst::HostCallback audioMaster);
  ~QwkTonalmire() override;

  void resume() override;
  void suspend() override;
  void processReplacing(float** inputs, float** outputs, int32_t frames) override;
  void setParameter(int32_t index, float normalized) override;
  void setProgram(int32_t program) override;
  int32_t getChunk(void** data, bool isPreset) override;
  int32_t setChunk(void* data, int32_t byteSize, bool isPreset) override;
  int32_t processEvents(vst::VstEvents* events) override;
  bool getEffectName(char* name) override;
  bool getProductString(char* text) override;
  int32_t getVendorVersion() override { return kVersion; }
  int32_t canDo(const char* text) override;

  std::unique_ptr<AUKernelBase> CreateKernel() override;
  int32_t GetParameterValueStrings(uint32_t scope, uint32_t parameter, CFArray** out) override;
  int32_t GetProperty(uint32_t property, uint32_t scope, uint32_t element, void* out) override;
  int32_t GetPropertyInfo(uint32_t property, uint32_t scope, uint32_t element, uint32_t* size,
                          bool* writable) override;
  ViewState* ViewStateAddress() override { return &viewState_; }

  virtual void InitEffect();
  virtual void ResetViewActivity();
  virtual int32_t Version() const { return kVersion; }
  virtual const char* DisplayName() const { return kName; }
  virtual const char* ServiceDisplayName() const { return kName; }
  virtual void* Reserved() const { return nullptr; }

  // Appended to by the scripts while they load.
  std::vector<SpectralScriptEntry>& spectralScripts() { return spectralScripts_; }
  QW::LuaMIDIHelper* luaHelper() const { return lua_.get(); }
  QW::OSCHelper* oscHelper() const { return osc_.get(); }
  QW::MessageQueue* messageQueue() const { return queue_.get(); }
  const SpectralContext& spectralContext() const { return context_; }

 private:
  void trackLatency();
  void applyOscPortOffset(bool restart);
  void refreshSettings();
  void processPiece(float** inputs, float** outputs, uint32_t offset, uint32_t frames);
  void updateMeters(uint32_t frames);

  std::unique_ptr<QW::MessageQueue> queue_;
  std::unique_ptr<QW::LuaMIDIHelper> lua_;
  std::unique_ptr<QW::OSCHelper> osc_;
  std::vector<SpectralScriptEntry> spectralScripts_;
  CFRef<CFArray> scriptNames_;
  SpectralContext context_;
  std::unique_ptr<SpectralTables> tables_;
  CBrevikKernel* channelKernels_[2] = {};
  ViewState viewState_{};
  std::atomic<uint32_t> latencyEpoch_{0};  // see trackLatency
};
