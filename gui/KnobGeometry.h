// The maths of the knob renderer, apart from GL so it can be tested alone:
// the quad template, the turned vertices of one knob and the runs of
// visible knobs drawn together.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace QW {

// One corner of the unit quad: (a, b) in ±1 and its texture coordinates.
struct KnobCorner {
  float a = 0.0f;
  float b = 0.0f;
  float s = 0.0f;
  float t = 0.0f;
};

using KnobQuad = std::array<KnobCorner, 4>;

// Floats per vertex (s, t, nx, ny, nz, x, y, z) and per knob.
constexpr size_t kKnobVertexFloats = 8;
constexpr size_t kKnobFloats = 4 * kKnobVertexFloats;

// Corners (1, 1), (1, -1), (-1, -1), (-1, 1); the knob image lies at texel
// (u, v), size x size, in a texture of textureWidth x textureHeight. s runs
// along b and t along a, as the atlas stores the knob. A texture without a
// size (not loaded) counts as one texel square.
KnobQuad knobQuad(float u, float v, float size, int textureWidth, int textureHeight);

// The four vertices of a knob centred at (x, y) of the given radius, turned
// clockwise by angle (radians), written to out[0 .. kKnobFloats). The normal
// (sin angle, -cos angle, 0) carries the rotation to the lighting shader.
void knobVertices(const KnobQuad& quad, float x, float y, float radius, float angle, float* out);

// A run [first, end) of consecutive visible knobs.
struct KnobRun {
  size_t first = 0;
  size_t end = 0;
  bool operator==(const KnobRun& o) const { return first == o.first && end == o.end; }
};

std::vector<KnobRun> visibleRuns(const std::vector<bool>& visible);

}  // namespace QW
