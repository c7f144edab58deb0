#include "tools/imagegen/Image.h"

#include <stdexcept>

namespace imagegen {

namespace {

uint8_t toByte(float v) {
  return static_cast<uint8_t>(std::lround(clamp01(v) * 255.0f));
}

}  // namespace

Image::Image(int width, int height, int channels)
    : width_(width), height_(height), channels_(channels) {
  if (width <= 0 || height <= 0 || (channels != 3 && channels != 4))
    throw std::invalid_argument("unsupported image shape");
  pixels_.assign(static_cast<size_t>(width) * height * channels, 0);
}

void Image::set(int x, int y, const Colour& colour) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint8_t* p = &pixels_[(static_cast<size_t>(y) * width_ + x) * channels_];
  p[0] = toByte(colour.r);
  p[1] = toByte(colour.g);
  p[2] = toByte(colour.b);
  if (channels_ == 4) p[3] = toByte(colour.a);
}

void Image::fill(const Colour& colour) {
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) set(x, y, colour);
}

}  // namespace imagegen
