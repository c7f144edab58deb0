// The editor's drawing for real: a GLX context on a private Xvfb server,
// pixels read back from the back buffer, plus the knobs' geometry.
// clang-format off
// gtest before the X headers, which define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <GL/glew.h>
#include <X11/Xlib.h>
// clang-format on
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/GlobalSettings.h"
#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "gui/Button.h"
#include "gui/DropDown.h"
#include "gui/Font.h"
#include "gui/Group.h"
#include "gui/KnobGeometry.h"
#include "gui/Ovmanager.h"
#include "gui/ShaderProgram.h"
#include "gui/TextField.h"
#include "gui/TextRun.h"
#include "gui/Texture.h"
#include "gui/TexturedKnobRenderer.h"
#include "gui/TexturedMeters.h"
#include "tests/gui/PngWriter.h"
#include "tests/support/GlTestContext.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/XvfbSuite.h"

namespace {

constexpr int kWidth = 256;
constexpr int kHeight = 120;
constexpr float kPi = 3.14159265358979f;

using gltest::near;
using gltest::Rgb;
using Pixels = std::vector<uint8_t>;

// Reaches the manager's drawing hooks without a render thread.
class ProbeManager : public QW::Ovmanager {
 public:
  using QW::Ovmanager::drawLayer;
  using QW::Ovmanager::Ovmanager;
  using QW::Ovmanager::prepareRendering;
  void drawBackgroundForTest() { drawBackground(); }
  void shutDown() { createRenderingShutdowner()->shutdown(); }
};

// Where pixels of the given colour channel (0 red, 1 green, 2 blue) show.
struct Ink {
  int minX = kWidth, minY = kHeight, maxX = -1, maxY = -1, count = 0;
};
Ink inkOf(int channel) {
  const std::vector<unsigned char> pixels = gltest::readPixels(kWidth, kHeight);
  Ink ink;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      if (pixels[static_cast<size_t>((y * kWidth + x) * 4 + channel)] < 128) continue;
      ++ink.count;
      ink.minX = std::min(ink.minX, x), ink.maxX = std::max(ink.maxX, x);
      ink.minY = std::min(ink.minY, y), ink.maxY = std::max(ink.maxY, y);
    }
  return ink;
}

class Drawing : public XvfbSuite {
 protected:
  void SetUp() override {
    XvfbSuite::SetUp();
    if (stopped()) return;
    ASSERT_TRUE(editorWindow.open(serverDisplay()));
    std::system(("mkdir -p '" + folder + "'").c_str());
    clear();
  }
  void TearDown() override {
    QW::GlobalSettings::eyeCandy = savedEyeCandy;
    std::system(("rm -rf '" + folder + "'").c_str());
  }

