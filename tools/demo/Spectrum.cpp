#include "tools/demo/Spectrum.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <stdexcept>

namespace demo {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};

void fft(std::vector<std::complex<double>>& data) {
  const size_t n = data.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(data[i], data[j]);
  }
  for (size_t length = 2; length <= n; length <<= 1) {
    const std::complex<double> step = std::polar(1.0, -2.0 * kPi / static_cast<double>(length));
    for (size_t start = 0; start < n; start += length) {
      std::complex<double> w = 1.0;
      for (size_t k = 0; k < length / 2; ++k) {
        const auto even = data[start + k];
        const auto odd = data[start + k + length / 2] * w;
        data[start + k] = even + odd;
        data[start + k + length / 2] = even - odd;
        w *= step;
      }
    }
  }
}

double toDb(double power) {
  return power > 0.0 ? 10.0 * std::log10(power) : kSilenceDb;
}

}  // namespace

AverageSpectrum::AverageSpectrum(const std::string& path, int fftSize)
    : fftSize_(fftSize), power_(static_cast<size_t>(fftSize) / 2 + 1, 0.0) {
  SF_INFO info{};
  const std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
  sampleRate_ = info.samplerate;
  const int channels = info.channels;
  std::vector<float> samples(static_cast<size_t>(info.frames) * channels);
  const sf_count_t frames = sf_readf_float(file.get(), samples.data(), info.frames);

  const size_t n = static_cast<size_t>(fftSize);
  std::vector<double> window(n);
  double windowSum = 0.0;
  for (size_t i = 0; i < n; ++i) {
    window[i] = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(i) / static_cast<double>(n));
    windowSum += window[i];
  }
  // Scaled so a full-scale sine reads 0 dB in its bin.
  const double scale = 4.0 / (windowSum * windowSum);

  std::vector<std::complex<double>> buffer(n);
  size_t windows = 0;
  const size_t hop = n / 2;
  for (size_t start = 0; start + n <= static_cast<size_t>(frames) || start == 0; start += hop) {
    for (int c = 0; c < channels; ++c) {
      for (size_t i = 0; i < n; ++i) {
        const size_t frame = start + i;
        const double sample =
            frame < static_cast<size_t>(frames) ? samples[frame * channels + c] : 0.0;
        buffer[i] = sample * window[i];
      }
      fft(buffer);
      for (size_t bin = 0; bin < power_.size(); ++bin) power_[bin] += std::norm(buffer[bin]);
      ++windows;
    }
    if (start + n > static_cast<size_t>(frames)) break;
  }
  for (double& p : power_) p *= scale / static_cast<double>(windows);
}

double AverageSpectrum::levelDb(double low, double high) const {
  double sum = 0.0;
  size_t count = 0;
  for (size_t bin = 0; bin < power_.size(); ++bin) {
    const double f = binFrequency(bin);
    if (f >= low && f <= high) sum += power_[bin], ++count;
  }
  if (count > 0) return toDb(sum / count);
  // Narrower than a bin: interpolate the two neighbours in dB.
  const double centre = std::sqrt(low * high);
  const double position = centre * fftSize_ / sampleRate_;
  const size_t below = std::min(static_cast<size_t>(position), power_.size() - 2);
  const double t = position - static_cast<double>(below);
  return (1.0 - t) * toDb(power_[below]) + t * toDb(power_[below + 1]);
}

}  // namespace demo
