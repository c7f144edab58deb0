// Textures, meters, knobs and the background shader drawn for real: a GLX
// context on a private Xvfb server, pixels read back from the back buffer.
// clang-format off
// gtest before the X headers, which define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <GL/glew.h>
#include <X11/Xlib.h>
// clang-format on
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/GlobalSettings.h"
#include "gui/Ovmanager.h"
#include "gui/ShaderProgram.h"
#include "gui/Texture.h"
#include "gui/TexturedKnobRenderer.h"
#include "gui/TexturedMeters.h"
#include "tests/gui/PngWriter.h"
#include "tests/support/GlTestContext.h"
#include "tests/support/PrivateXvfb.h"
#include "tests/support/ScopedEnv.h"

namespace {

constexpr int kWidth = 80;
constexpr int kHeight = 40;

using gltest::near;
using gltest::Rgb;

std::unique_ptr<PrivateXvfb> server;

// Reaches the manager's drawing hooks without a render thread.
class ProbeManager : public QW::Ovmanager {
 public:
  using QW::Ovmanager::drawLayer;
  using QW::Ovmanager::Ovmanager;
  using QW::Ovmanager::prepareRendering;
  void drawBackgroundForTest() { drawBackground(); }
  void shutDown() { createRenderingShutdowner()->shutdown(); }
};

class TexturedDrawing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server = PrivateXvfb::startForSuite(); }
  static void TearDownTestSuite() { server.reset(); }

  void SetUp() override {
    if (!PrivateXvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_NE(server, nullptr) << "Xvfb did not start";
    ASSERT_TRUE(editorWindow.open(server->display()));

    folder = ::testing::TempDir() + "veldrana-textures-" + std::to_string(getpid());
    std::system(("mkdir -p '" + folder + "'").c_str());
    savedEyeCandy = QW::GlobalSettings::eyeCandy.load();
  }

  void TearDown() override {
    QW::GlobalSettings::eyeCandy = savedEyeCandy;
    if (!folder.empty()) std::system(("rm -rf '" + folder + "'").c_str());
  }

  std::string writeFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  void clear() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
  }

  static Rgb pixel(int x, int y) { return gltest::readPixel(x, y); }

  bool savedEyeCandy = true;
  gltest::EditorWindow editorWindow{kWidth, kHeight};
  std::string folder;
};

TEST_F(TexturedDrawing, TexturesLoadOnceFromFilesAndOnlyInUsableFormats) {
  const auto opaque = [](int, int) { return std::vector<uint8_t>{10, 20, 30, 255}; };
  QW::Texture good;
  good.path = writeFile("good.png", testpng::encodeRgb(16, 32, true, opaque));
  good.load();
  EXPECT_TRUE(good.loadAttempted);
  EXPECT_NE(good.glName, 0u);
  EXPECT_EQ(good.width, 16);
  EXPECT_EQ(good.height, 32);
  const unsigned int first = good.glName;
  good.load();
  EXPECT_EQ(good.glName, first) << "a second load must not upload again";

  good.release();
  EXPECT_EQ(good.glName, 0u);
  EXPECT_FALSE(good.loadAttempted);
  good.load();
  EXPECT_NE(good.glName, 0u) << "a released texture loads again";
  good.release();

  QW::Texture odd;
  odd.path = writeFile("odd.png", testpng::encodeRgb(12, 16, false, opaque));
  odd.load();
  EXPECT_TRUE(odd.loadAttempted);
  EXPECT_EQ(odd.glName, 0u);

  QW::Texture missing;
  missing.path = folder + "/missing.png";
  missing.load();
  EXPECT_TRUE(missing.loadAttempted);
  EXPECT_EQ(missing.glName, 0u);

  QW::Texture noResource;
  noResource.resourceId = 99999;
  noResource.load();
  EXPECT_EQ(noResource.glName, 0u);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TexturedDrawing, MetersShowTheStripFromItsLowerEnd) {
  // A 16 x 32 strip: the upper half of the file green, the lower half blue.
  QW::Texture atlas;
  atlas.path = writeFile(
      "strip.png", testpng::encodeRgb(16, 32, true, [](int, int y) {
        return y < 16 ? std::vector<uint8_t>{0, 255, 0, 255} : std::vector<uint8_t>{0, 0, 255, 255};
      }));
  atlas.load();
  ASSERT_NE(atlas.glName, 0u);

  QW::TexturedMeters meters(nullptr, &atlas, 0.0f, 0.0f, 16.0f, 32.0f);
  float levels[4] = {0.5f, 1.0f, std::numeric_limits<float>::quiet_NaN(), 3.0f};
  for (int i = 0; i < 4; ++i) meters.addMeter(static_cast<float>(i * 20), 0.0f, &levels[i]);
  clear();
  meters.draw();

  const Rgb blue{0, 0, 255};
  const Rgb green{0, 255, 0};
  const Rgb well{26, 26, 26};
  // Half a bar: the strip's lower (blue) half, then the empty well.
  EXPECT_TRUE(near(pixel(8, 4), blue, 2));
  EXPECT_TRUE(near(pixel(8, 12), blue, 2));
  EXPECT_TRUE(near(pixel(8, 28), well, 2));
  // Full bars show the whole strip, blue below green; above 1 is full.
  for (int x : {28, 68}) {
    EXPECT_TRUE(near(pixel(x, 4), blue, 2)) << x;
    EXPECT_TRUE(near(pixel(x, 28), green, 2)) << x;
  }
  // NaN shows no bar.
  EXPECT_TRUE(near(pixel(48, 4), well, 2));
  EXPECT_TRUE(near(pixel(48, 28), well, 2));
  // Outside the meters nothing is drawn.
  EXPECT_TRUE(near(pixel(18, 20), Rgb{0, 0, 0}, 0));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  atlas.release();
}

