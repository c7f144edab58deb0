// Radix-2 decimation-in-time real FFT with the packed half-spectrum layout:
// f[0..N/2] real parts of bins 0..N/2, f[N/2+k] = -Im X[k] for k = 1..N/2-1.
// Unnormalised: inverse(forward(x)) == N * x. Built once; a transform never
// allocates and never calls a trigonometric function.
#pragma once

#include <cstdint>
#include <memory>

class RealFFT {
 public:
  explicit RealFFT(int32_t n);  // n: a power of two, at least 1
  ~RealFFT();
  RealFFT(const RealFFT&) = delete;
  RealFFT& operator=(const RealFFT&) = delete;

  // f and x must be different arrays of at least size() floats.
  void forward(float* f, const float* x);
  // f is only read and keeps its contents.
  void inverse(const float* f, float* x);

  int32_t size() const { return n_; }
  int32_t bits() const { return bits_; }
  const int32_t* bitReverseTable() const { return bitReverseTable_.get(); }
  const float* cosTable() const { return cosTable_.get(); }  // null below N = 16
  int32_t cosTableSize() const { return cosTableSize_; }

 private:
  friend struct RealFFTKernels;  // dsp/RealFFTInternal.h: per-instruction-set entry points

  struct AlignedFree {
    void operator()(void* p) const;
  };
  std::unique_ptr<int32_t[], AlignedFree> bitReverseTable_;
  std::unique_ptr<float[], AlignedFree> cosTable_;
  float sqrt2Over2_;
  int32_t n_;
  int32_t bits_;
  std::unique_ptr<float[], AlignedFree> scratch_;
  int32_t cosTableSize_ = 0;
};
