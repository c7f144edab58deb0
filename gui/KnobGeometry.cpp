#include "gui/KnobGeometry.h"

#include <cmath>

namespace QW {

KnobQuad knobQuad(float u, float v, float size, int textureWidth, int textureHeight) {
  const float width = static_cast<float>(textureWidth > 0 ? textureWidth : 1);
  const float height = static_cast<float>(textureHeight > 0 ? textureHeight : 1);
  KnobQuad quad{{{1.0f, 1.0f}, {1.0f, -1.0f}, {-1.0f, -1.0f}, {-1.0f, 1.0f}}};
  for (KnobCorner& corner : quad) {
    corner.s = ((corner.b + 1.0f) * 0.5f * size + u) / width;
    corner.t = ((corner.a + 1.0f) * 0.5f * size + v) / height;
  }
  return quad;
}

void knobVertices(const KnobQuad& quad, float x, float y, float radius, float angle, float* out) {
  const float c = std::cos(angle);
  const float s = std::sin(angle);
  for (const KnobCorner& corner : quad) {
    out[0] = corner.s;
    out[1] = corner.t;
    out[2] = s;
    out[3] = -c;
    out[4] = 0.0f;
    out[5] = x + radius * (corner.a * c + corner.b * s);
    out[6] = y + radius * (corner.b * c - corner.a * s);
    out[7] = 0.0f;
    out += kKnobVertexFloats;
  }
}

std::vector<KnobRun> visibleRuns(const std::vector<bool>& visible) {
  std::vector<KnobRun> runs;
  for (size_t i = 0; i < visible.size();) {
    if (!visible[i]) {
      ++i;
      continue;
    }
    KnobRun run{i, i};
    while (run.end < visible.size() && visible[run.end]) ++run.end;
    runs.push_back(run);
    i = run.end;
  }
  return runs;
}

}  // namespace QW
