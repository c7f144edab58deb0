#include "platform/Paths.h"

#include <cstdlib>

namespace platform {
namespace {
std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}
}  // namespace

std::string configFolder() {
  std::string base = env("XDG_CONFIG_HOME");
  if (base.empty()) {
    const std::string home = env("HOME");
    if (home.empty()) return {};
    base = home + "/.config";
  }
  return base + "/Quillworks/Veldrana";
}

std::string dataFolder() {
  std::string base = env("XDG_DATA_HOME");
  if (!base.empty()) return base;
  const std::string home = env("HOME");
  if (home.empty()) return {};
  return home + "/.local/share";
}

}  // namespace platform
