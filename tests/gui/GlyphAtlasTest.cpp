#include <gtest/gtest.h>

#include <vector>

#include "gui/GlyphAtlas.h"

namespace {

struct Placed {
  QW::GlyphAtlas::Slot slot;
  int width;
  int height;
  uint8_t value;
};

uint8_t texel(const QW::GlyphAtlas& atlas, int x, int y) {
  return atlas.pixels()[static_cast<size_t>(y) * static_cast<size_t>(atlas.width()) +
                        static_cast<size_t>(x)];
}

TEST(GlyphAtlas, PacksBitmapsApartAndKeepsThemWhileGrowing) {
  QW::GlyphAtlas atlas(64, 1024);
  std::vector<Placed> placed;
  unsigned revision = atlas.revision();
  for (int i = 0; i < 120; ++i) {
    const int width = 3 + i % 9;
    const int height = 4 + (i * 7) % 13;
    const auto value = static_cast<uint8_t>(1 + i);
    // Rows wider than the bitmap: the pitch is honoured.
    const int pitch = width + 3;
    std::vector<unsigned char> rows(static_cast<size_t>(pitch * height), 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) rows[static_cast<size_t>(y * pitch + x)] = value;
    Placed glyph{{}, width, height, value};
    ASSERT_TRUE(atlas.add(rows.data(), pitch, width, height, glyph.slot)) << i;
    EXPECT_NE(atlas.revision(), revision);
    revision = atlas.revision();
    placed.push_back(glyph);
  }
  EXPECT_GT(atlas.height(), 64) << "the atlas grew";
  EXPECT_EQ(atlas.pixels().size(), static_cast<size_t>(atlas.width() * atlas.height()));

  for (const Placed& glyph : placed) {
    ASSERT_GE(glyph.slot.x, 1);
    ASSERT_GE(glyph.slot.y, 1);
    ASSERT_LE(glyph.slot.x + glyph.width, atlas.width() - 1);
    ASSERT_LE(glyph.slot.y + glyph.height, atlas.height() - 1);
    // Every texel still holds its own glyph's value: nothing overlapped and
    // growing kept the earlier rows.
    for (int y = 0; y < glyph.height; ++y)
      for (int x = 0; x < glyph.width; ++x)
        ASSERT_EQ(texel(atlas, glyph.slot.x + x, glyph.slot.y + y), glyph.value);
    // A blank texel on each side keeps linear filtering from bleeding.
    for (int y = 0; y < glyph.height; ++y) {
      EXPECT_EQ(texel(atlas, glyph.slot.x - 1, glyph.slot.y + y), 0);
      EXPECT_EQ(texel(atlas, glyph.slot.x + glyph.width, glyph.slot.y + y), 0);
    }
  }
}

TEST(GlyphAtlas, RefusesWhatCannotFitAndTakesEmptyBitmaps) {
  QW::GlyphAtlas atlas(16, 32);
  const std::vector<unsigned char> wide(20 * 4, 255);
  QW::GlyphAtlas::Slot slot;
  EXPECT_FALSE(atlas.add(wide.data(), 20, 20, 4, slot));

  EXPECT_TRUE(atlas.add(nullptr, 0, 0, 0, slot)) << "a blank has no bitmap";

  const std::vector<unsigned char> tall(10 * 10, 255);
  EXPECT_TRUE(atlas.add(tall.data(), 10, 10, 10, slot));
  EXPECT_TRUE(atlas.add(tall.data(), 10, 10, 10, slot));
  EXPECT_EQ(atlas.height(), 32);
  EXPECT_FALSE(atlas.add(tall.data(), 10, 10, 10, slot)) << "past the largest height";
}

}  // namespace
