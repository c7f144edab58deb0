// The effect's own Lua MIDI helper: adds the spectral-script functions to
// the scripting state, keeps the indicator values in the effect's display
// block, and runs the chosen spectral script on a frame for the kernels.
#pragma once

#include <bitset>
#include <cstdint>

#include "core/QwkTonalmire.h"
#include "dsp/SpectralContext.h"
#include "scripting/LuaMIDIHelper.h"

class QwkTonalmire::BrvkLuaMIDIHelper : public QW::LuaMIDIHelper, public SpectralScriptHost {
 public:
  // The frame a spectral run works on. Outside a run spectrum is null and
  // the bin functions touch nothing.
  struct SpectrumContext {
    float* spectrum = nullptr;  // packed: N/2 + 1 real parts, then N/2 - 1 imaginary parts
    int32_t maxBin = 0;         // N/2
  };

  BrvkLuaMIDIHelper(QwkTonalmire* effect, QW::MessageQueue* queue,
                    QW::OSCScriptBindings* osc = nullptr);

  void SetGUIBoolValue(int32_t id, bool value) override;
  bool GetGUIBoolValue(int32_t id) override;
  // scriptIndex counts the list with its leading "Off" entry.
  void RunSpectralScript(int32_t scriptIndex, float* spectrum, int32_t fftSize) override;

  SpectrumContext& spectrum() { return spectrum_; }
  QwkTonalmire& tonalmire() const { return *tonalmire_; }

 protected:
  void RegisterFunctions() override;

 private:
  double scriptParameter(int32_t index) const;
  void reportSpectralError(int32_t scriptIndex, const char* name);

  // A failing script fails on every frame; its first error is enough.
  static constexpr size_t kReportedScripts = 256;
  QwkTonalmire* const tonalmire_;
  SpectrumContext spectrum_;
  const bool reportErrors_;
  std::bitset<kReportedScripts> reported_;  // under the Lua lock
};
