#include "dsp/SpectralTables.h"

#include <cmath>
#include <cstdlib>
#include <new>

namespace {
constexpr double kTwoPi = 6.283185307179586476925286766559;
}  // namespace

void SpectralTables::AlignedFree::operator()(float* p) const {
  std::free(p);
}

SpectralTables::SpectralTables() {
  for (int32_t k = 0; k < kFftSizeCount; ++k)
    ffts_[k] = std::make_unique<RealFFT>(fftSizeForIndex(k));

  const int32_t total = windowOffset(kFftSizeCount);
  void* memory = std::aligned_alloc(16, sizeof(float) * static_cast<size_t>(total));
  if (!memory) throw std::bad_alloc();
  windows_.reset(static_cast<float*>(memory));
  for (int32_t k = 0; k < kFftSizeCount; ++k)
    fillWindow(windows_.get() + windowOffset(k), fftSizeForIndex(k));
}

SpectralTables::~SpectralTables() = default;

void SpectralTables::attach(SpectralContext& context) const {
  for (int32_t k = 0; k < kFftSizeCount; ++k) {
    context.ffts[k] = ffts_[k].get();
    context.windows[k] = window(k);
  }
}

void SpectralTables::fillWindow(float* w, int32_t n) {
  const auto theta = static_cast<float>(kTwoPi / static_cast<double>(n - 1));
  for (int32_t i = 0; i < n; ++i) w[i] = sqrtf(0.5f - 0.5f * cosf(static_cast<float>(i) * theta));
}
