// Counts the frames any editor in this process hands to the X server, and
// the passes that redraw only part of a window (each sets a scissor).
//
// The test executable defines glXSwapBuffers and glScissor and exports
// them, so the plug-in (loaded later) binds its calls here; each is counted
// and passed on to the GL library the plug-in loaded.
#pragma once

#include <cstdint>

uint64_t swapCount();
uint64_t scissorCount();
