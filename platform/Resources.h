// Files built into the plug-in (scripts and images), found by type and id or
// by file name, as module resources would be.
#pragma once

#include <cstddef>

namespace platform {

enum ResourceType : int { kScriptResource = 256, kImageResource = 257 };

struct EmbeddedResource {
  const char* name;
  int type;
  int id;
  const unsigned char* data;  // followed by a 0 byte, so text resources are terminated
  size_t size;
};

// The generated table of every embedded file.
const EmbeddedResource* embeddedResources(size_t* count);

const EmbeddedResource* findResource(int type, int id);
const EmbeddedResource* findResource(const char* name);

}  // namespace platform
