#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "gui/Font.h"
#include "gui/FontLookup.h"

namespace {

constexpr size_t kFloatsPerQuad = 4 * 5;

bool isReadable(const std::string& path) {
  return access(path.c_str(), R_OK) == 0;
}

bool hasOutlineFontExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string extension = path.substr(dot + 1);
  return extension == "ttf" || extension == "otf" || extension == "TTF" || extension == "OTF";
}

// A file that exists for the test's lifetime.
class TempFile {
 public:
  explicit TempFile(const std::string& contents) {
    char name[] = "/tmp/veldrana-font-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) {
      path_ = name;
      close(fd);
      std::ofstream(path_, std::ios::binary) << contents;
    }
  }
  ~TempFile() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string sansFile() {
  return QW::findFontFile("arial.ttf");
}

TEST(FontLookup, FindsFilesForNamesAndPaths) {
  EXPECT_EQ(QW::findFontFile(""), "");

  // Any readable file named by its path is taken as it is, loadable or not.
  const TempFile file("not a font");
  ASSERT_FALSE(file.path().empty());
  EXPECT_EQ(QW::findFontFile(file.path()), file.path());

  // The Windows file names of the built-in layout find installed faces.
  for (const char* name : {"tahoma.ttf", "arial.ttf", "TAHOMA.TTF"}) {
    const std::string path = QW::findFontFile(name);
    EXPECT_FALSE(path.empty()) << name;
    EXPECT_TRUE(isReadable(path)) << name << ": " << path;
    EXPECT_TRUE(hasOutlineFontExtension(path)) << name << ": " << path;
  }

  // A path that is not there is not guessed at.
  EXPECT_EQ(QW::findFontFile("/nonexistent-veldrana/tahoma.ttf"), "");
  // A bare name fontconfig does not know still gets its closest face.
  EXPECT_FALSE(QW::findFontFile("no-such-family-veldrana.ttf").empty());
}

TEST(FontLookup, TurnsWindowsFileNamesIntoFamilies) {
  const QW::FontRequest tahoma = QW::fontRequestForName("tahoma.ttf");
  EXPECT_EQ(tahoma.family, "Tahoma");
  EXPECT_EQ(tahoma.standIn, "Liberation Sans");
  EXPECT_FALSE(tahoma.bold);
  EXPECT_EQ(QW::fontRequestForName("arial.ttf").standIn, "");
  const QW::FontRequest arialBoldItalic = QW::fontRequestForName("ARIALBI.TTF");
  EXPECT_EQ(arialBoldItalic.family, "Arial");
  EXPECT_TRUE(arialBoldItalic.bold);
  EXPECT_TRUE(arialBoldItalic.italic);
  EXPECT_EQ(QW::fontRequestForName("cour.ttf").family, "Courier New");
  EXPECT_EQ(QW::fontRequestForName("My Font.otf").family, "My Font");
  EXPECT_EQ(QW::fontRequestForName("DejaVu Sans").family, "DejaVu Sans");
  EXPECT_EQ(QW::fontRequestForName("v1.5 Sans").family, "v1.5 Sans");
}

TEST(FontPick, TakesTheFirstCandidateThatIsFoundAndLoads) {
  const TempFile garbage(std::string(4096, 'x'));
  testing::internal::CaptureStderr();
  const std::unique_ptr<QW::Font> font = QW::Font::pick({{"/nonexistent-veldrana/tahoma.ttf", 11},
                                                         {garbage.path(), 12},
                                                         {"arial.ttf", 14},
                                                         {"tahoma.ttf", 16}});
  const std::string errors = testing::internal::GetCapturedStderr();
  ASSERT_NE(font, nullptr);
  EXPECT_TRUE(font->valid());
  EXPECT_EQ(font->size(), 14);
  EXPECT_EQ(font->path(), sansFile());
  // The candidate that was found but did not load said so.
  EXPECT_EQ(errors, "Error: Unable to load font\n");

  EXPECT_EQ(QW::Font::pick({}), nullptr);
  EXPECT_EQ(QW::Font::pick({{"/nonexistent-veldrana/a.ttf", 12}, {"", 12}}), nullptr);
}

