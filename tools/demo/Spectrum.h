// The average magnitude spectrum of an audio file (Welch's method: Hann
// windows overlapping by half, power averaged over windows and channels).
#pragma once

#include <string>
#include <vector>

namespace demo {

class AverageSpectrum {
 public:
  // Throws std::runtime_error when the file cannot be read as audio.
  AverageSpectrum(const std::string& path, int fftSize);

  double sampleRate() const { return sampleRate_; }
  double nyquist() const { return sampleRate_ / 2.0; }
  // dB relative to a full-scale sine, interpolated between bins below one
  // bin per pixel and averaged over [low, high] above.
  double levelDb(double low, double high) const;

 private:
  double binFrequency(size_t bin) const { return bin * sampleRate_ / fftSize_; }

  double sampleRate_ = 0.0;
  int fftSize_;
  std::vector<double> power_;  // fftSize / 2 + 1 bins
};

constexpr double kSilenceDb = -200.0;

}  // namespace demo
