// veldrana-demo-check FILE...: proves that the demo's results are real: every
// picture (.png) shows something (more than a handful of colours, and no one
// colour covering nearly all of it) and every sound (.wav) is audible and
// finite. Prints one line per file and exits 1 if any file fails, so a fresh
// machine that built and ran everything but drew a black window or rendered
// silence does not pass.
#include <png.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A picture of one flat colour, or nearly so (a window that never drew,
// a plot with no curves), is blank.
std::string checkPicture(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return "not a readable PNG";
  image.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
  if (pixels.empty() || !png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return "not a readable PNG";
  }
  std::unordered_map<unsigned, size_t> counts;
  for (size_t i = 0; i + 2 < pixels.size(); i += 3)
    ++counts[unsigned(pixels[i]) << 16 | unsigned(pixels[i + 1]) << 8 | pixels[i + 2]];
  size_t most = 0;
  for (const auto& entry : counts) most = std::max(most, entry.second);
  const size_t total = pixels.size() / 3;
  if (counts.size() < 16 || most * 100 > total * 99)
    return "blank (" + std::to_string(counts.size()) + " colours)";
  std::printf("ok %s: %ux%u, %zu colours\n", path.c_str(), image.width, image.height,
              counts.size());
  return "";
}

std::string checkSound(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) return std::string("not readable: ") + sf_strerror(nullptr);
  std::vector<float> block(4096 * std::max(1, info.channels));
  double sumSquares = 0, peak = 0;
  sf_count_t samples = 0;
  bool finite = true;
  for (sf_count_t got; (got = sf_read_float(file, block.data(), sf_count_t(block.size()))) > 0;) {
    for (sf_count_t i = 0; i < got; ++i) {
      const double value = block[size_t(i)];
      finite = finite && std::isfinite(value);
      sumSquares += value * value;
      peak = std::max(peak, std::fabs(value));
    }
    samples += got;
  }
  sf_close(file);
  if (!finite) return "not finite (a sample is NaN or infinite)";
  const double rms = samples > 0 ? std::sqrt(sumSquares / double(samples)) : 0;
  // -60 dBFS: far below any test signal, far above rounding noise.
  if (rms < 1e-3) return "silent (" + std::to_string(samples) + " samples)";
  std::printf("ok %s: %lld frames, peak %.3f, rms %.3f\n", path.c_str(),
              static_cast<long long>(info.frames), peak, rms);
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: veldrana-demo-check FILE.png|FILE.wav...\n");
    return 2;
  }
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string path = argv[i];
    const std::string problem = endsWith(path, ".png")   ? checkPicture(path)
                                : endsWith(path, ".wav") ? checkSound(path)
                                                         : "neither .png nor .wav";
    if (!problem.empty()) {
      std::fprintf(stderr, "veldrana-demo-check: %s: %s\n", path.c_str(), problem.c_str());
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
