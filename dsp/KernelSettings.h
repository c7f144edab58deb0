// The effect's two per-block chores around the kernels: reading the current
// program into the kernels' settings before every sub-block, and following
// the kernels' peaks with the display meters after every host block. Both run
// on the audio thread: no allocation, no lock, no I/O.
#pragma once

#include <cstdint>

#include "core/ViewState.h"
#include "dsp/SpectralContext.h"

class CBrevikKernel;

// values: the current program's plain values, indexed by ParamId; the
// settings keep a pointer to values[kParamBin0Level] onwards, so the array
// must stay where it is while the kernels run.
//
// A program restored from a chunk may hold anything, so every value is made
// safe here rather than trusted:
//  - "FFT Size" truncates and clamps into 0..7; NaN reads as 0, the same
//    mapping the effect uses for the latency it reports.
//  - "Script Index" truncates; NaN and anything below 1 mean no script.
//  - "Dry Level" and "Wet Level" clamp into their range 0..1 (NaN: 0) before
//    they are cubed.
//  - "Input Gain" and "Output Gain" clamp into -80..36 dB before conversion;
//    -80 dB and below, and NaN, are silence (gain exactly 0).
void refreshKernelSettings(KernelSettings& settings, const float* values);

// Decays the first two kernels' input and output meters towards their latest
// frame peaks with a 30 ms time constant over `frames` samples, and points
// the display at their frame-state-A spectra and the current size index.
//  - frames == 0 leaves the meters as they are.
//  - A sample rate that is not a positive finite number falls back to
//    kMeterFallbackRate, so the meters never divide by zero or turn NaN.
//  - A non-finite peak counts as 0, and a meter that is somehow not finite
//    restarts from the peak: the meters are a recursive filter and would
//    otherwise hold a NaN forever.
//  - Meters that decay below 1e-30 (-600 dB) snap to 0 so they never reach
//    the denormal range.
// Null kernels are skipped.
constexpr float kMeterFallbackRate = 44100.0f;
void updateMeters(ViewState& view, CBrevikKernel* const* kernels, int count, uint32_t frames,
                  float sampleRate);
