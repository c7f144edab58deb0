// One image the layout script asked for: a file or an embedded resource,
// uploaded to GL on the render thread. The record outlives its GL name, so
// rendering can be torn down and set up again.
#pragma once

#include <string>

namespace QW {

struct Texture {
  std::string path;    // empty for a resource
  int resourceId = 0;  // resource type 257
  unsigned int glName = 0;
  bool loadAttempted = false;
  // Not loaded at rendering set-up; its user loads it on first draw.
  bool deferred = false;
  int width = 0;
  int height = 0;

  // Once per set-up (render thread): reads, decodes and uploads. Images that
  // are not powers of two, or not 8-bit RGB/RGBA, stay unloaded (glName 0).
  void load();
  // Deletes the GL name (render thread) and allows a later load.
  void release();
};

}  // namespace QW
