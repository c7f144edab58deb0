#include "dsp/BrevikKernel.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/RelaxedAtomic.h"
#include "dsp/RealFFT.h"

#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define VELDRANA_KERNEL_SSE 1
#endif

// Sized for the largest transform so that a size change on the audio thread
// never needs memory; a smaller N just uses the front of every array.
struct CBrevikKernel::FrameState {
  alignas(16) float input[2][kMaxFftSize];  // input[1 - toggle] is being filled
  alignas(16) float windowed[kMaxFftSize];
  alignas(16) float rawSpectrum[kMaxFftSize];
  alignas(16) float processedSpectrum[kMaxFftSize];
  alignas(16) float output[kMaxFftSize];  // played out over the next N samples
  uint32_t countdown;                     // samples still to gather
  uint32_t toggle;                        // which input buffer holds the previous frame
};

void CBrevikKernel::AlignedFree::operator()(FrameState* p) const {
  std::free(p);
}

namespace {

// Either a transform size the tables were built for, or the nearest valid
// index, so a stray fftSize can never index past the tables.
int32_t tableIndexFor(const KernelSettings& settings) {
  for (int32_t k = 0; k < kFftSizeCount; ++k) {
    if (fftSizeForIndex(k) == settings.fftSize) return k;
  }
  const int32_t k = settings.sizeIndex;
  return k < 0 ? 0 : k >= kFftSizeCount ? kFftSizeCount - 1 : k;
}

// Both peak scans skip NaN operands (a comparison with NaN is false, and
// _mm_max_ps returns its second operand when either is NaN), so a bad sample
// cannot hand the meters a NaN. All arrays are 16-byte aligned and n is a
// multiple of 4.

// windowed = window * in; returns the largest |in|.
float windowAndMeasure(const float* window, const float* in, float* windowed, uint32_t n) {
#if defined(VELDRANA_KERNEL_SSE)
  const __m128 signBit = _mm_set1_ps(-0.0f);
  __m128 peak = _mm_setzero_ps();
  for (uint32_t i = 0; i < n; i += 4) {
    const __m128 x = _mm_load_ps(in + i);
    peak = _mm_max_ps(_mm_andnot_ps(signBit, x), peak);
    _mm_store_ps(windowed + i, _mm_mul_ps(_mm_load_ps(window + i), x));
  }
  peak = _mm_max_ps(_mm_movehl_ps(peak, peak), peak);
  peak = _mm_max_ss(_mm_shuffle_ps(peak, peak, 1), peak);
  return _mm_cvtss_f32(peak);
#else
  float peak = 0.0f;
  for (uint32_t i = 0; i < n; ++i) {
    const float a = in[i] < 0.0f ? -in[i] : in[i];
    if (a > peak) peak = a;
    windowed[i] = window[i] * in[i];
  }
  return peak;
#endif
}

// out = window * (out * gain); returns the largest |out * gain|.
float scaleAndWindow(const float* window, float* out, float gain, uint32_t n) {
#if defined(VELDRANA_KERNEL_SSE)
  const __m128 signBit = _mm_set1_ps(-0.0f);
  const __m128 g = _mm_set1_ps(gain);
  __m128 peak = _mm_setzero_ps();
  for (uint32_t i = 0; i < n; i += 4) {
    const __m128 y = _mm_mul_ps(_mm_load_ps(out + i), g);
    peak = _mm_max_ps(_mm_andnot_ps(signBit, y), peak);
    _mm_store_ps(out + i, _mm_mul_ps(_mm_load_ps(window + i), y));
  }
  peak = _mm_max_ps(_mm_movehl_ps(peak, peak), peak);
  peak = _mm_max_ss(_mm_shuffle_ps(peak, peak, 1), peak);
  return _mm_cvtss_f32(peak);
#else
  float peak = 0.0f;
  for (uint32_t i = 0; i < n; ++i) {
    const float y = out[i] * gain;
    const float a = y < 0.0f ? -y : y;
    if (a > peak) peak = a;
    out[i] = window[i] * y;
  }
  return peak;
#endif
}

// The levels are read straight from the program, which a restored chunk
// may fill with anything and other threads (automation, OSC, the editor)
// change while the audio runs; each is read whole and kept inside 0 ... 1
// (NaN as 0) so that no stored value can make the output non-finite.
// In-range values pass unchanged.
float safeLevel(const float& stored) {
  const float v = rt::relaxedLoad(stored);
  return !(v > 0.0f) ? 0.0f : v < 1.0f ? v : 1.0f;
}

#if defined(VELDRANA_KERNEL_SSE)
// Four levels gathered one word at a time (a vector load is not atomic per
// element). maxps answers its second operand when the first is NaN.
__m128 loadLevels(const float* p) {
  const __m128 raw = _mm_setr_ps(rt::relaxedLoad(p[0]), rt::relaxedLoad(p[1]),
                                 rt::relaxedLoad(p[2]), rt::relaxedLoad(p[3]));
  return _mm_min_ps(_mm_max_ps(raw, _mm_setzero_ps()), _mm_set1_ps(1.0f));
}
#endif

// Scales bin k (real part f[k], imaginary part f[n/2 + k]) by level[k].
// Bins 4 ... n/2 - 1 line up on 16-byte boundaries in both halves, so they go
// four at a time; the three below them and the Nyquist bin go singly.
void applyLevels(float* f, const float* level, uint32_t n) {
  const uint32_t half = n / 2;
  f[0] *= safeLevel(level[0]);
  for (uint32_t k = 1; k < 4; ++k) {
    const float l = safeLevel(level[k]);
    f[k] *= l;
    f[half + k] *= l;
  }
#if defined(VELDRANA_KERNEL_SSE)
  for (uint32_t k = 4; k < half; k += 4) {
    const __m128 l = loadLevels(level + k);
    _mm_store_ps(f + k, _mm_mul_ps(_mm_load_ps(f + k), l));
    _mm_store_ps(f + half + k, _mm_mul_ps(_mm_load_ps(f + half + k), l));
  }
#else
  for (uint32_t k = 4; k < half; ++k) {
    const float l = safeLevel(level[k]);
    f[k] *= l;
    f[half + k] *= l;
  }
#endif
  f[half] *= safeLevel(level[half]);
}

}  // namespace