TEST(FontLoading, BrokenFileReportsOnceAndMeasuresNothing) {
  const TempFile garbage(std::string(4096, '\x7f'));
  testing::internal::CaptureStderr();
  QW::Font font(garbage.path(), 12);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Unable to load font\n");

  EXPECT_FALSE(font.valid());
  EXPECT_EQ(font.advance("Hello"), 0.0f);
  EXPECT_EQ(font.measure("Hello").width, 0.0f);
  EXPECT_EQ(font.measure("Hello").height, 0.0f);
  EXPECT_EQ(font.lineHeight(), 0.0f);
  std::vector<float> vertices;
  EXPECT_EQ(font.layout("Hello", 7.0f, 3.0f, vertices), 7.0f);
  EXPECT_TRUE(vertices.empty());

  // Building again at rendering set-up fails without another message.
  testing::internal::CaptureStderr();
  font.build(1);
  font.build(2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(font.valid());
  EXPECT_EQ(font.advance("Hello"), 0.0f);
}

TEST(FontMetrics, LengthsAreWindowPixelsAtEitherResolution) {
  const std::string path = sansFile();
  ASSERT_FALSE(path.empty());
  QW::Font font(path, 16);
  ASSERT_TRUE(font.valid());

  const float advance1 = font.advance("Hello");
  const QW::Font::Extent extent1 = font.measure("Hello");
  const float line1 = font.lineHeight();
  const float ascender1 = font.ascender();
  EXPECT_GT(advance1, 16.0f);
  EXPECT_LT(advance1, 80.0f);
  EXPECT_GT(extent1.width, 16.0f);
  EXPECT_GT(extent1.height, 8.0f);
  EXPECT_LT(extent1.height, 24.0f);
  EXPECT_GT(line1, 12.0f);
  EXPECT_GT(ascender1, 8.0f);
  EXPECT_LT(font.descender(), 0.0f);
  EXPECT_NEAR(font.measure("Hello Hello").width, 2.0f * extent1.width + font.measure(" ").width,
              0.01f);
  EXPECT_EQ(font.measure("").width, 0.0f);

  // Twice the pixels per em, each one half a window pixel: the same lengths.
  font.build(2);
  EXPECT_EQ(font.resolution(), 2);
  EXPECT_FLOAT_EQ(font.scale(), 0.5f);
  EXPECT_NEAR(font.advance("Hello"), advance1, 0.5f);
  EXPECT_NEAR(font.measure("Hello").width, extent1.width, 0.5f);
  EXPECT_NEAR(font.measure("Hello").height, extent1.height, 0.5f);
  EXPECT_NEAR(font.lineHeight(), line1, 1.0f);
  EXPECT_NEAR(font.ascender(), ascender1, 1.0f);

  font.build(1);
  EXPECT_FLOAT_EQ(font.scale(), 1.0f);
  EXPECT_FLOAT_EQ(font.advance("Hello"), advance1);

  // A bigger size measures longer.
  QW::Font big(path, 32);
  EXPECT_NEAR(big.advance("Hello"), 2.0f * advance1, 1.0f);
}

TEST(FontLayout, OneQuadPerCharacterEndingAtTheAdvance) {
  QW::Font font(sansFile(), 16);
  ASSERT_TRUE(font.valid());
  for (const int resolution : {1, 2}) {
    font.build(resolution);
    std::vector<float> vertices{1.0f, 2.0f};  // layout appends
    const float endX = font.layout("Hello", 10.0f, 20.0f, vertices);
    ASSERT_EQ(vertices.size(), 2 + 5 * kFloatsPerQuad);
    EXPECT_NEAR(endX, 10.0f + font.advance("Hello"), 0.01f);

    float previousLeft = 0.0f;
    for (size_t c = 0; c < 5; ++c) {
      const float* quad = vertices.data() + 2 + c * kFloatsPerQuad;
      // s, t, x, y, z per vertex: top-left, bottom-left, bottom-right, top-right.
      const float left = quad[2], top = quad[3], bottom = quad[8], right = quad[12];
      EXPECT_EQ(quad[4], 0.0f);
      EXPECT_EQ(quad[7], left);
      EXPECT_EQ(quad[18], top);
      EXPECT_EQ(quad[17], right);
      EXPECT_LT(left, right) << "character " << c;
      EXPECT_LT(bottom, top) << "character " << c;
      EXPECT_GT(left, previousLeft) << "pen moves right";
      previousLeft = left;
      // Glyphs of "Hello" sit on the baseline and fit under the ascender.
      EXPECT_NEAR(bottom, 20.0f, 1.0f);
      EXPECT_LE(top, 20.0f + font.ascender() + 1.0f);
      EXPECT_GE(left, 9.0f);
      EXPECT_LE(right, endX + 1.0f);
      // Texture coordinates are texels of the same size as the glyph.
      EXPECT_NEAR((quad[10] - quad[0]) * font.scale(), right - left, 0.01f);
      EXPECT_NEAR((quad[6] - quad[1]) * font.scale(), top - bottom, 0.01f);
    }
  }
  font.build(1);

  // Blanks advance the pen but draw an empty quad.
  std::vector<float> vertices;
  const float endX = font.layout(" ", 0.0f, 0.0f, vertices);
  ASSERT_EQ(vertices.size(), kFloatsPerQuad);
  EXPECT_GT(endX, 0.0f);
  EXPECT_EQ(vertices[2], vertices[12]);
}

TEST(FontLayout, CharactersAbove126AreLoadedOnFirstUse) {
  QW::Font font(sansFile(), 16);
  font.build(1);
  // Latin-1 bytes: e-acute and the degree sign.
  const std::string text = "\xe9\xb0";
  EXPECT_GT(font.measure(text).width, 0.0f);
  std::vector<float> vertices;
  const float endX = font.layout(text, 0.0f, 0.0f, vertices);
  ASSERT_EQ(vertices.size(), 2 * kFloatsPerQuad);
  EXPECT_NEAR(endX, font.advance(text), 0.01f);
  for (size_t c = 0; c < 2; ++c) {
    const float* quad = vertices.data() + c * kFloatsPerQuad;
    EXPECT_LT(quad[2], quad[12]) << "character " << c << " has ink";
    EXPECT_LT(quad[8], quad[3]) << "character " << c << " has ink";
  }
  // The accent reaches higher than a plain e.
  std::vector<float> plain;
  font.layout("e", 0.0f, 0.0f, plain);
  EXPECT_GT(vertices[3], plain[3]);
}

TEST(FontLayout, ReleaseDropsGlyphsUntilTheNextBuild) {
  QW::Font font(sansFile(), 12);
  font.build(1);
  const float advance = font.advance("abc");
  font.release();
  EXPECT_FALSE(font.valid());
  EXPECT_EQ(font.advance("abc"), 0.0f);
  std::vector<float> vertices;
  EXPECT_EQ(font.layout("abc", 4.0f, 0.0f, vertices), 4.0f);
  EXPECT_TRUE(vertices.empty());
  font.build(1);
  EXPECT_TRUE(font.valid());
  EXPECT_FLOAT_EQ(font.advance("abc"), advance);
}

// The layout script measures on the window's thread while the render thread
// builds the same font; the font lock keeps the two apart.
TEST(FontLayout, MeasuringWhileAnotherThreadBuilds) {
  QW::Font font(sansFile(), 14);
  font.build(1);
  const float expected = font.measure("Spectral 1234 \xe9").width;
  std::thread builder([&font] {
    for (int i = 0; i < 40; ++i) font.build(1 + i % 2);
  });
  for (int i = 0; i < 200; ++i) {
    const float width = font.measure("Spectral 1234 \xe9").width;
    EXPECT_NEAR(width, expected, 1.0f);
    std::vector<float> vertices;
    font.layout("abc", 0.0f, 0.0f, vertices);
    EXPECT_EQ(vertices.size(), 3 * kFloatsPerQuad);
  }
  builder.join();
}

}  // namespace
