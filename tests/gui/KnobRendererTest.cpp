#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "gui/KnobGeometry.h"
#include "gui/Texture.h"
#include "gui/TexturedKnobRenderer.h"

namespace {

constexpr float kPi = 3.14159265358979f;

struct Vertex {
  float s, t, nx, ny, nz, x, y, z;
};

Vertex vertexAt(const std::vector<float>& buffer, size_t knob, size_t corner) {
  const float* v = buffer.data() + knob * QW::kKnobFloats + corner * QW::kKnobVertexFloats;
  return {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]};
}

TEST(KnobGeometry, TemplateMapsTheKnobImageInTheAtlas) {
  // The knob at texel (1, 1), 37 texels wide, in a 128 x 64 atlas.
  const QW::KnobQuad quad = QW::knobQuad(1.0f, 1.0f, 37.0f, 128, 64);
  const float a[4] = {1.0f, 1.0f, -1.0f, -1.0f};
  const float b[4] = {1.0f, -1.0f, -1.0f, 1.0f};
  // s follows b, t follows a.
  const float s[4] = {38.0f / 128.0f, 1.0f / 128.0f, 1.0f / 128.0f, 38.0f / 128.0f};
  const float t[4] = {38.0f / 64.0f, 38.0f / 64.0f, 1.0f / 64.0f, 1.0f / 64.0f};
  for (size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(quad[k].a, a[k]) << k;
    EXPECT_EQ(quad[k].b, b[k]) << k;
    EXPECT_FLOAT_EQ(quad[k].s, s[k]) << k;
    EXPECT_FLOAT_EQ(quad[k].t, t[k]) << k;
  }

  // An unloaded texture gives finite coordinates.
  const QW::KnobQuad unloaded = QW::knobQuad(1.0f, 1.0f, 37.0f, 0, 0);
  for (const QW::KnobCorner& c : unloaded) {
    EXPECT_TRUE(std::isfinite(c.s));
    EXPECT_TRUE(std::isfinite(c.t));
  }
}

TEST(KnobGeometry, CornersTurnClockwiseWithTheNormal) {
  const QW::KnobQuad quad = QW::knobQuad(0.0f, 0.0f, 32.0f, 64, 64);
  std::vector<float> buffer(QW::kKnobFloats);

  QW::knobVertices(quad, 100.0f, 50.0f, 10.0f, 0.0f, buffer.data());
  // Unturned: corner (a, b) sits at centre + radius * (a, b), normal (0, -1, 0).
  const float expectedX[4] = {110.0f, 110.0f, 90.0f, 90.0f};
  const float expectedY[4] = {60.0f, 40.0f, 40.0f, 60.0f};
  for (size_t k = 0; k < 4; ++k) {
    const Vertex v = vertexAt(buffer, 0, k);
    EXPECT_NEAR(v.x, expectedX[k], 1e-4f) << k;
    EXPECT_NEAR(v.y, expectedY[k], 1e-4f) << k;
    EXPECT_FLOAT_EQ(v.z, 0.0f);
    EXPECT_NEAR(v.nx, 0.0f, 1e-6f);
    EXPECT_NEAR(v.ny, -1.0f, 1e-6f);
    EXPECT_FLOAT_EQ(v.nz, 0.0f);
    EXPECT_FLOAT_EQ(v.s, quad[k].s);
    EXPECT_FLOAT_EQ(v.t, quad[k].t);
  }

  // A quarter turn clockwise: the corner up-right (1, 1) goes down-right.
  QW::knobVertices(quad, 100.0f, 50.0f, 10.0f, kPi / 2.0f, buffer.data());
  Vertex v = vertexAt(buffer, 0, 0);
  EXPECT_NEAR(v.x, 110.0f, 1e-4f);
  EXPECT_NEAR(v.y, 40.0f, 1e-4f);
  EXPECT_NEAR(v.nx, 1.0f, 1e-6f);
  EXPECT_NEAR(v.ny, 0.0f, 1e-6f);
  // (-1, 1), up-left, goes up-right.
  v = vertexAt(buffer, 0, 3);
  EXPECT_NEAR(v.x, 110.0f, 1e-4f);
  EXPECT_NEAR(v.y, 60.0f, 1e-4f);

  // An eighth of a turn keeps every corner at the radius times sqrt 2.
  QW::knobVertices(quad, 0.0f, 0.0f, 1.0f, kPi / 4.0f, buffer.data());
  v = vertexAt(buffer, 0, 0);
  EXPECT_NEAR(v.x, std::sqrt(2.0f), 1e-5f);
  EXPECT_NEAR(v.y, 0.0f, 1e-5f);
  EXPECT_NEAR(v.nx, std::sin(kPi / 4.0f), 1e-6f);
  EXPECT_NEAR(v.ny, -std::cos(kPi / 4.0f), 1e-6f);
}

