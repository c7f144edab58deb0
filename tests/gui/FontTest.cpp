// Fonts found, loaded, measured and laid out without a display; the glyph
// atlas and the text runs built on them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "gui/Font.h"
#include "gui/FontLookup.h"
#include "gui/GlyphAtlas.h"
#include "gui/TextRun.h"

namespace {

constexpr size_t kFloatsPerQuad = 4 * 5;

// A file that exists for the test's lifetime.
class TempFile {
 public:
  explicit TempFile(const std::string& contents) {
    std::ofstream(path_, std::ios::binary) << contents;
  }
  ~TempFile() { std::remove(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  const std::string path_ = ::testing::TempDir() + "veldrana-font-" + std::to_string(getpid());
};

const std::string kSans = QW::findFontFile("arial.ttf");

TEST(FontLookup, FindsFilesForNamesAndPathsAndFamiliesForWindowsFileNames) {
  const TempFile file("not a font");
  EXPECT_EQ(QW::findFontFile(file.path()), file.path());
  for (const char* name : {"tahoma.ttf", "TAHOMA.TTF", "no-such-family-veldrana.ttf"}) {
    const std::string path = QW::findFontFile(name);
    EXPECT_EQ(access(path.c_str(), R_OK), 0) << name << ": " << path;
  }
  EXPECT_EQ(QW::findFontFile("/nonexistent-veldrana/tahoma.ttf"), "");
  EXPECT_EQ(QW::findFontFile(""), "");

  const QW::FontRequest tahoma = QW::fontRequestForName("tahoma.ttf");
  EXPECT_EQ(tahoma.family + "/" + tahoma.standIn, "Tahoma/Liberation Sans");
  const QW::FontRequest bold = QW::fontRequestForName("ARIALBI.TTF");
  EXPECT_EQ(bold.family, "Arial");
  EXPECT_TRUE(bold.bold && bold.italic && bold.standIn.empty());
  EXPECT_EQ(QW::fontRequestForName("v1.5 Sans").family, "v1.5 Sans");
}

TEST(FontLoading, PickTakesTheFirstThatLoadsAndABrokenFileReportsOnce) {
  const TempFile garbage(std::string(4096, 'x'));
  testing::internal::CaptureStderr();
  const auto font = QW::Font::pick({{"/nonexistent-veldrana/tahoma.ttf", 11},
                                    {garbage.path(), 12},
                                    {"arial.ttf", 14},
                                    {"tahoma.ttf", 16}});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Unable to load font\n");
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->size(), 14);
  EXPECT_EQ(font->path(), kSans);
  EXPECT_EQ(QW::Font::pick({{"", 12}}), nullptr);

  testing::internal::CaptureStderr();
  QW::Font broken(garbage.path(), 12);
  broken.build(1);
  broken.build(2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Unable to load font\n");
  EXPECT_FALSE(broken.valid());
  EXPECT_EQ(broken.measure("Hello").width, 0.0f);
  std::vector<float> vertices;
  EXPECT_EQ(broken.layout("Hello", 7.0f, 3.0f, vertices), 7.0f);
  EXPECT_TRUE(vertices.empty());
}

TEST(FontMetrics, LengthsAreWindowPixelsAtEitherResolution) {
  QW::Font font(kSans, 16);
  ASSERT_TRUE(font.valid());
  const float advance = font.advance("Hello");
  const QW::Font::Extent extent = font.measure("Hello");
  const float ascender = font.ascender();
  EXPECT_GT(advance, 16.0f);
  EXPECT_LT(advance, 80.0f);
  EXPECT_GT(extent.height, 8.0f);
  EXPECT_LT(extent.height, 24.0f);
  EXPECT_LT(font.descender(), 0.0f);
  EXPECT_NEAR(font.measure("Hello Hello").width, 2.0f * extent.width + font.measure(" ").width,
              0.01f);
  // Twice the pixels per em, each one half a window pixel: the same lengths.
  font.build(2);
  EXPECT_FLOAT_EQ(font.scale(), 0.5f);
  EXPECT_NEAR(font.advance("Hello"), advance, 0.5f);
  EXPECT_NEAR(font.measure("Hello").height, extent.height, 0.5f);
  EXPECT_NEAR(font.ascender(), ascender, 1.0f);
  EXPECT_NEAR(QW::Font(kSans, 32).advance("Hello"), 2.0f * advance, 1.0f);
  // Released, it measures nothing until the next build.
  font.release();
  EXPECT_EQ(font.advance("Hello"), 0.0f);
  font.build(1);
  EXPECT_FLOAT_EQ(font.advance("Hello"), advance);
}

TEST(FontLayout, OneQuadPerCharacterEndingAtTheAdvance) {
  QW::Font font(kSans, 16);
  for (const int resolution : {1, 2}) {
    font.build(resolution);
    std::vector<float> vertices{1.0f, 2.0f};  // layout appends
    const float endX = font.layout("Hello \xe9", 10.0f, 20.0f, vertices);
    ASSERT_EQ(vertices.size(), 2 + 7 * kFloatsPerQuad);
    EXPECT_NEAR(endX, 10.0f + font.advance("Hello \xe9"), 0.01f);
    float previousLeft = 0.0f;
    for (size_t c = 0; c < 7; ++c) {
      // s, t, x, y, z per vertex: top-left, bottom-left, bottom-right, top-right.
      const float* quad = vertices.data() + 2 + c * kFloatsPerQuad;
      const float left = quad[2], top = quad[3], bottom = quad[8], right = quad[12];
      EXPECT_EQ(quad[7], left);
      EXPECT_EQ(quad[18], top);
      if (c == 5) {  // a blank advances the pen but draws an empty quad
        EXPECT_EQ(left, right);
        continue;
      }
      EXPECT_LT(bottom, top) << c;
      EXPECT_GT(left, previousLeft) << c;
      previousLeft = left;
      EXPECT_NEAR(bottom, 20.0f, 1.0f) << c;  // on the baseline
      EXPECT_LE(top, 20.0f + font.ascender() + (c == 6 ? 6.0f : 1.0f)) << c;
      EXPECT_LE(right, endX + 1.0f) << c;
      // Texture coordinates are texels of the same size as the glyph.
      EXPECT_NEAR((quad[10] - quad[0]) * font.scale(), right - left, 0.01f) << c;
      EXPECT_NEAR((quad[6] - quad[1]) * font.scale(), top - bottom, 0.01f) << c;
    }
    // The accent reaches higher than a plain e.
    EXPECT_GT(vertices[2 + 6 * kFloatsPerQuad + 3], vertices[2 + 1 * kFloatsPerQuad + 3]);
  }
}

// The layout script measures on the window's thread while the render thread
// builds the same font; the font lock keeps the two apart.
TEST(FontLayout, MeasuringWhileAnotherThreadBuilds) {
  QW::Font font(kSans, 14);
  font.build(1);
  const float expected = font.measure("Spectral 1234 \xe9").width;
  std::thread builder([&font] {
    for (int i = 0; i < 40; ++i) font.build(1 + i % 2);
  });
  for (int i = 0; i < 200; ++i) {
    EXPECT_NEAR(font.measure("Spectral 1234 \xe9").width, expected, 1.0f);
    std::vector<float> vertices;
    font.layout("abc", 0.0f, 0.0f, vertices);
    EXPECT_EQ(vertices.size(), 3 * kFloatsPerQuad);
  }
  builder.join();
}

TEST(GlyphAtlas, PacksBitmapsApartKeepsThemWhileGrowingAndRefusesWhatCannotFit) {
  QW::GlyphAtlas atlas(64, 1024);
  struct Placed {
    QW::GlyphAtlas::Slot slot;
    int width, height;
  };
  std::vector<Placed> placed;
  for (int i = 0; i < 120; ++i) {
    const int width = 3 + i % 9, height = 4 + (i * 7) % 13, pitch = width + 3;
    std::vector<unsigned char> rows(static_cast<size_t>(pitch * height), 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) rows[static_cast<size_t>(y * pitch + x)] = 1 + i;
    placed.push_back({{}, width, height});
    ASSERT_TRUE(atlas.add(rows.data(), pitch, width, height, placed.back().slot)) << i;
  }
  EXPECT_GT(atlas.height(), 64) << "the atlas grew";
  const auto texel = [&](int x, int y) { return atlas.pixels()[y * atlas.width() + x]; };
  for (size_t i = 0; i < placed.size(); ++i) {
    const Placed& g = placed[i];
    ASSERT_LE(g.slot.x + g.width, atlas.width() - 1);
    // Each texel holds its own glyph's value, with a blank texel either side
    // to keep linear filtering from bleeding.
    for (int y = 0; y < g.height; ++y) {
      for (int x = 0; x < g.width; ++x) ASSERT_EQ(texel(g.slot.x + x, g.slot.y + y), 1 + i);
      EXPECT_EQ(texel(g.slot.x - 1, g.slot.y + y), 0);
      EXPECT_EQ(texel(g.slot.x + g.width, g.slot.y + y), 0);
    }
  }
  QW::GlyphAtlas small(16, 32);
  const std::vector<unsigned char> block(20 * 10, 255);
  QW::GlyphAtlas::Slot slot;
  EXPECT_FALSE(small.add(block.data(), 20, 20, 4, slot)) << "too wide";
  EXPECT_TRUE(small.add(nullptr, 0, 0, 0, slot)) << "a blank has no bitmap";
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(small.add(block.data(), 10, 10, 10, slot));
  EXPECT_FALSE(small.add(block.data(), 10, 10, 10, slot)) << "past the largest height";
}

TEST(TextRun, LaysOutOnlyWhenTextPositionOrFontChangesOrTheRegistryClears) {
  QW::Font font(kSans, 12), other(kSans, 20);
  QW::TextRunRegistry registry;
  QW::TextRun run(&registry);
  const float endX = run.set(&font, "Gain", 10.0f, 5.0f);
  EXPECT_NEAR(endX, 10.0f + font.advance("Gain"), 0.01f);
  const struct {
    QW::Font* font;
    const char* text;
    float x, y;
    int layouts;
  } steps[] = {{&font, "Gain", 10, 5, 1}, {&font, "Gain", 20, 5, 2},   {&font, "Gain", 20, 6, 3},
               {&font, "Mix", 20, 6, 4},  {nullptr, "Other", 0, 0, 4}, {&other, "Mix", 20, 6, 5}};
  for (const auto& s : steps) {
    run.set(s.font, s.text, s.x, s.y);
    EXPECT_EQ(run.layouts(), s.layouts) << s.text;
    EXPECT_EQ(run.text(), s.font ? s.text : "Mix");
  }
  {
    QW::TextRun gone(&registry);  // a run that is gone is no longer cleared
    gone.set(&font, "Three", 0.0f, 0.0f);
  }
  registry.clearAll();
  EXPECT_EQ(run.text(), "");
  run.set(&other, "Mix", 20.0f, 6.0f);
  EXPECT_EQ(run.layouts(), 6);
}

}  // namespace
