#include "dsp/KernelSettings.h"

#include <cmath>

#include "core/ParamIds.h"
#include "core/RelaxedAtomic.h"
#include "dsp/BrevikKernel.h"

namespace {

constexpr float kMinDecibels = -80.0f;
constexpr float kMaxDecibels = 36.0f;
constexpr float kMeterFloor = 1e-30f;

float clampLevel(float v) {
  if (!(v > 0.0f)) return 0.0f;  // NaN too
  return v < 1.0f ? v : 1.0f;
}

float gainFromDecibels(float db) {
  if (!(db > kMinDecibels)) return 0.0f;  // NaN too
  if (db > kMaxDecibels) db = kMaxDecibels;
  return static_cast<float>(std::pow(10.0, static_cast<double>(db) * 0.05));
}

int32_t sizeIndexOf(float v) {
  if (!(v >= 0.0f)) return 0;  // NaN too
  if (v >= static_cast<float>(kFftSizeCount - 1)) return kFftSizeCount - 1;
  return static_cast<int32_t>(v);
}

int32_t scriptIndexOf(float v) {
  if (!(v >= 1.0f)) return 0;                // NaN too
  if (v >= 2147483520.0f) return INT32_MAX;  // largest float below 2^31
  return static_cast<int32_t>(v);
}

// One step of the peak follower.
float follow(float meter, float peak, float decay) {
  if (!std::isfinite(peak)) peak = 0.0f;
  if (!std::isfinite(meter)) meter = peak;
  const float next = peak + (meter - peak) * decay;
  return next < kMeterFloor ? 0.0f : next;
}

}  // namespace

void refreshKernelSettings(KernelSettings& settings, const float* values) {
  // Other threads change the values while the audio runs; each is read whole.
  const auto value = [values](int32_t index) { return rt::relaxedLoad(values[index]); };
  settings.sizeIndex = sizeIndexOf(value(kParamFftSize));
  settings.fftSize = fftSizeForIndex(settings.sizeIndex);
  settings.scriptBefore = value(kParamScriptPosition) != 0.0f;
  settings.scriptIndex = scriptIndexOf(value(kParamScriptIndex));
  settings.binLevels = values + kParamBin0Level;
  const float dry = clampLevel(value(kParamDryLevel));
  const float wet = clampLevel(value(kParamWetLevel));
  settings.dryGain = dry * dry * dry;
  settings.wetGain = wet * wet * wet;
  settings.inputGain = gainFromDecibels(value(kParamInputGain));
  settings.outputGain = gainFromDecibels(value(kParamOutputGain));
}

// The render thread reads the display block while this writes it.
void updateMeters(ViewState& view, CBrevikKernel* const* kernels, int count, uint32_t frames,
                  float sampleRate) {
  if (!kernels || count <= 0) return;
  const int shown = count < 2 ? count : 2;

  if (frames > 0) {
    const double rate = std::isfinite(sampleRate) && sampleRate > 0.0f
                            ? static_cast<double>(sampleRate)
                            : static_cast<double>(kMeterFallbackRate);
    const auto decay = static_cast<float>(std::exp(static_cast<double>(frames) / (rate * -0.03)));
    for (int c = 0; c < shown; ++c) {
      const CBrevikKernel* k = kernels[c];
      if (!k) continue;
      rt::relaxedStore(view.inputMeter[c],
                       follow(rt::relaxedLoad(view.inputMeter[c]), k->inputPeak(), decay));
      rt::relaxedStore(view.outputMeter[c],
                       follow(rt::relaxedLoad(view.outputMeter[c]), k->outputPeak(), decay));
    }
  }

  for (int c = 0; c < shown; ++c) {
    const CBrevikKernel* k = kernels[c];
    if (!k) continue;
    rt::relaxedStore(view.rawSpectrum[c], k->shownRawSpectrum());
    rt::relaxedStore(view.processedSpectrum[c], k->shownProcessedSpectrum());
  }
  for (int c = 0; c < count; ++c) {
    if (kernels[c] && kernels[c]->context()) {
      const int32_t index = kernels[c]->context()->settings.sizeIndex;
      const int32_t shownIndex = index < 0 ? 0 : index >= kFftSizeCount ? kFftSizeCount - 1 : index;
      rt::relaxedStore(view.displaySizeIndex, shownIndex);
      break;
    }
  }
}
