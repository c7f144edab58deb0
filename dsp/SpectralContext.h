// What the per-channel kernels share with the effect that owns them: the
// settings refreshed before every sub-block, the per-size transforms and
// windows, the running offset into the host block, and the hook through
// which a spectral script rewrites a frame.
#pragma once

#include <cstdint>

class RealFFT;

constexpr int kFftSizeCount = 8;  // 32 << 0 ... 32 << 7
constexpr int kMaxFftSize = 4096;
constexpr int kBinCount = kMaxFftSize / 2 + 1;  // 2049 bin level parameters

inline int32_t fftSizeForIndex(int32_t sizeIndex) { return 32 << sizeIndex; }

// Runs the spectral script chosen by scriptIndex (1 = first registered) over a
// packed spectrum of fftSize floats. Index 0 and unknown indices do nothing.
class SpectralScriptHost {
 public:
  virtual ~SpectralScriptHost() = default;
  virtual void RunSpectralScript(int32_t scriptIndex, float* spectrum, int32_t fftSize) = 0;
};

struct KernelSettings {
  float dryGain = 0.0f;
  float wetGain = 0.0f;
  float inputGain = 0.0f;
  float outputGain = 0.0f;
  const float* binLevels = nullptr;  // view of "Bin 0 Level" onwards, 16-byte aligned
  int32_t sizeIndex = 0;
  int32_t fftSize = 32;
  bool scriptBefore = false;
  int32_t scriptIndex = 0;
};

struct SpectralContext {
  KernelSettings settings;
  RealFFT* ffts[kFftSizeCount] = {};
  const float* windows[kFftSizeCount] = {};  // each fftSizeForIndex(k) floats, 16-byte aligned
  uint32_t blockPosition = 0;                // frames of the current host block already done
  SpectralScriptHost* scripts = nullptr;     // may be null: no script runs
};
