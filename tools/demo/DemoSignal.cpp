// veldrana-demo-signal OUT.wav: a short stereo test piece with something in
// every part of the spectrum: a chord, a logarithmic sine sweep, then
// pink-ish noise, joined by short crossfades.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kPeak = 0.7;  // about -3 dBFS, headroom for the effect
constexpr double kFade = 0.02;

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};

struct Settings {
  std::string path;
  double seconds = 6.0;
  int rate = 48000;
};

[[noreturn]] void usage() {
  std::fprintf(stderr, "usage: veldrana-demo-signal OUT.wav [--seconds S] [--rate R]\n");
  std::exit(2);
}

Settings parse(int argc, char** argv) {
  Settings s;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--seconds" && i + 1 < argc) {
      s.seconds = std::atof(argv[++i]);
      if (!(s.seconds >= 0.1 && s.seconds <= 3600)) usage();
    } else if (arg == "--rate" && i + 1 < argc) {
      s.rate = std::atoi(argv[++i]);
      if (s.rate < 8000 || s.rate > 384000) usage();
    } else if (arg.rfind("--", 0) == 0 || !s.path.empty()) {
      usage();
    } else {
      s.path = arg;
    }
  }
  if (s.path.empty()) usage();
  return s;
}

// Gain of a section that starts at `start` and lasts `length` seconds, with
// short fades so the joins do not click.
double envelope(double t, double start, double length) {
  if (t < start - kFade / 2 || t > start + length + kFade / 2) return 0.0;
  const double in = std::clamp((t - (start - kFade / 2)) / kFade, 0.0, 1.0);
  const double out = std::clamp((start + length + kFade / 2 - t) / kFade, 0.0, 1.0);
  return std::min(in, out);
}

// A minor seventh chord of bright tones, each note panned a little
// differently.
void chord(double t, double& left, double& right) {
  static const double kNotes[] = {110.0, 220.0, 261.63, 329.63, 392.0};
  static const double kPan[] = {0.5, 0.35, 0.65, 0.3, 0.7};
  for (size_t n = 0; n < std::size(kNotes); ++n) {
    double tone = 0.0;
    for (int h = 1; h <= 12; ++h)
      if (kNotes[n] * h < 20000.0) tone += std::sin(2.0 * kPi * kNotes[n] * h * t) / h;
    left += tone * (1.0 - kPan[n]) * 0.25;
    right += tone * kPan[n] * 0.25;
  }
}

// Logarithmic sweep: equal time per octave, so every band gets its share.
double sweep(double t, double length) {
  constexpr double kFrom = 30.0, kTo = 20000.0;
  const double k = std::log(kTo / kFrom);
  const double phase = 2.0 * kPi * kFrom * length / k * (std::exp(t / length * k) - 1.0);
  return 0.6 * std::sin(phase);
}

// Paul Kellet's economy filter turns white noise into a -3 dB/octave slope.
class PinkNoise {
 public:
  explicit PinkNoise(unsigned seed) : random_(seed), white_(-1.0, 1.0) {}
  double next() {
    const double white = white_(random_);
    b0_ = 0.99765 * b0_ + white * 0.0990460;
    b1_ = 0.96300 * b1_ + white * 0.2965164;
    b2_ = 0.57000 * b2_ + white * 1.0526913;
    return (b0_ + b1_ + b2_ + white * 0.1848) * 0.2;
  }

 private:
  std::mt19937 random_;
  std::uniform_real_distribution<double> white_;
  double b0_ = 0, b1_ = 0, b2_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const Settings s = parse(argc, argv);
  const auto frames = static_cast<size_t>(s.seconds * s.rate);
  const double third = s.seconds / 3.0;
  std::vector<float> samples(frames * 2);
  PinkNoise noiseLeft(1), noiseRight(2);
  double peak = 0.0;
  std::vector<double> mixed(frames * 2);
  for (size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / s.rate;
    double left = 0.0, right = 0.0;
    double chordLeft = 0.0, chordRight = 0.0;
    chord(t, chordLeft, chordRight);
    const double chordGain = envelope(t, 0.0, third) * std::exp(-0.4 * t);
    left += chordLeft * chordGain;
    right += chordRight * chordGain;
    const double sweepGain = envelope(t, third, third);
    const double tone = sweepGain > 0.0 ? sweep(t - third, third) * sweepGain : 0.0;
    left += tone;
    right += tone;
    const double noiseGain = envelope(t, 2.0 * third, third);
    left += noiseLeft.next() * noiseGain;
    right += noiseRight.next() * noiseGain;
    mixed[2 * i] = left;
    mixed[2 * i + 1] = right;
    peak = std::max({peak, std::abs(left), std::abs(right)});
  }
  const double gain = peak > 0.0 ? kPeak / peak : 1.0;
  for (size_t i = 0; i < mixed.size(); ++i) samples[i] = static_cast<float>(mixed[i] * gain);

  SF_INFO info{};
  info.channels = 2;
  info.samplerate = s.rate;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
  const std::string temporary = s.path + ".part";
  {
    const std::unique_ptr<SNDFILE, SndfileCloser> file(
        sf_open(temporary.c_str(), SFM_WRITE, &info));
    if (!file) {
      std::fprintf(stderr, "veldrana-demo-signal: cannot write %s: %s\n", s.path.c_str(),
                   sf_strerror(nullptr));
      return 1;
    }
    if (sf_writef_float(file.get(), samples.data(), static_cast<sf_count_t>(frames)) !=
        static_cast<sf_count_t>(frames)) {
      std::fprintf(stderr, "veldrana-demo-signal: cannot write %s: %s\n", s.path.c_str(),
                   sf_strerror(file.get()));
      unlink(temporary.c_str());
      return 1;
    }
  }
  if (std::rename(temporary.c_str(), s.path.c_str()) != 0) {
    std::perror("veldrana-demo-signal: rename");
    unlink(temporary.c_str());
    return 1;
  }
  std::printf(
      "wrote %s: %.1f s, stereo, %d Hz: a chord, a 30 Hz-20 kHz log sweep, then pink noise\n",
      s.path.c_str(), s.seconds, s.rate);
  return 0;
}
