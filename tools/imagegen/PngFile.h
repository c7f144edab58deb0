// PNG output through libpng.
#pragma once

#include <string>

#include "tools/imagegen/Image.h"

namespace imagegen {

// An 8-bit, non-interlaced RGB or RGBA file, as the image's channels say.
// Throws std::runtime_error naming the file and the cause.
void writePng(const Image& image, const std::string& path);

}  // namespace imagegen
