// veldrana-spectrum-plot IN OUT PNG: the average magnitude spectra of two
// audio files (typically before and after an effect) on one log-frequency
// plot, so a change in the spectrum can be seen at a glance.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/demo/Canvas.h"
#include "tools/demo/Spectrum.h"

namespace demo {
namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 720;
constexpr int kLeft = 90, kRight = 1170, kTop = 80, kBottom = 630;
constexpr double kRangeDb = 100.0;
constexpr double kLowestFrequency = 20.0;

constexpr Colour kBackground{255, 255, 255};
constexpr Colour kPlotBackground{250, 250, 252};
constexpr Colour kGrid{200, 204, 212};
constexpr Colour kGridMinor{228, 230, 236};
constexpr Colour kInk{40, 44, 52};
constexpr Colour kInputColour{52, 101, 164};
constexpr Colour kOutputColour{226, 112, 20};
constexpr Colour kBandColour{255, 214, 102};

struct Settings {
  std::string input, output, png;
  std::string title = "Average magnitude spectrum";
  int fftSize = 4096;
  std::optional<std::pair<double, double>> band;
};

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: veldrana-spectrum-plot IN OUT PNG [--band LOW_HZ HIGH_HZ] [--title TEXT] "
               "[--fft N]\n");
  std::exit(2);
}

double number(const char* text) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (*end != '\0' || !std::isfinite(value)) usage();
  return value;
}

Settings parse(int argc, char** argv) {
  Settings s;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--band" && i + 2 < argc) {
      s.band = std::make_pair(number(argv[i + 1]), number(argv[i + 2]));
      i += 2;
    } else if (arg == "--title" && i + 1 < argc) {
      s.title = argv[++i];
    } else if (arg == "--fft" && i + 1 < argc) {
      s.fftSize = static_cast<int>(number(argv[++i]));
      if (s.fftSize < 64 || s.fftSize > 65536 || (s.fftSize & (s.fftSize - 1))) usage();
    } else if (arg.rfind("--", 0) == 0) {
      usage();
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 3) usage();
  s.input = positional[0];
  s.output = positional[1];
  s.png = positional[2];
  return s;
}

std::string baseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string frequencyLabel(double f) {
  char text[16];
  if (f >= 1000.0)
    std::snprintf(text, sizeof text, "%gk", f / 1000.0);
  else
    std::snprintf(text, sizeof text, "%g", f);
  return text;
}

class Plot {
 public:
  Plot(double highestFrequency, double topDb)
      : canvas_(kWidth, kHeight, kBackground), high_(highestFrequency), topDb_(topDb) {}

  Canvas& canvas() { return canvas_; }
  double x(double frequency) const {
    return kLeft + (kRight - kLeft) * std::log(frequency / kLowestFrequency) /
                       std::log(high_ / kLowestFrequency);
  }
  double frequency(double px) const {
    return kLowestFrequency * std::pow(high_ / kLowestFrequency, (px - kLeft) / (kRight - kLeft));
  }
  double y(double db) const {
    const double clamped = std::clamp(db, topDb_ - kRangeDb, topDb_);
    return kTop + (kBottom - kTop) * (topDb_ - clamped) / kRangeDb;
  }

  void frame(const std::string& title) {
    canvas_.fillRect(kLeft, kTop, kRight, kBottom, kPlotBackground);
    canvas_.text(kLeft, 24, title, kInk, 3);
  }

  void band(double low, double high) {
    const int x0 = static_cast<int>(std::lround(x(std::max(low, kLowestFrequency))));
    const int x1 = static_cast<int>(std::lround(x(std::min(high, high_))));
    canvas_.fillRect(x0, kTop + 1, x1, kBottom - 1, kBandColour, 0.35f);
    canvas_.text(x0 + 6, kTop + 8, "changed band", kInk, 2);
  }

  void grid() {
    for (double decade = 10.0; decade < high_; decade *= 10.0)
      for (int step = 1; step <= 9; ++step) {
        const double f = decade * step;
        if (f < kLowestFrequency || f > high_) continue;
        const int px = static_cast<int>(std::lround(x(f)));
        const bool labelled = step == 1 || step == 2 || step == 5;
        canvas_.verticalLine(px, kTop, kBottom, labelled ? kGrid : kGridMinor);
        if (!labelled) continue;
        const std::string label = frequencyLabel(f);
        canvas_.text(px - Canvas::textWidth(label) / 2, kBottom + 10, label, kInk);
      }
    for (double db = topDb_; db >= topDb_ - kRangeDb; db -= 10.0) {
      const int py = static_cast<int>(std::lround(y(db)));
      canvas_.horizontalLine(kLeft, kRight, py, kGrid);
      const std::string label = std::to_string(static_cast<int>(db));
      canvas_.text(kLeft - 10 - Canvas::textWidth(label), py - Canvas::textHeight() / 2, label,
                   kInk);
    }
    canvas_.text(kLeft - 60, kTop - 30, "dB", kInk);
    const std::string axis = "Frequency (Hz)";
    canvas_.text((kLeft + kRight - Canvas::textWidth(axis)) / 2, kBottom + 40, axis, kInk);
    // The border last, over the grid.
    canvas_.horizontalLine(kLeft, kRight, kTop, kInk);
    canvas_.horizontalLine(kLeft, kRight, kBottom, kInk);
    canvas_.verticalLine(kLeft, kTop, kBottom, kInk);
    canvas_.verticalLine(kRight, kTop, kBottom, kInk);
  }

