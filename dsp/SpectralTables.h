// The transforms and analysis/synthesis windows for every FFT size, built once
// when the effect is created so that a size change on the audio thread only
// switches pointers.
#pragma once

#include <cstdint>
#include <memory>

#include "dsp/RealFFT.h"
#include "dsp/SpectralContext.h"

class SpectralTables {
 public:
  SpectralTables();
  ~SpectralTables();
  SpectralTables(const SpectralTables&) = delete;
  SpectralTables& operator=(const SpectralTables&) = delete;

  // Points the context's ffts[] and windows[] at these tables; they must
  // outlive every use through the context.
  void attach(SpectralContext& context) const;

  RealFFT& fft(int32_t sizeIndex) const { return *ffts_[sizeIndex]; }
  // fftSizeForIndex(sizeIndex) floats, 16-byte aligned.
  const float* window(int32_t sizeIndex) const { return windows_.get() + windowOffset(sizeIndex); }

  // The square root of a Hann window that is periodic over n - 1 samples, so
  // both ends are 0. Analysis and synthesis both apply it, which makes the
  // overall weighting a Hann window. The arithmetic is single precision on
  // purpose: the shape must not depend on the build's floating-point mode.
  // n must be at least 2.
  static void fillWindow(float* w, int32_t n);

 private:
  struct AlignedFree {
    void operator()(float* p) const;
  };

  // Sizes double from 32, so the windows packed back to back all start on a
  // multiple of 32 floats.
  static int32_t windowOffset(int32_t sizeIndex) {
    return fftSizeForIndex(sizeIndex) - fftSizeForIndex(0);
  }

  std::unique_ptr<RealFFT> ffts_[kFftSizeCount];
  std::unique_ptr<float[], AlignedFree> windows_;
};
