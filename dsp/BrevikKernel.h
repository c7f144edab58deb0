// One channel of the spectral effect: a short-time Fourier transform with a
// square-root Hann window at 50 % overlap. Two frame states run the same
// schedule half a frame apart; each gathers N samples, transforms them,
// applies the spectral script and the per-bin levels, transforms back and
// plays the result out over its next N samples, so the latency is exactly N.
#pragma once

#include <cstdint>
#include <memory>

#include "core/AUKernelBase.h"
#include "dsp/SpectralContext.h"

class CBrevikKernel : public AUKernelBase {
 public:
  CBrevikKernel(QwkAuBase* owner, SpectralContext* context, uint32_t channel);
  ~CBrevikKernel() override;

  void Reset() override;
  // in/out are the whole host block's buffers for this channel; the piece
  // starts at context->blockPosition. in and out may be the same buffer.
  void Process(const float* in, float* out, uint32_t frames, uint32_t channels,
               bool& silence) override;

  uint32_t channel() const { return channel_; }
  const SpectralContext* context() const { return context_; }
  // Largest |sample| of the last frame taken (after input gain) and of the
  // last frame produced (after scaling, before the synthesis window).
  float inputPeak() const { return inputPeak_; }
  float outputPeak() const { return outputPeak_; }
  // The N the frame states are laid out for; 0 until the first Process.
  uint32_t currentSize() const { return currentSize_; }
  // Frame state A's spectra, the arrays it works in, for the audio thread
  // and tests. The arrays live as long as the kernel; their contents change
  // whenever state A processes a frame.
  const float* rawSpectrum() const;
  const float* processedSpectrum() const;
  // The same spectra as of state A's last finished frame, for the display on
  // other threads, which read them with rt::relaxedLoad.
  const float* shownRawSpectrum() const;
  const float* shownProcessedSpectrum() const;

 private:
  struct FrameState;
  struct AlignedFree {
    void operator()(FrameState* p) const;
  };

  void processFrame(FrameState& state, uint32_t n, int32_t sizeIndex);
  void runSamples(const float* in, float* out, uint32_t count);

  const uint32_t channel_;
  float inputPeak_ = 0.0f;
  float outputPeak_ = 0.0f;
  std::unique_ptr<FrameState[], AlignedFree> frames_;  // [0] = A, [1] = B
  // Copies for the display, value by value as state A finishes a frame: the
  // working arrays are rewritten by vector stores, the script and memset,
  // which must not meet a reader on another thread.
  std::unique_ptr<float[]> shownRaw_;
  std::unique_ptr<float[]> shownProcessed_;
  uint32_t currentSize_ = 0;  // 0 forces a reset on the next Process
  SpectralContext* const context_;
};
