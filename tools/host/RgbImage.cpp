#include "tools/host/RgbImage.h"

#include <png.h>

#include <cstring>
#include <string>

#include "tools/host/HostError.h"

namespace vhost {

namespace {

// libpng's simplified API keeps its state in png_image; this frees it on
// every path, including the ones that throw.
class PngImage {
 public:
  PngImage() {
    std::memset(&image_, 0, sizeof image_);
    image_.version = PNG_IMAGE_VERSION;
  }
  ~PngImage() { png_image_free(&image_); }
  PngImage(const PngImage&) = delete;
  PngImage& operator=(const PngImage&) = delete;
  png_image* get() { return &image_; }

 private:
  png_image image_;
};

HostError pngFailure(png_image* image) {
  return failure(std::string("cannot encode the PNG: ") + image->message);
}

}  // namespace

std::vector<uint8_t> encodePng(const RgbImage& image) {
  if (image.width <= 0 || image.height <= 0 ||
      image.pixels.size() != static_cast<size_t>(image.width) * image.height * 3)
    throw failure("cannot encode an empty or inconsistent image as PNG");
  PngImage png;
  png.get()->width = static_cast<png_uint_32>(image.width);
  png.get()->height = static_cast<png_uint_32>(image.height);
  png.get()->format = PNG_FORMAT_RGB;
  const png_int_32 stride = image.width * 3;

  // The first call only measures; the second fills the buffer.
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(png.get(), nullptr, &size, 0, image.pixels.data(), stride,
                                 nullptr))
    throw pngFailure(png.get());
  std::vector<uint8_t> bytes(size);
  if (!png_image_write_to_memory(png.get(), bytes.data(), &size, 0, image.pixels.data(), stride,
                                 nullptr))
    throw pngFailure(png.get());
  bytes.resize(size);
  return bytes;
}

}  // namespace vhost
