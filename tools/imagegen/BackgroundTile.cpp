#include "tools/imagegen/BackgroundTile.h"

#include <vector>

#include "tools/imagegen/Noise.h"

namespace imagegen {

namespace {

constexpr uint32_t kStreakSeed = 0x7374726bU;
constexpr uint32_t kFineStreakSeed = 0x66737472U;
constexpr uint32_t kGrainSeed = 0x6772616eU;

// How steep the relief is in the normal map, and how much it shades the tile.
constexpr float kReliefScale = 0.45f;
constexpr float kContrast = 0.10f;

// Heights 0..1 per texel, wrapping at the tile's edges. Every noise repeats
// a whole number of times across the tile, which is what makes it seamless.
// Brushing runs horizontally: strokes change every row or two but stretch
// over many columns. Broad, low-frequency features are left out on purpose;
// repeated every 64 pixels they would show the tiling.
std::vector<float> heightField() {
  std::vector<float> heights(static_cast<size_t>(kTileSize) * kTileSize);
  for (int row = 0; row < kTileSize; ++row)
    for (int column = 0; column < kTileSize; ++column) {
      const float x = column + 0.5f;
      const float y = static_cast<float>(row);
      const float strokes = periodicNoise(kStreakSeed, x / 16.0f, y, kTileSize / 16, kTileSize);
      const float fine =
          periodicNoise(kFineStreakSeed, x / 8.0f, y / 2.0f, kTileSize / 8, kTileSize / 2);
      const float grain = latticeValue(kGrainSeed, column, row);
      heights[static_cast<size_t>(row) * kTileSize + column] =
          0.5f * strokes + 0.3f * fine + 0.2f * grain;
    }
  return heights;
}

}  // namespace

BackgroundTile drawBackgroundTile() {
  BackgroundTile tile{Image(kTileSize, kTileSize, 3), Image(kTileSize, kTileSize, 3)};
  const std::vector<float> heights = heightField();
  const auto at = [&](int column, int row) {
    const int c = (column + kTileSize) % kTileSize;
    const int r = (row + kTileSize) % kTileSize;
    return heights[static_cast<size_t>(r) * kTileSize + c];
  };
  // A warm, dark grey; the editor's vertex colours and purple wash do the rest.
  const Colour base{0.40f, 0.38f, 0.355f};
  const Vec3 light = normalized({-0.45f, 0.55f, 0.70f});

  for (int row = 0; row < kTileSize; ++row)
    for (int column = 0; column < kTileSize; ++column) {
      const float dhdx = (at(column + 1, row) - at(column - 1, row)) * 0.5f;
      const float dhdrow = (at(column, row + 1) - at(column, row - 1)) * 0.5f;
      // Image rows grow downwards, the normal's y upwards.
      const Vec3 n = normalized({-dhdx * kReliefScale, dhdrow * kReliefScale, 1.0f});
      tile.normals.set(column, row, encodeNormal(n));

      const float lit = dot(n, light) / light.z;
      const float k = 1.0f + kContrast * (at(column, row) - 0.5f) * 2.0f + 0.25f * (lit - 1.0f);
      tile.colour.set(column, row, {base.r * k, base.g * k, base.b * k, 1.0f});
    }
  return tile;
}

}  // namespace imagegen
