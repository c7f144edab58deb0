// The editor's control atlas: a knob and a level-meter strip, each with its
// normal map in the same place of a second image.
#pragma once

#include "tools/imagegen/Image.h"

namespace imagegen {

struct ButtonAtlas {
  Image colour;   // RGBA
  Image normals;  // RGBA; alpha follows the colour image's
};

// Where the editor looks for things, in texels from the top-left corner.
constexpr int kAtlasSize = 128;
constexpr int kKnobLeft = 1;
constexpr int kKnobTop = 1;
constexpr int kKnobSize = 37;
constexpr int kMeterLeft = 123;
constexpr int kMeterTop = 0;
constexpr int kMeterWidth = 5;
constexpr int kMeterHeight = 81;

ButtonAtlas drawButtonAtlas();

}  // namespace imagegen
