// Frames any editor in this process hands to the X server, and passes that
// redraw only part of a window (each sets a scissor).
#pragma once

#include <cstdint>

uint64_t swapCount();
uint64_t scissorCount();
