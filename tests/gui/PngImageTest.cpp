#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gui/PngImage.h"
#include "tests/gui/PngWriter.h"

namespace {

std::vector<uint8_t> rgbaPixel(int x, int y) {
  return {static_cast<uint8_t>(x * 60), static_cast<uint8_t>(y * 60),
          static_cast<uint8_t>(x * 16 + y), static_cast<uint8_t>(255 - x - 4 * y)};
}

std::optional<QW::PngImage> decode(const std::vector<uint8_t>& bytes) {
  return QW::decodePng(bytes.data(), bytes.size());
}

std::vector<std::vector<uint8_t>> rowsOf(int height, size_t bytesPerRow, uint8_t value) {
  return std::vector<std::vector<uint8_t>>(static_cast<size_t>(height),
                                           std::vector<uint8_t>(bytesPerRow, value));
}

TEST(PngImage, DecodesEightBitColourImagesExactlyInFileRowOrder) {
  const auto rgba = decode(testpng::encodeRgb(4, 4, true, rgbaPixel));
  ASSERT_TRUE(rgba.has_value());
  EXPECT_EQ(rgba->width, 4);
  EXPECT_EQ(rgba->height, 4);
  EXPECT_EQ(rgba->channels, 4);
  EXPECT_EQ(rgba->bitDepth, 8);
  ASSERT_EQ(rgba->pixels.size(), 4u * 4u * 4u);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      for (int k = 0; k < 4; ++k)
        EXPECT_EQ(rgba->pixels[static_cast<size_t>((y * 4 + x) * 4 + k)],
                  rgbaPixel(x, y)[static_cast<size_t>(k)])
            << "pixel " << x << "," << y << " channel " << k;
  EXPECT_TRUE(QW::uploadable(*rgba));

  // Two-pixel-wide RGB rows are 6 bytes: no padding may creep in.
  const auto rgb = decode(testpng::encodeRgb(2, 8, false, rgbaPixel));
  ASSERT_TRUE(rgb.has_value());
  EXPECT_EQ(rgb->channels, 3);
  ASSERT_EQ(rgb->pixels.size(), 2u * 8u * 3u);
  EXPECT_EQ(rgb->pixels[3 * (7 * 2 + 1) + 1], rgbaPixel(1, 7)[1]);
  EXPECT_TRUE(QW::uploadable(*rgb));
}

TEST(PngImage, DecodesInterlacedImagesLikePlainOnes) {
  testpng::Format format;
  format.width = 8;
  format.height = 8;
  format.colourType = PNG_COLOR_TYPE_RGBA;
  format.interlaced = true;
  std::vector<std::vector<uint8_t>> rows(8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      for (uint8_t c : rgbaPixel(x % 4, y % 4)) rows[static_cast<size_t>(y)].push_back(c);
  const auto image = decode(testpng::encode(format, rows));
  ASSERT_TRUE(image.has_value());
  ASSERT_EQ(image->pixels.size(), 8u * 8u * 4u);
  for (int y = 0; y < 8; ++y)
    EXPECT_TRUE(std::equal(rows[static_cast<size_t>(y)].begin(), rows[static_cast<size_t>(y)].end(),
                           image->pixels.begin() + y * 32))
        << "row " << y;
}

TEST(PngImage, RefusesBytesThatAreNoPng) {
  const std::vector<uint8_t> good = testpng::encodeRgb(4, 4, true, rgbaPixel);
  ASSERT_FALSE(good.empty());

  EXPECT_FALSE(QW::decodePng(nullptr, 0).has_value());
  EXPECT_FALSE(QW::decodePng(good.data(), 0).has_value());
  std::vector<uint8_t> garbage(200);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 37 + 11);
  EXPECT_FALSE(decode(garbage).has_value());

  // Every truncation of a good file fails cleanly, down to a missing end
  // chunk.
  for (size_t length = 1; length < good.size(); ++length)
    EXPECT_FALSE(QW::decodePng(good.data(), length).has_value()) << "length " << length;

  // A valid signature followed by nonsense.
  std::vector<uint8_t> signatureOnly(good.begin(), good.begin() + 8);
  signatureOnly.insert(signatureOnly.end(), garbage.begin(), garbage.end());
  EXPECT_FALSE(decode(signatureOnly).has_value());

  // Corrupt compressed data (the CRC catches it, or zlib does).
  std::vector<uint8_t> corrupt = good;
  for (size_t i = 45; i < corrupt.size() - 16; ++i) corrupt[i] ^= 0x5a;
  EXPECT_FALSE(decode(corrupt).has_value());
}

// A signature and a header chunk only, claiming any size.
std::vector<uint8_t> headerOnly(uint32_t width, uint32_t height, uint8_t bitDepth,
                                uint8_t colourType) {
  std::vector<uint8_t> bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  const auto put32 = [&bytes](uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(v >> shift));
  };
  put32(13);
  const size_t typeAt = bytes.size();
  for (char c : {'I', 'H', 'D', 'R'}) bytes.push_back(static_cast<uint8_t>(c));
  put32(width);
  put32(height);
  for (uint8_t b : {bitDepth, colourType, uint8_t{0}, uint8_t{0}, uint8_t{0}}) bytes.push_back(b);
  put32(static_cast<uint32_t>(crc32(0, bytes.data() + typeAt, 17)));
  return bytes;
}

