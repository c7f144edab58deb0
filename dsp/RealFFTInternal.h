// Entry points below RealFFT::forward/inverse that pick the instruction set
// explicitly. The plug-in never needs them; they exist so the tests can hold
// every vector path against the plain scalar one, bit for bit, and so the
// benchmark can time each path on its own.
#pragma once

#include <cstdint>

class RealFFT;

enum class RealFFTIsa { kScalar, kSse2, kAvx2 };

struct RealFFTKernels {
  // Whether this build and this processor can run `isa`.
  static bool supported(RealFFTIsa isa);
  // The instruction set RealFFT::forward/inverse use on this processor.
  static RealFFTIsa preferred();

  // Same contracts as RealFFT::forward/inverse, with `scratch` (fft.size()
  // floats, any alignment) in place of the object's own work buffer. `isa`
  // must be supported(); below 32 points every set runs the scalar code.
  static void forward(RealFFTIsa isa, const RealFFT& fft, float* f, const float* x, float* scratch);
  static void inverse(RealFFTIsa isa, const RealFFT& fft, const float* f, float* x, float* scratch);
};
