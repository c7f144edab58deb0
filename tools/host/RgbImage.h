// A picture as 8-bit RGB triples, row after row, top row first, and its PNG
// encoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vhost {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width * height * 3 bytes

  RgbImage() = default;
  RgbImage(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 3) {}
  uint8_t* row(int y) { return pixels.data() + static_cast<size_t>(y) * width * 3; }
};

// The whole file in memory, so that the caller can write it through an
// OutputFile and a failure never leaves half a PNG behind. Throws HostError.
std::vector<uint8_t> encodePng(const RgbImage& image);

}  // namespace vhost
