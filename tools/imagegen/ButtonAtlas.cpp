#include "tools/imagegen/ButtonAtlas.h"

#include <array>
#include <cmath>

#include "tools/imagegen/Knob.h"

namespace imagegen {

namespace {

constexpr int kSamplesPerSide = 4;

const Colour kFlatNormal = encodeNormal({0.0f, 0.0f, 1.0f}, 0.0f);

void drawKnob(ButtonAtlas& atlas) {
  // Alpha reaches zero exactly at the square's edge.
  const Knob knob(kKnobSize * 0.5f - 0.5f);
  const float centre = kKnobSize * 0.5f;
  // Colour and normal are taken from just inside the circle for the edge
  // texels and a ring of transparent ones outside, so filtering towards
  // them blends with the rim rather than with black.
  const float inner = knob.radius() - 0.35f;
  const float bleed = knob.radius() + 2.0f;

  for (int row = 0; row < kKnobSize; ++row)
    for (int column = 0; column < kKnobSize; ++column) {
      const float cx = column + 0.5f - centre;
      const float cy = row + 0.5f - centre;
      const float distance = std::hypot(cx, cy);
      if (distance > bleed) continue;
      const float alpha = clamp01(knob.radius() + 0.5f - distance);

      Colour sum{0.0f, 0.0f, 0.0f, 0.0f};
      Vec3 normalSum;
      for (int j = 0; j < kSamplesPerSide; ++j)
        for (int i = 0; i < kSamplesPerSide; ++i) {
          float sx = column + (i + 0.5f) / kSamplesPerSide - centre;
          float sy = row + (j + 0.5f) / kSamplesPerSide - centre;
          const float d = std::hypot(sx, sy);
          if (d > inner) {
            sx *= inner / d;
            sy *= inner / d;
          }
          const Colour c = knob.colour(sx, sy);
          sum.r += c.r;
          sum.g += c.g;
          sum.b += c.b;
          normalSum = normalSum + knob.normal(sx, sy);
        }
      constexpr float kScale = 1.0f / (kSamplesPerSide * kSamplesPerSide);
      atlas.colour.set(kKnobLeft + column, kKnobTop + row,
                       {sum.r * kScale, sum.g * kScale, sum.b * kScale, alpha});
      atlas.normals.set(kKnobLeft + column, kKnobTop + row,
                        encodeNormal(normalized(normalSum), alpha));
    }
}

// Meter colour for a level 0 (bottom) .. 1 (top).
Colour meterColour(float level) {
  struct Stop {
    float level;
    Colour colour;
  };
  static const std::array<Stop, 5> kStops = {{
      {0.00f, {0.10f, 0.72f, 0.22f}},
      {0.50f, {0.42f, 0.84f, 0.18f}},
      {0.72f, {0.98f, 0.86f, 0.16f}},
      {0.86f, {1.00f, 0.52f, 0.10f}},
      {1.00f, {0.96f, 0.14f, 0.10f}},
  }};
  for (size_t i = 1; i < kStops.size(); ++i)
    if (level <= kStops[i].level) {
      const Stop& a = kStops[i - 1];
      const Stop& b = kStops[i];
      const float t = (level - a.level) / (b.level - a.level);
      return {mix(a.colour.r, b.colour.r, t), mix(a.colour.g, b.colour.g, t),
              mix(a.colour.b, b.colour.b, t), 1.0f};
    }
  return kStops.back().colour;
}

void drawMeter(ButtonAtlas& atlas) {
  // A rounded LED face across the strip's width.
  static const std::array<float, kMeterWidth> kAcross = {0.72f, 0.92f, 1.0f, 0.92f, 0.72f};
  const int bottom = kMeterHeight - 1;
  for (int row = 0; row < kMeterHeight; ++row) {
    // Segments of three lit rows and a dark one, counted from the bottom so
    // the bar grows a whole segment at a time; the top row closes the last.
    const int fromBottom = bottom - row;
    const bool gap = fromBottom % 4 == 3 || row == 0;
    // The top row of each segment catches a little more light.
    const float sheen = fromBottom % 4 == 2 ? 1.06f : 1.0f;
    const Colour base = meterColour(static_cast<float>(fromBottom) / bottom);
    for (int column = 0; column < kMeterWidth; ++column) {
      const float k = gap ? 0.16f : kAcross[static_cast<size_t>(column)] * sheen;
      atlas.colour.set(kMeterLeft + column, kMeterTop + row,
                       {base.r * k, base.g * k, base.b * k, 1.0f});
      atlas.normals.set(kMeterLeft + column, kMeterTop + row,
                        encodeNormal({0.0f, 0.0f, 1.0f}, 1.0f));
    }
  }
}

}  // namespace

ButtonAtlas drawButtonAtlas() {
  ButtonAtlas atlas{Image(kAtlasSize, kAtlasSize, 4), Image(kAtlasSize, kAtlasSize, 4)};
  atlas.normals.fill(kFlatNormal);
  drawKnob(atlas);
  drawMeter(atlas);
  return atlas;
}

}  // namespace imagegen
