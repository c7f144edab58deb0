// Counts the frames any editor in this process hands to the X server.
//
// The test executable defines glXSwapBuffers and exports it, so the plug-in
// (loaded later) binds its calls here; each is counted and passed on to the
// GL library the plug-in loaded.
#pragma once

#include <cstdint>

uint64_t swapCount();