  std::vector<double> curve(const AverageSpectrum& spectrum) const {
    std::vector<double> levels;
    for (int px = kLeft; px <= kRight; ++px)
      levels.push_back(spectrum.levelDb(frequency(px - 0.5), frequency(px + 0.5)));
    return levels;
  }

  void draw(const std::vector<double>& levels, Colour colour, float width, bool fill) {
    for (size_t i = 0; i < levels.size(); ++i) {
      const double px = kLeft + static_cast<double>(i);
      if (fill)
        canvas_.verticalLine(static_cast<int>(px), static_cast<int>(std::lround(y(levels[i]))),
                             kBottom - 1, colour, 0.10f);
      if (i == 0) continue;
      canvas_.line(static_cast<float>(px - 1), static_cast<float>(y(levels[i - 1])),
                   static_cast<float>(px), static_cast<float>(y(levels[i])), width, colour);
    }
  }

  void legend(const std::vector<std::pair<std::string, Colour>>& entries) {
    int width = 0;
    for (const auto& entry : entries) width = std::max(width, Canvas::textWidth(entry.first));
    const int boxRight = kRight - 12;
    const int boxLeft = boxRight - width - 70;
    const int boxTop = kTop + 12;
    const int rowHeight = 26;
    const int boxBottom = boxTop + 12 + rowHeight * static_cast<int>(entries.size());
    canvas_.fillRect(boxLeft, boxTop, boxRight, boxBottom, kBackground, 0.92f);
    canvas_.horizontalLine(boxLeft, boxRight, boxTop, kGrid);
    canvas_.horizontalLine(boxLeft, boxRight, boxBottom, kGrid);
    canvas_.verticalLine(boxLeft, boxTop, boxBottom, kGrid);
    canvas_.verticalLine(boxRight, boxTop, boxBottom, kGrid);
    int rowY = boxTop + 12;
    for (const auto& [label, colour] : entries) {
      const float lineY = static_cast<float>(rowY + Canvas::textHeight() / 2);
      canvas_.line(static_cast<float>(boxLeft + 12), lineY, static_cast<float>(boxLeft + 48), lineY,
                   4.0f, colour);
      canvas_.text(boxLeft + 58, rowY, label, kInk);
      rowY += rowHeight;
    }
  }

 private:
  Canvas canvas_;
  double high_;
  double topDb_;
};

double peak(const std::vector<double>& levels) {
  return *std::max_element(levels.begin(), levels.end());
}

void run(const Settings& s) {
  const AverageSpectrum input(s.input, s.fftSize);
  const AverageSpectrum output(s.output, s.fftSize);
  const double high = std::min(20000.0, std::min(input.nyquist(), output.nyquist()));

  // Curves are sampled on a throwaway axis first to find the level range.
  const Plot probe(high, 0.0);
  const auto inputLevels = probe.curve(input);
  const auto outputLevels = probe.curve(output);
  const bool outputSilent = peak(outputLevels) <= kSilenceDb;
  const double loudest = std::max(peak(inputLevels), outputSilent ? -300.0 : peak(outputLevels));
  const double top = loudest > kSilenceDb ? std::ceil(loudest / 10.0) * 10.0 + 10.0 : 0.0;

  Plot plot(high, top);
  plot.frame(s.title);
  if (s.band) plot.band(s.band->first, s.band->second);
  plot.grid();
  // The input is drawn wider and first, so where the effect left the
  // spectrum alone it still shows as a blue rim around the output.
  plot.draw(inputLevels, kInputColour, 4.0f, false);
  plot.draw(outputLevels, kOutputColour, 1.6f, true);
  plot.legend(
      {{"input: " + baseName(s.input), kInputColour},
       {"output: " + baseName(s.output) + (outputSilent ? " (silent)" : ""), kOutputColour}});

  const std::string temporary = s.png + ".part";
  try {
    plot.canvas().savePng(temporary);
  } catch (...) {
    unlink(temporary.c_str());
    throw;
  }
  if (std::rename(temporary.c_str(), s.png.c_str()) != 0) {
    unlink(temporary.c_str());
    throw std::runtime_error("cannot write " + s.png);
  }

  std::printf("wrote %s: spectrum of %s (blue) and %s (orange), %g Hz to %g Hz\n", s.png.c_str(),
              s.input.c_str(), s.output.c_str(), kLowestFrequency, high);
  if (outputSilent) std::printf("the output is silent\n");
  if (s.band && !outputSilent) {
    const auto change = [&](double low, double high_) {
      return output.levelDb(low, high_) - input.levelDb(low, high_);
    };
    const double inside = change(s.band->first, s.band->second);
    const double below = change(kLowestFrequency, s.band->first * 0.8);
    const double above = change(s.band->second * 1.25, high);
    std::printf("level change inside %g-%g Hz: %+.1f dB; below it: %+.1f dB; above it: %+.1f dB\n",
                s.band->first, s.band->second, inside, below, above);
  }
}

}  // namespace
}  // namespace demo

int main(int argc, char** argv) {
  try {
    demo::run(demo::parse(argc, argv));
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "veldrana-spectrum-plot: %s\n", error.what());
    return 1;
  }
}
