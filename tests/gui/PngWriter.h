// Writes PNG images in memory with libpng, so tests can feed the decoder
// files of any format without sample files.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testpng {

struct Format {
  int width = 0;
  int height = 0;
  int colourType = PNG_COLOR_TYPE_RGBA;
  int bitDepth = 8;
  bool interlaced = false;
};

inline void appendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

inline void flushNothing(png_structp) {}

// rows: height rows of packed samples as libpng expects them for the format
// (big-endian for 16 bits). Palette images get a 256-entry grey palette.
// Empty on a libpng error.
inline std::vector<uint8_t> encode(const Format& format,
                                   const std::vector<std::vector<uint8_t>>& rows) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  std::vector<png_bytep> pointers;
  std::vector<png_color> palette(256);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, appendBytes, flushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(format.width),
               static_cast<png_uint_32>(format.height), format.bitDepth, format.colourType,
               format.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (format.colourType == PNG_COLOR_TYPE_PALETTE) {
    for (int i = 0; i < 256; ++i) {
      const auto v = static_cast<png_byte>(i);
      palette[static_cast<size_t>(i)] = {v, v, v};
    }
    png_set_PLTE(png, info, palette.data(), 1 << format.bitDepth);
  }
  png_write_info(png, info);
  for (const auto& row : rows) pointers.push_back(const_cast<png_bytep>(row.data()));
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// An 8-bit RGBA or RGB image whose pixel (x, y) comes from colour(x, y).
template <class Colour>
std::vector<uint8_t> encodeRgb(int width, int height, bool alpha, Colour colour) {
  const int channels = alpha ? 4 : 3;
  std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::vector<uint8_t> c = colour(x, y);
      for (int k = 0; k < channels; ++k)
        rows[static_cast<size_t>(y)].push_back(c[static_cast<size_t>(k)]);
    }
  Format format;
  format.width = width;
  format.height = height;
  format.colourType = alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB;
  return encode(format, rows);
}

}  // namespace testpng
