#include "platform/Resources.h"

#include <cstring>

namespace platform {

const EmbeddedResource* findResource(int type, int id) {
  size_t count = 0;
  const EmbeddedResource* all = embeddedResources(&count);
  for (size_t i = 0; i < count; ++i) {
    if (all[i].type == type && all[i].id == id) return &all[i];
  }
  return nullptr;
}

const EmbeddedResource* findResource(const char* name) {
  if (!name) return nullptr;
  size_t count = 0;
  const EmbeddedResource* all = embeddedResources(&count);
  for (size_t i = 0; i < count; ++i) {
    if (std::strcmp(all[i].name, name) == 0) return &all[i];
  }
  return nullptr;
}

}  // namespace platform
