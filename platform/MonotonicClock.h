// The scripts' clock: seconds since the plug-in library was loaded, read
// from a clock that never jumps with the wall-clock time.
#pragma once

namespace platform {

// Whole milliseconds since the library was loaded, times 0.001.
double secondsSinceLoad();

}  // namespace platform