CBrevikKernel::CBrevikKernel(QwkAuBase* owner, SpectralContext* context, uint32_t channel)
    : AUKernelBase(owner),
      channel_(channel),
      shownRaw_(std::make_unique<float[]>(kMaxFftSize)),
      shownProcessed_(std::make_unique<float[]>(kMaxFftSize)),
      context_(context) {
  void* memory = std::aligned_alloc(alignof(FrameState), 2 * sizeof(FrameState));
  if (!memory) throw std::bad_alloc();
  std::memset(memory, 0, 2 * sizeof(FrameState));
  frames_.reset(static_cast<FrameState*>(memory));
}

CBrevikKernel::~CBrevikKernel() = default;

const float* CBrevikKernel::rawSpectrum() const {
  return frames_[0].rawSpectrum;
}
const float* CBrevikKernel::processedSpectrum() const {
  return frames_[0].processedSpectrum;
}
const float* CBrevikKernel::shownRawSpectrum() const {
  return shownRaw_.get();
}
const float* CBrevikKernel::shownProcessedSpectrum() const {
  return shownProcessed_.get();
}

void CBrevikKernel::Reset() {
  std::memset(frames_.get(), 0, 2 * sizeof(FrameState));
  for (uint32_t i = 0; i < kMaxFftSize; ++i) {
    rt::relaxedStore(shownRaw_[i], 0.0f);
    rt::relaxedStore(shownProcessed_[i], 0.0f);
  }
  inputPeak_ = 0.0f;
  outputPeak_ = 0.0f;
  currentSize_ = 0;
}

void CBrevikKernel::Process(const float* in, float* out, uint32_t frames, uint32_t /*channels*/,
                            bool& silence) {
  silence = false;
  const int32_t sizeIndex = tableIndexFor(context_->settings);
  const auto n = static_cast<uint32_t>(fftSizeForIndex(sizeIndex));
  FrameState& a = frames_[0];
  FrameState& b = frames_[1];
  if (n != currentSize_) {
    Reset();
    currentSize_ = n;
    b.countdown = n / 2;  // B runs half a frame behind A
  }
  if (frames == 0) return;

  in += context_->blockPosition;
  out += context_->blockPosition;
  if (!context_->ffts[sizeIndex] || !context_->windows[sizeIndex]) {
    std::memset(out, 0, sizeof(float) * frames);
    return;
  }

  uint32_t done = 0;
  while (done < frames) {
    uint32_t chunk = frames - done;
    if (a.countdown < chunk) chunk = a.countdown;
    if (b.countdown < chunk) chunk = b.countdown;
    if (chunk > 0) {
      runSamples(in + done, out + done, chunk);
      a.countdown -= chunk;
      b.countdown -= chunk;
      done += chunk;
    }
    // A frame that completes on the block's last sample is processed now,
    // so splitting a block anywhere cannot change what comes out.
    if (a.countdown == 0) processFrame(a, n, sizeIndex);
    if (b.countdown == 0) processFrame(b, n, sizeIndex);
  }
}

