#include "tools/imagegen/Knob.h"

#include <algorithm>
#include <cmath>

#include "tools/imagegen/Noise.h"

namespace imagegen {

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr uint32_t kRingSeed = 0x4b6e6f62U;

// Radii as fractions of the knob's radius.
constexpr float kCapEnd = 0.64f;      // the cap's flat top ends, its bevel starts
constexpr float kSkirtStart = 0.75f;  // the bevel meets the skirt
constexpr float kRimStart = 0.88f;    // the skirt rounds off towards the panel
constexpr float kPointerInner = 0.14f;
constexpr float kPointerOuter = 0.63f;

constexpr float kPointerHalfWidth = 0.95f;  // texels
constexpr int kKnurlRidges = 30;

// Mostly frontal, a little from the upper left: the knob turns with this
// shading baked in, so a steep light would visibly swing round with it.
const Vec3 kLight = normalized({-0.34f, 0.42f, 0.84f});
const Vec3 kHalfway = normalized(kLight + Vec3{0.0f, 0.0f, 1.0f});

float segmentDistance(float px, float py, float x0, float y0, float x1, float y1) {
  const float dx = x1 - x0, dy = y1 - y0;
  const float t = std::clamp(((px - x0) * dx + (py - y0) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
  return std::hypot(px - (x0 + t * dx), py - (y0 + t * dy));
}

// 1 on the knurled skirt, fading out on the bevel and the rounded rim.
float skirtMask(float r) {
  return smoothstep(kSkirtStart - 0.01f, kSkirtStart + 0.03f, r) *
         (1.0f - smoothstep(kRimStart - 0.02f, kRimStart + 0.06f, r));
}

}  // namespace

Knob::Knob(float radius) : radius_(radius) {}

float Knob::pointerDistance(float x, float y) const {
  return segmentDistance(x, y, 0.0f, -kPointerInner * radius_, 0.0f, -kPointerOuter * radius_);
}

float Knob::height(float x, float y) const {
  const float r = std::hypot(x, y) / radius_;
  // A cosine shoulder instead of a quarter circle keeps the edge's slope
  // finite, so the outermost texels still get usable normals.
  const float rim = r < kRimStart
                        ? 1.0f
                        : std::cos(0.5f * kPi * std::min(1.0f, (r - kRimStart) / (1 - kRimStart)));
  float h = 1.8f * rim + 1.1f * (1.0f - smoothstep(kCapEnd, kSkirtStart, r)) + 1.2f * (1 - r * r);

  // Spun-metal rings: fine, concentric, so the cap looks the same however
  // far the knob is turned.
  const float cap = 1.0f - smoothstep(kCapEnd - 0.06f, kCapEnd, r);
  h += 0.06f * (lineNoise(kRingSeed, r * radius_) - 0.5f) * cap * smoothstep(0.1f, 0.3f, r);

  if (r > 0.05f) {
    const float angle = std::atan2(x, -y);
    h += 0.07f * std::cos(kKnurlRidges * angle) * skirtMask(r);
  }

  const float groove = 1.0f - smoothstep(0.0f, kPointerHalfWidth + 0.9f, pointerDistance(x, y));
  return h - 0.75f * groove;
}

Vec3 Knob::normal(float x, float y) const {
  // Central differences; y is negated on the way because rows grow downwards
  // while the normal's y grows upwards.
  constexpr float kStep = 0.25f;
  const float dhdx = (height(x + kStep, y) - height(x - kStep, y)) / (2 * kStep);
  const float dhdrow = (height(x, y + kStep) - height(x, y - kStep)) / (2 * kStep);
  return normalized({-dhdx, dhdrow, 1.0f});
}

Colour Knob::colour(float x, float y) const {
  const float r = std::hypot(x, y) / radius_;
  const Vec3 n = normal(x, y);

  // Base grey: a light cap, a darker skirt, darkest where the rim turns away.
  const float toSkirt = smoothstep(kCapEnd, kSkirtStart, r);
  float grey = mix(0.70f, 0.52f, toSkirt) - 0.10f * smoothstep(kSkirtStart, 1.0f, r);
  // The polished lip where the cap's top turns into its bevel, all round,
  // since the knob turns.
  grey += 0.10f * (1.0f - smoothstep(0.0f, 0.045f, std::abs(r - (kCapEnd - 0.02f))));

  // Brushed rings, and the bow-tie sheen of spun metal, which lies along
  // the light's direction.
  const float cap = 1.0f - toSkirt;
  grey += 0.025f * (lineNoise(kRingSeed + 1, r * radius_ * 1.3f) - 0.5f) * cap *
          smoothstep(0.1f, 0.3f, r);
  if (r > 0.02f) {
    const float toward =
        (x * kLight.x - y * kLight.y) / (std::hypot(x, y) * std::hypot(kLight.x, kLight.y));
    grey += 0.12f * (toward * toward - 0.5f) * cap * smoothstep(0.0f, 0.3f, r);
  }

  // Light, relative to a flat texel so the cap keeps its grey.
  const float diffuse = std::max(0.0f, dot(n, kLight)) / kLight.z;
  const float specular = std::pow(std::max(0.0f, dot(n, kHalfway)), 24.0f);
  const float shade = 0.4f + 0.6f * diffuse;
  float value = grey * shade + 0.10f * specular;

  // The pointer's engraving is filled with near-white paint, lit gently so
  // it reads the same on every side; its dark lip keeps it apart from the
  // cap under light tints too.
  const float distance = pointerDistance(x, y);
  value *= 1.0f - 0.45f * clamp01(kPointerHalfWidth + 1.4f - distance);
  const float paint = clamp01(kPointerHalfWidth + 0.5f - distance);
  value = mix(value, 0.97f * (0.85f + 0.15f * diffuse), paint);

  value = clamp01(value);
  return {value, value, value, 1.0f};
}

}  // namespace imagegen