  // A PNG of one colour (RGBA or RGB as the pixel has 4 or 3 samples), or
  // two: the upper half of the file `top`.
  std::string png(const std::string& name, int w, int h, const Pixels& pixel,
                  const Pixels& top = {}) {
    const std::string path = folder + "/" + name;
    const auto bytes = testpng::encodeRgb(w, h, pixel.size() == 4, [&](int, int y) {
      return !top.empty() && y < h / 2 ? top : pixel;
    });
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  static void clear(float grey = 0.0f) {
    glClearColor(grey, grey, grey, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  static Rgb pixel(int x, int y) { return gltest::readPixel(x, y); }
  // What every element must leave as it found it.
  static void expectCleanState() {
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }

  const bool savedEyeCandy = QW::GlobalSettings::eyeCandy.load();
  gltest::EditorWindow editorWindow{kWidth, kHeight};
  const std::string folder = ::testing::TempDir() + "veldrana-drawing-" + std::to_string(getpid());
  RecordingHost host;
  QwkTonalmire effect{RecordingHost::callback()};
  QW::Manager manager = makeWithoutPreferences<QW::Manager>(&effect);
};

TEST_F(Drawing, TexturesLoadOnceAndOnlyInUsableFormats) {
  QW::Texture good, odd, missing;
  good.path = png("good.png", 16, 32, {10, 20, 30, 255});
  odd.path = png("odd.png", 12, 16, {10, 20, 30});
  missing.path = folder + "/missing.png";
  for (QW::Texture* t : {&good, &odd, &missing}) t->load();
  EXPECT_EQ((std::vector<int>{good.width, good.height}), (std::vector<int>{16, 32}));
  const unsigned int first = good.glName;
  good.load();
  EXPECT_EQ(good.glName, first) << "a second load must not upload again";
  good.release();
  EXPECT_FALSE(good.loadAttempted);
  EXPECT_TRUE(odd.loadAttempted && missing.loadAttempted);
  EXPECT_EQ(odd.glName + missing.glName, 0u);
  EXPECT_NE(first, 0u);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Drawing, MetersShowTheStripFromItsLowerEnd) {
  QW::Texture atlas;  // 16 x 32: the upper half of the file green, the lower blue
  atlas.path = png("strip.png", 16, 32, {0, 0, 255, 255}, {0, 255, 0, 255});
  atlas.load();
  QW::TexturedMeters meters(nullptr, &atlas, 0.0f, 0.0f, 16.0f, 32.0f);
  float levels[3] = {0.5f, std::numeric_limits<float>::quiet_NaN(), 3.0f};
  for (int i = 0; i < 3; ++i) meters.addMeter(static_cast<float>(i * 20), 0.0f, &levels[i]);
  meters.draw();
  const Rgb blue{0, 0, 255}, green{0, 255, 0}, well{26, 26, 26};
  const struct {
    int x, y;
    Rgb colour;
  } expected[] = {{8, 4, blue},       {8, 12, blue},   {8, 28, well},  // half a bar
                  {28, 4, well},      {28, 28, well},                  // NaN: none
                  {48, 4, blue},      {48, 28, green},                 // above 1: full
                  {18, 20, {0, 0, 0}}};
  for (const auto& e : expected)
    EXPECT_TRUE(near(pixel(e.x, e.y), e.colour, 2)) << e.x << "," << e.y;
  atlas.release();
}

TEST_F(Drawing, KnobsAreLitByThePointerLightOnlyWithEyeCandy) {
  QW::Texture knob, normals;
  knob.path = png("knob.png", 4, 4, {255, 0, 0, 255});
  normals.path = png("knob_n.png", 4, 4, {128, 128, 255});
  knob.load();
  normals.load();
  QW::TexturedKnobRenderer renderer(nullptr, &knob, &normals, 0.0f, 0.0f, 4.0f);
  for (int i = 0; i < 2; ++i) renderer.addInstance({0.2f, 0.7f, 0.9f, 1.0f});
  renderer.prepareRendering();
  for (int i = 0; i < 2; ++i) renderer.setCentre(i, 15.0f + 25.0f * i, 20.0f, 8.0f);
  renderer.setVisible(1, false);
  // The light straight above the first knob and far away: the flat normal
  // map faces it fully, so d is about 0.4 and the highlight 0.5.
  const float light[4] = {15.0f, 20.0f, 1.0e6f, 1.0f};
  glLightfv(GL_LIGHT1, GL_POSITION, light);
  const struct {
    bool eyeCandy;
    Rgb centre;
  } cases[] = {{false, {255, 0, 0}}, {true, {128, 102, 26}}};  // 1 x 0.4 + 0.2 x 0.5, ...
  for (const auto& c : cases) {
    QW::GlobalSettings::eyeCandy = c.eyeCandy;
    clear();
    renderer.draw();
    EXPECT_TRUE(near(pixel(15, 20), c.centre, 4)) << c.eyeCandy;
    EXPECT_TRUE(near(pixel(40, 20), {0, 0, 0}, 0)) << "the invisible knob leaves a gap";
    EXPECT_TRUE(near(pixel(15, 31), {0, 0, 0}, 0)) << "the quad covers the radius only";
  }
  renderer.releaseRendering();  // falls back to plain texturing
  clear();
  renderer.draw();
  EXPECT_TRUE(near(pixel(15, 20), {255, 0, 0}, 1));
  knob.release();
  normals.release();
}

TEST_F(Drawing, LayerGoesThroughTheBackgroundShaderWithEyeCandyAndTheTileLoadsOnFirstUse) {
  auto probe = makeWithoutPreferences<ProbeManager>(nullptr);
  probe.prepareRendering();
  // With no layer picture the shader samples opaque black; the fixed-function
  // fallback draws the white quad, and so does a shut-down manager.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  const struct {
    bool eyeCandy, shutDown;
    Rgb colour;
  } cases[] = {
      {true, false, {0, 0, 0}}, {false, false, {255, 255, 255}}, {true, true, {255, 255, 255}}};
  for (const auto& c : cases) {
    QW::GlobalSettings::eyeCandy = c.eyeCandy;
    if (c.shutDown) probe.shutDown();
    clear();
    probe.drawLayer();
    EXPECT_TRUE(near(pixel(40, 20), c.colour, 0)) << c.eyeCandy << c.shutDown;
  }

  auto tiled = makeWithoutPreferences<ProbeManager>(nullptr);
  tiled.setWindowSize({80, 40});
  tiled.computeViewGeometry();
  tiled.setBackgroundColour(0.0f, 0.0f, 1.0f);
  tiled.setBannerBounds(0.0f, 27.0f, 80.0f, 35.0f);
  QW::Texture tile;
  tile.path = png("tile.png", 8, 8, {200, 200, 200});
  tiled.setBackgroundTexture(&tile, nullptr);
  EXPECT_EQ(tile.glName, 0u) << "set-up must leave the tile to its first use";
  gltest::useWindowPixels(kWidth, kHeight);
  clear();
  tiled.drawBackgroundForTest();
  EXPECT_NE(tile.glName, 0u);
  // The tile below the banner gap, tinted towards the bottom; the colour above.
  EXPECT_TRUE(near(pixel(40, 1), {170, 160, 160}, 6));
  EXPECT_TRUE(near(pixel(40, 18), {196, 196, 196}, 6));
  EXPECT_TRUE(near(pixel(40, 30), {0, 0, 255}, 1));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  tile.release();
}

TEST_F(Drawing, ControlsDrawTheirBoxesAndStatesInsideTheirGroup) {
  manager.setWindowSize({120, 120});
  auto* group = manager.create<QW::Group>();
  group->setPosition(20, 10);
  auto* field =
      manager.create<QW::TextField>(kParamInputGain, 10.0f, 10.0f, 40.0f, 20.0f, std::string());
  group->add(field);  // at 30..70 x 20..40 in the window
  field->setActiveColour(0.0f, 1.0f, 0.0f);
  field->setChangedColour(1.0f, 0.0f, 0.0f);
  field->update();
  const std::vector<std::pair<std::function<void()>, Rgb>> steps = {
      {[] {}, {204, 204, 217}},
      {[&] { manager.setKeyFocus(field); }, {0, 255, 0}},
      {[&] { field->keyPressed('4'); }, {255, 0, 0}},
  };
  for (const auto& [act, colour] : steps) {
    act();
    group->draw();
    expectCleanState();
    EXPECT_TRUE(near(pixel(50, 30), colour));
    EXPECT_TRUE(near(pixel(30, 30), {204, 204, 217})) << "the one-pixel rim keeps the background";
    EXPECT_TRUE(near(pixel(75, 30), {0, 0, 0}));
  }

  auto* drop = manager.create<QW::OvDropDown>(kParamFftSize, 40.0f, 60.0f, 40.0f, 10.0f);
  clear();
  drop->drawOverlay();  // closed: nothing
  EXPECT_TRUE(near(pixel(60, 65), {0, 0, 0}));
  drop->mouseDown({60, 65}, 0, 1);  // item 5 of 8: the list spans 40..120
  drop->drawOverlay();
  expectCleanState();
  EXPECT_TRUE(near(pixel(60, 45), {145, 145, 145}));
  EXPECT_TRUE(near(pixel(60, 35), {0, 0, 0}));
}

TEST_F(Drawing, TextRunDrawsItsGlyphsWhereItWasLaidOut) {
  QW::Font font(QW::findFontFile("arial.ttf"), 24);
  font.build(1);
  QW::TextRunRegistry registry;
  QW::TextRun run(&registry);
  const float endX = run.set(&font, "Hello \xe9", 10.0f, 20.0f);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  run.draw(&font);
  expectCleanState();
  const Ink ink = inkOf(0);
  EXPECT_GT(ink.count, 150);
  EXPECT_GE(ink.minX, 10);
  EXPECT_LE(ink.maxX, static_cast<int>(endX) + 1);
  EXPECT_GT(ink.maxX - ink.minX, static_cast<int>((endX - 10.0f) * 0.8f));
  EXPECT_GE(ink.minY, 19) << "Hello sits on the baseline";
  EXPECT_LE(ink.maxY, 20 + static_cast<int>(font.ascender()) + 1);
}

TEST(KnobGeometry, CornersMapTheAtlasAndTurnClockwiseWithTheNormal) {
  // The knob at texel (1, 1), 37 texels wide, in a 128 x 64 atlas.
  const QW::KnobQuad quad = QW::knobQuad(1.0f, 1.0f, 37.0f, 128, 64);
  EXPECT_FLOAT_EQ(quad[0].s, 38.0f / 128.0f);
  EXPECT_FLOAT_EQ(quad[1].s, 1.0f / 128.0f);
  EXPECT_FLOAT_EQ(quad[1].t, 38.0f / 64.0f);
  EXPECT_FLOAT_EQ(quad[2].t, 1.0f / 64.0f);
  std::vector<float> buffer(QW::kKnobFloats);
  const struct {
    float angle;
    size_t corner;
    float x, y, nx, ny;
  } cases[] = {
      {0.0f, 0, 110, 60, 0, -1},
      {0.0f, 2, 90, 40, 0, -1},
      {kPi / 2.0f, 0, 110, 40, 1, 0},
      {kPi / 2.0f, 3, 110, 60, 1, 0},
      {kPi / 4.0f, 0, 100 + 10 * std::sqrt(2.0f), 50, std::sin(kPi / 4), -std::cos(kPi / 4)},
  };
  for (const auto& c : cases) {
    QW::knobVertices(quad, 100.0f, 50.0f, 10.0f, c.angle, buffer.data());
    const float* v = buffer.data() + c.corner * QW::kKnobVertexFloats;  // s t nx ny nz x y z
    EXPECT_NEAR(v[5], c.x, 1e-4f) << c.angle << " " << c.corner;
    EXPECT_NEAR(v[6], c.y, 1e-4f) << c.angle << " " << c.corner;
    EXPECT_NEAR(v[2], c.nx, 1e-6f) << c.angle << " " << c.corner;
    EXPECT_NEAR(v[3], c.ny, 1e-6f) << c.angle << " " << c.corner;
  }
}

TEST(Meters, BarUncoversTheStripFromItsLowerEndByTheClampedLevel) {
  QW::Texture atlas;
  atlas.width = 128;
  atlas.height = 128;
  QW::TexturedMeters meters(nullptr, &atlas, 123.0f, 0.0f, 5.0f, 81.0f);
  const float inf = std::numeric_limits<float>::infinity();
  const std::pair<float, float> heights[] = {
      {0.5f, 40.5f}, {7.0f, 81.0f}, {inf, 81.0f},
      {-0.3f, 0.0f}, {-inf, 0.0f},  {std::numeric_limits<float>::quiet_NaN(), 0.0f}};
  for (const auto& [level, height] : heights) EXPECT_FLOAT_EQ(meters.barHeight(level), height);

  float level = 0.25f;
  meters.addMeter(100.0f, 10.0f, &level);
  const QW::TexturedMeters::Bar quarter = meters.bar(0);
  EXPECT_EQ((std::vector<float>{quarter.x0, quarter.x1, quarter.y0, quarter.y1}),
            (std::vector<float>{100, 105, 10, 10 + 20.25f}));
  EXPECT_FLOAT_EQ(quarter.s0, 123.0f / 128.0f);
  // The bottom of the bar shows the strip's lower end; its top as much
  // above it as the bar is high.
  EXPECT_FLOAT_EQ(quarter.tBottom, 81.0f / 128.0f);
  EXPECT_FLOAT_EQ(quarter.tTop, (81.0f - 20.25f) / 128.0f);
  // The level is read when the bar is asked for, as the audio thread moves it.
  level = 2.0f;
  EXPECT_FLOAT_EQ(meters.bar(0).tTop, 0.0f);
  // An unloaded texture gives finite coordinates.
  QW::Texture missing;
  QW::TexturedMeters unloaded(nullptr, &missing, 123.0f, 0.0f, 5.0f, 81.0f);
  unloaded.addMeter(0.0f, 0.0f, &level);
  EXPECT_TRUE(std::isfinite(unloaded.bar(0).s0) && std::isfinite(unloaded.bar(0).tTop));
}

}  // namespace