TEST_F(TexturedDrawing, KnobsAreLitByThePointerLightOnlyWithEyeCandy) {
  QW::Texture knob;
  knob.path = writeFile("knob.png", testpng::encodeRgb(4, 4, true, [](int, int) {
                          return std::vector<uint8_t>{255, 0, 0, 255};
                        }));
  QW::Texture normals;
  normals.path = writeFile("knob_n.png", testpng::encodeRgb(4, 4, false, [](int, int) {
                             return std::vector<uint8_t>{128, 128, 255};
                           }));
  knob.load();
  normals.load();
  ASSERT_NE(knob.glName, 0u);
  ASSERT_NE(normals.glName, 0u);

  QW::TexturedKnobRenderer renderer(nullptr, &knob, &normals, 0.0f, 0.0f, 4.0f);
  for (int i = 0; i < 3; ++i) renderer.addInstance({0.2f, 0.7f, 0.9f, 1.0f});
  renderer.prepareRendering();
  for (int i = 0; i < 3; ++i) renderer.setCentre(i, 15.0f + 25.0f * i, 20.0f, 8.0f);
  renderer.setAngle(2, 0.7f);
  renderer.setVisible(1, false);

  // The pointer light straight above the first knob and far away: the
  // flat normal map faces it fully, so d is about 0.4 and the highlight 0.5.
  const float light[4] = {15.0f, 20.0f, 1.0e6f, 1.0f};
  glLightfv(GL_LIGHT1, GL_POSITION, light);

  QW::GlobalSettings::eyeCandy = false;
  clear();
  renderer.draw();
  const Rgb red{255, 0, 0};
  EXPECT_TRUE(near(pixel(15, 20), red, 1)) << "without eye candy the knob is its texture";
  EXPECT_TRUE(near(pixel(65, 20), red, 1));
  EXPECT_TRUE(near(pixel(40, 20), Rgb{0, 0, 0}, 0)) << "the invisible knob leaves a gap";
  // The quad covers the knob's radius and no more.
  EXPECT_TRUE(near(pixel(15, 31), Rgb{0, 0, 0}, 0));

  QW::GlobalSettings::eyeCandy = true;
  clear();
  renderer.draw();
  // 1 x 0.4 + 0.2 x 0.5, 0.8 x 0.5, 0.2 x 0.5.
  EXPECT_TRUE(near(pixel(15, 20), Rgb{128, 102, 26}, 4)) << "the knob shader did not light";
  EXPECT_TRUE(near(pixel(40, 20), Rgb{0, 0, 0}, 0));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  // After release the renderer falls back to plain texturing.
  renderer.releaseRendering();
  clear();
  renderer.draw();
  EXPECT_TRUE(near(pixel(15, 20), red, 1));
  knob.release();
  normals.release();
}

