#include <gtest/gtest.h>

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

TEST(PngImage, DecodesEightBitColourImagesExactlyInFileRowOrderInterlacedOrNot) {
  for (const bool interlaced : {false, true}) {
    testpng::Format format;
    format.width = 4;
    format.height = 8;
    format.interlaced = interlaced;
    std::vector<std::vector<uint8_t>> rows(8);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 4; ++x)
        for (uint8_t c : rgbaPixel(x, y)) rows[static_cast<size_t>(y)].push_back(c);
    const auto image = decode(testpng::encode(format, rows));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ((std::vector<int>{image->width, image->height, image->channels, image->bitDepth}),
              (std::vector<int>{4, 8, 4, 8}));
    std::vector<uint8_t> expected;
    for (const auto& row : rows) expected.insert(expected.end(), row.begin(), row.end());
    EXPECT_EQ(image->pixels, expected) << interlaced;
    EXPECT_TRUE(QW::uploadable(*image));
  }
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
    EXPECT_FALSE(QW::uploadable(*image));
  }
}

TEST(PngImage, OnlyPowerOfTwoSidesAreUploadable) {
  const auto solid = [](int, int) { return std::vector<uint8_t>{1, 2, 3, 4}; };
  const struct {
    int w, h;
    bool ok;
  } cases[] = {{1, 1, true}, {128, 2, true}, {3, 4, false}, {4, 6, false}, {100, 128, false}};
  for (const auto& c : cases)
    EXPECT_EQ(QW::uploadable(*decode(testpng::encodeRgb(c.w, c.h, true, solid))), c.ok) << c.w;
  QW::PngImage empty;  // a description without pixels is never uploaded
  empty.width = empty.height = 4;
  empty.channels = 4;
  empty.bitDepth = 8;
  EXPECT_FALSE(QW::uploadable(empty));
}

// A side past 8192 is refused, however small the file: a header may claim
// more than the editor should ever allocate.
TEST(PngImage, SidesPastTheLimitAreRefused) {
  const auto solid = [](int, int) { return std::vector<uint8_t>{1, 2, 3}; };
  EXPECT_TRUE(decode(testpng::encodeRgb(8192, 1, false, solid)).has_value());
  EXPECT_FALSE(decode(testpng::encodeRgb(8193, 1, false, solid)).has_value());
  EXPECT_FALSE(decode(testpng::encodeRgb(1, 8193, false, solid)).has_value());
}

}  // namespace