void CBrevikKernel::runSamples(const float* in, float* out, uint32_t count) {
  const KernelSettings& s = context_->settings;
  FrameState& a = frames_[0];
  FrameState& b = frames_[1];
  const uint32_t pA = currentSize_ - a.countdown;
  const uint32_t pB = currentSize_ - b.countdown;
  float* const fillA = a.input[1 - a.toggle] + pA;
  float* const fillB = b.input[1 - b.toggle] + pB;
  const float* const previousA = a.input[a.toggle] + pA;
  const float* const outA = a.output + pA;
  const float* const outB = b.output + pB;
  const float inputGain = s.inputGain;
  const float wetGain = s.wetGain;
  const float dryGain = s.dryGain;

  uint32_t j = 0;
#if defined(VELDRANA_KERNEL_SSE)
  const __m128 vIn = _mm_set1_ps(inputGain);
  const __m128 vWet = _mm_set1_ps(wetGain);
  const __m128 vDry = _mm_set1_ps(dryGain);
  for (; j + 4 <= count; j += 4) {
    const __m128 x = _mm_mul_ps(vIn, _mm_loadu_ps(in + j));
    _mm_storeu_ps(fillA + j, x);
    _mm_storeu_ps(fillB + j, x);
    const __m128 wet = _mm_add_ps(_mm_loadu_ps(outA + j), _mm_loadu_ps(outB + j));
    const __m128 dry = _mm_loadu_ps(previousA + j);
    _mm_storeu_ps(out + j, _mm_add_ps(_mm_mul_ps(vWet, wet), _mm_mul_ps(vDry, dry)));
  }
#else
  for (; j + 4 <= count; j += 4) {
    for (uint32_t q = j; q < j + 4; ++q) {
      const float x = inputGain * in[q];
      fillA[q] = x;
      fillB[q] = x;
      out[q] = wetGain * (outA[q] + outB[q]) + dryGain * previousA[q];
    }
  }
#endif
  for (; j < count; ++j) {
    const float x = inputGain * in[j];
    fillA[j] = x;
    fillB[j] = x;
    out[j] = wetGain * (outA[j] + outB[j]) + dryGain * previousA[j];
  }
}

void CBrevikKernel::processFrame(FrameState& state, uint32_t n, int32_t sizeIndex) {
  const KernelSettings& s = context_->settings;
  const float* const window = context_->windows[sizeIndex];
  RealFFT& fft = *context_->ffts[sizeIndex];

  inputPeak_ = windowAndMeasure(window, state.input[1 - state.toggle], state.windowed, n);
  fft.forward(state.rawSpectrum, state.windowed);
  std::memcpy(state.processedSpectrum, state.rawSpectrum, sizeof(float) * n);

  const bool runScript = s.scriptIndex != 0 && context_->scripts != nullptr;
  const auto size = static_cast<int32_t>(n);
  if (runScript && s.scriptBefore)
    context_->scripts->RunSpectralScript(s.scriptIndex, state.processedSpectrum, size);
  if (s.binLevels) applyLevels(state.processedSpectrum, s.binLevels, n);
  if (runScript && !s.scriptBefore)
    context_->scripts->RunSpectralScript(s.scriptIndex, state.processedSpectrum, size);

  if (&state == &frames_[0]) {
    for (uint32_t i = 0; i < n; ++i) {
      rt::relaxedStore(shownRaw_[i], state.rawSpectrum[i]);
      rt::relaxedStore(shownProcessed_[i], state.processedSpectrum[i]);
    }
  }
  fft.inverse(state.processedSpectrum, state.output);
  outputPeak_ = scaleAndWindow(window, state.output, s.outputGain / static_cast<float>(n), n);

  state.toggle = 1 - state.toggle;
  state.countdown = n;
}