TEST_F(TexturedDrawing, LayerGoesThroughTheBackgroundShaderWithEyeCandy) {
  auto manager = makeWithoutPreferences<ProbeManager>(nullptr);
  manager.prepareRendering();

  // With no layer picture the shader samples opaque black, which it shows
  // unlit as black; the fixed-function fallback draws the white quad.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  QW::GlobalSettings::eyeCandy = true;
  clear();
  manager.drawLayer();
  EXPECT_TRUE(near(pixel(40, 20), Rgb{0, 0, 0}, 0)) << "the background shader is not in use";
  QW::GlobalSettings::eyeCandy = false;
  clear();
  manager.drawLayer();
  EXPECT_TRUE(near(pixel(40, 20), Rgb{255, 255, 255}, 0));

  QW::GlobalSettings::eyeCandy = true;
  manager.shutDown();
  clear();
  manager.drawLayer();
  EXPECT_TRUE(near(pixel(40, 20), Rgb{255, 255, 255}, 0)) << "the shutdowner keeps the program";
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TexturedDrawing, ShaderProgramsBuildOrRefuseCleanly) {
  ASSERT_TRUE(QW::ShaderProgram::available());
  QW::ShaderProgram good;
  EXPECT_TRUE(good.build("test", nullptr,
                         "#version 110\nuniform float level;\n"
                         "void main() { gl_FragColor = vec4(level); }\n"));
  EXPECT_TRUE(good.valid());
  EXPECT_GE(good.uniformLocation("level"), 0);
  EXPECT_EQ(good.uniformLocation("absent"), -1);
  good.release();
  EXPECT_FALSE(good.valid());

  // A compile or link failure keeps nothing, so callers draw without it.
  QW::ShaderProgram broken;
  EXPECT_FALSE(broken.build("test", nullptr, "#version 110\nvoid main() { nonsense; }\n"));
  EXPECT_FALSE(broken.valid());
  EXPECT_EQ(broken.uniformLocation("level"), -1);
  EXPECT_FALSE(broken.build("test", "#version 110\nvoid main() { gl_Position = vec4(0.0); }\n",
                            "#version 110\nvarying vec3 never;\n"
                            "void main() { gl_FragColor = vec4(never, 1.0); }\n"));
  EXPECT_FALSE(broken.valid());
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TexturedDrawing, BackgroundTileIsLoadedOnFirstUse) {
  auto manager = makeWithoutPreferences<ProbeManager>(nullptr);
  manager.setWindowSize({kWidth, kHeight});
  manager.computeViewGeometry();
  manager.setBackgroundColour(0.0f, 0.0f, 1.0f);
  manager.setBannerBounds(0.0f, 27.0f, static_cast<float>(kWidth), 35.0f);

  QW::Texture tile;
  tile.path = writeFile("tile.png", testpng::encodeRgb(8, 8, false, [](int, int) {
                          return std::vector<uint8_t>{200, 200, 200};
                        }));
  manager.setBackgroundTexture(&tile, nullptr);
  EXPECT_TRUE(tile.deferred) << "set-up must leave the tile to its first use";
  EXPECT_EQ(tile.glName, 0u);

  // As the layer is drawn: window pixels, straight.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, kWidth, 0.0, kHeight, -1.0, 1.0);
  clear();
  manager.drawBackgroundForTest();
  EXPECT_NE(tile.glName, 0u);
  // The tile below the banner gap (y < 20), tinted towards the bottom; the
  // background colour above it.
  const Rgb low = pixel(40, 1);
  EXPECT_TRUE(near(low, Rgb{200 * 85 / 100, 200 * 80 / 100, 200 * 80 / 100}, 6));
  EXPECT_TRUE(near(pixel(40, 18), Rgb{196, 196, 196}, 6));
  EXPECT_TRUE(near(pixel(40, 30), Rgb{0, 0, 255}, 1));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  tile.release();
}

}  // namespace
