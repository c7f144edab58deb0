// The editor's background: a small, seamless tile of fine brushed metal,
// dark and warm, with its normal map.
#pragma once

#include "tools/imagegen/Image.h"

namespace imagegen {

struct BackgroundTile {
  Image colour;   // RGB
  Image normals;  // RGB
};

constexpr int kTileSize = 64;

BackgroundTile drawBackgroundTile();

}  // namespace imagegen