TEST(PngImage, RefusesHeadersClaimingHugeImages) {
  // Without any image data these fail either way; the point is that they
  // fail before rows for the claimed size are allocated.
  EXPECT_FALSE(decode(headerOnly(100000, 100000, 8, PNG_COLOR_TYPE_RGBA)).has_value());
  EXPECT_FALSE(decode(headerOnly(8192, 8192, 16, PNG_COLOR_TYPE_RGBA)).has_value());
  EXPECT_FALSE(decode(headerOnly(0, 4, 8, PNG_COLOR_TYPE_RGBA)).has_value());
  EXPECT_FALSE(decode(headerOnly(4, 4, 8, PNG_COLOR_TYPE_RGBA)).has_value());
}

TEST(PngImage, OtherFormatsDecodeButAreNotUploadable) {
  const struct {
    int colourType, bitDepth;
    size_t bytesPerRow;
    uint8_t value;
    int channels;
  } cases[] = {{PNG_COLOR_TYPE_RGBA, 16, 4 * 8, 0x7f, 4},
               {PNG_COLOR_TYPE_GRAY, 8, 4, 0x40, 1},
               {PNG_COLOR_TYPE_GRAY_ALPHA, 8, 8, 0x40, 2},
               {PNG_COLOR_TYPE_PALETTE, 8, 4, 3, 1},
               {PNG_COLOR_TYPE_PALETTE, 4, 2, 0x12, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.colourType) + "/" + std::to_string(c.bitDepth));
    testpng::Format format;
    format.width = format.height = 4;
    format.colourType = c.colourType;
    format.bitDepth = c.bitDepth;
    const auto image = decode(testpng::encode(format, rowsOf(4, c.bytesPerRow, c.value)));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->bitDepth, c.bitDepth);
    EXPECT_EQ(image->channels, c.channels);
    if (c.bitDepth == 16) {
      EXPECT_TRUE(image->pixels.empty());
    }
    EXPECT_FALSE(QW::uploadable(*image));
  }
}

TEST(PngImage, OnlyPowerOfTwoSidesAreUploadable) {
  const auto solid = [](int, int) { return std::vector<uint8_t>{1, 2, 3, 4}; };
  for (const auto& [w, h, ok] : std::vector<std::tuple<int, int, bool>>{{1, 1, true},
                                                                        {64, 64, true},
                                                                        {128, 2, true},
                                                                        {3, 4, false},
                                                                        {4, 6, false},
                                                                        {100, 128, false}}) {
    const auto image = decode(testpng::encodeRgb(w, h, true, solid));
    ASSERT_TRUE(image.has_value()) << w << "x" << h;
    EXPECT_EQ(QW::uploadable(*image), ok) << w << "x" << h;
  }
  // A description without pixels is never uploaded.
  QW::PngImage empty;
  empty.width = empty.height = 4;
  empty.channels = 4;
  empty.bitDepth = 8;
  EXPECT_FALSE(QW::uploadable(empty));
}

}  // namespace
