// Text drawn for real: a GLX pbuffer on a private Xvfb, read back pixel by
// pixel.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gui/Font.h"
#include "gui/Manager.h"
#include "gui/StaticText.h"
#include "gui/TextRun.h"
#include "tests/support/GlTestContext.h"
#include "tests/support/PrivateXvfb.h"
#include "tests/support/ScopedEnv.h"

namespace {

constexpr int kWidth = 256;
constexpr int kHeight = 64;

struct Box {
  int minX = kWidth, minY = kHeight, maxX = -1, maxY = -1;
  int count = 0;
};

// Window pixels in window coordinates (origin bottom left), as the editor
// draws.
void startFrame() {
  gltest::useWindowPixels(kWidth, kHeight);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
}

// Where pixels of the given colour channel (0 red, 1 green, 2 blue) show.
Box inkOf(int channel) {
  const std::vector<unsigned char> pixels = gltest::readPixels(kWidth, kHeight);
  Box box;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      if (pixels[static_cast<size_t>((y * kWidth + x) * 4 + channel)] < 128) continue;
      ++box.count;
      box.minX = std::min(box.minX, x);
      box.maxX = std::max(box.maxX, x);
      box.minY = std::min(box.minY, y);
      box.maxY = std::max(box.maxY, y);
    }
  }
  return box;
}

class TextDrawing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = PrivateXvfb::startForSuite(); }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    if (!PrivateXvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_NE(server_, nullptr) << "Xvfb did not start";
    context_ = std::make_unique<gltest::PbufferContext>(server_->display(), kWidth, kHeight);
    if (!context_->current()) GTEST_SKIP() << "no GLX pbuffer on this server";
  }

  static std::unique_ptr<PrivateXvfb> server_;
  std::unique_ptr<gltest::PbufferContext> context_;
};

std::unique_ptr<PrivateXvfb> TextDrawing::server_;

TEST_F(TextDrawing, RunDrawsItsGlyphsWhereItWasLaidOut) {
  QW::Font font(QW::findFontFile("arial.ttf"), 24);
  font.build(1);
  QW::TextRunRegistry registry;
  QW::TextRun run(&registry);
  const float endX = run.set(&font, "Hello \xe9", 10.0f, 20.0f);

  startFrame();
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  run.draw(&font);
  const Box ink = inkOf(0);
  EXPECT_GT(ink.count, 150);
  EXPECT_GE(ink.minX, 10);
  EXPECT_LE(ink.maxX, static_cast<int>(endX) + 1);
  EXPECT_GE(ink.minY, 19) << "Hello sits on the baseline";
  EXPECT_LE(ink.maxY, 20 + static_cast<int>(font.ascender()) + 1);
  EXPECT_GT(ink.maxX - ink.minX, static_cast<int>((endX - 10.0f) * 0.8f));

  // Drawing leaves texturing, alpha test and blending off and the texture
  // matrix as it found it.
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
  GLfloat matrix[16];
  glGetFloatv(GL_TEXTURE_MATRIX, matrix);
  EXPECT_FLOAT_EQ(matrix[0], 1.0f);
  EXPECT_FLOAT_EQ(matrix[5], 1.0f);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  // Rendering torn down and set up again: a new atlas, the run laid out anew.
  font.release();
  registry.clearAll();
  font.build(1);
  run.set(&font, "Hello \xe9", 10.0f, 20.0f);
  startFrame();
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  run.draw(&font);
  EXPECT_EQ(inkOf(0).count, ink.count);
}

TEST_F(TextDrawing, StaticTextDrawsVisibleRunsInTheirColours) {
  QW::Manager manager = makeWithoutPreferences<QW::Manager>(nullptr);
  manager.setLabelFont(std::make_unique<QW::Font>(QW::findFontFile("tahoma.ttf"), 16));
  manager.labelFont()->build(1);
  QW::StaticText text(&manager, QW::StaticText::kLabelFont);
  float red[4] = {1.0f, 0.0f, 0.0f, 1.0f};
  const float green[4] = {0.0f, 1.0f, 0.0f, 1.0f};
  const float blue[4] = {0.0f, 0.0f, 1.0f, 1.0f};
  text.addRun("Left", 5.0f, 30.0f, red);
  const int hidden = text.addRun("Hidden", 5.0f, 5.0f, blue);
  text.addRun("Right", 150.0f, 30.0f, green);
  text.setRunVisible(hidden, false);

  startFrame();
  text.draw();
  const Box redInk = inkOf(0);
  const Box greenInk = inkOf(1);
  EXPECT_GT(redInk.count, 40);
  EXPECT_GT(greenInk.count, 40);
  EXPECT_LT(redInk.maxX, 100);
  EXPECT_GE(greenInk.minX, 150);
  EXPECT_GE(redInk.minY, 29);
  EXPECT_EQ(inkOf(2).count, 0) << "the hidden run is not drawn";

  // The caller's colour is read at every draw.
  red[0] = 0.0f;
  red[2] = 1.0f;
  startFrame();
  text.draw();
  EXPECT_EQ(inkOf(0).count, 0);
  EXPECT_EQ(inkOf(2).count, redInk.count);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