TEST(KnobGeometry, RunsSkipInvisibleKnobs) {
  using Runs = std::vector<QW::KnobRun>;
  EXPECT_EQ(QW::visibleRuns({true, true, false, true}), (Runs{{0, 2}, {3, 4}}));
  EXPECT_EQ(QW::visibleRuns({}), Runs{});
  EXPECT_EQ(QW::visibleRuns({false, false}), Runs{});
  EXPECT_EQ(QW::visibleRuns({true, true, true}), (Runs{{0, 3}}));
  EXPECT_EQ(QW::visibleRuns({false, true, false, false, true, true}), (Runs{{1, 2}, {4, 6}}));
}

TEST(KnobRenderer, BufferFollowsCentresAnglesAndVisibility) {
  QW::Texture atlas;
  atlas.width = 128;
  atlas.height = 128;
  QW::TexturedKnobRenderer renderer(nullptr, &atlas, nullptr, 1.0f, 1.0f, 37.0f);
  EXPECT_EQ(renderer.addInstance({1.0f, 0.0f, 0.0f, 1.0f}), 0);
  EXPECT_EQ(renderer.addInstance({0.0f, 1.0f, 0.0f, 1.0f}), 1);
  EXPECT_EQ(renderer.addInstance({0.0f, 0.0f, 1.0f, 1.0f}), 2);
  EXPECT_EQ(renderer.instanceCount(), 3u);
  EXPECT_FLOAT_EQ(renderer.instance(1).colour.g, 1.0f);

  // Before the buffer exists the angle is remembered, not drawn.
  renderer.setCentre(0, 50.0f, 60.0f, 18.5f);
  renderer.setCentre(1, 200.0f, 100.0f, 10.0f);
  renderer.setCentre(2, 300.0f, 100.0f, 10.0f);
  renderer.setAngle(1, kPi / 2.0f);
  EXPECT_TRUE(renderer.vertices().empty());
  EXPECT_FLOAT_EQ(renderer.instance(1).angle, kPi / 2.0f);

  renderer.prepareGeometry();
  ASSERT_EQ(renderer.vertices().size(), 3 * QW::kKnobFloats);
  const QW::KnobQuad quad = QW::knobQuad(1.0f, 1.0f, 37.0f, 128, 128);
  std::vector<float> expected(QW::kKnobFloats);
  QW::knobVertices(quad, 200.0f, 100.0f, 10.0f, kPi / 2.0f, expected.data());
  for (size_t i = 0; i < QW::kKnobFloats; ++i)
    EXPECT_FLOAT_EQ(renderer.vertices()[QW::kKnobFloats + i], expected[i]) << i;
  EXPECT_NEAR(vertexAt(renderer.vertices(), 0, 0).x, 50.0f + 18.5f, 1e-4f);

  // Turning one knob rewrites its four vertices and no others.
  const std::vector<float> before = renderer.vertices();
  renderer.setAngle(2, -kPi / 2.0f);
  QW::knobVertices(quad, 300.0f, 100.0f, 10.0f, -kPi / 2.0f, expected.data());
  for (size_t i = 0; i < QW::kKnobFloats; ++i) {
    EXPECT_FLOAT_EQ(renderer.vertices()[2 * QW::kKnobFloats + i], expected[i]) << i;
    EXPECT_EQ(renderer.vertices()[i], before[i]);
    EXPECT_EQ(renderer.vertices()[QW::kKnobFloats + i], before[QW::kKnobFloats + i]);
  }

  // A knob moved after set-up (the knob's own preparation) is redrawn there.
  renderer.setCentre(0, 10.0f, 20.0f, 5.0f);
  EXPECT_NEAR(vertexAt(renderer.vertices(), 0, 2).x, 5.0f, 1e-4f);
  EXPECT_NEAR(vertexAt(renderer.vertices(), 0, 2).y, 15.0f, 1e-4f);

  using Runs = std::vector<QW::KnobRun>;
  EXPECT_EQ(renderer.drawRuns(), (Runs{{0, 3}}));
  renderer.setVisible(1, false);
  EXPECT_EQ(renderer.drawRuns(), (Runs{{0, 1}, {2, 3}}));
  renderer.setVisible(0, false);
  renderer.setVisible(2, false);
  EXPECT_EQ(renderer.drawRuns(), Runs{});
}

}  // namespace
