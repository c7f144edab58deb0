// PNG decoding from memory with libpng; no GL, so it can be tested alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace QW {

struct PngImage {
  int width = 0;
  int height = 0;
  int channels = 0;  // as stored in the file (1..4)
  int bitDepth = 0;
  std::vector<uint8_t> pixels;  // rows in file order, width * channels bytes each (8-bit only)
};

// Nothing for bytes that are not a decodable PNG (never throws, never
// aborts: libpng's errors are caught).
std::optional<PngImage> decodePng(const uint8_t* data, size_t size);

// Whether the editor uploads such an image: sides powers of two, 3 or 4
// channels of 8 bits.
bool uploadable(const PngImage& image);

}  // namespace QW
