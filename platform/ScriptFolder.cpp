#include "platform/ScriptFolder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "platform/Paths.h"

namespace platform {
namespace {

bool endsWithLua(const std::string& name) {
  static const std::string suffix = ".lua";
  return name.size() >= suffix.size() &&
         name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

std::string scriptsFolder(const std::string& displayName) {
  const char* overridden = std::getenv("VELDRANA_SCRIPTS_DIR");
  if (overridden && *overridden) {
    std::string folder = overridden;
    if (folder.back() != '/') folder += '/';
    return folder;
  }
  return dataFolder() + "/Quillworks/" + displayName + "/Scripts/";
}

std::vector<std::string> listUserScripts(const std::string& folder) {
  std::string base = folder;
  if (!base.empty() && base.back() != '/') base += '/';
  std::vector<std::string> names;
  const std::unique_ptr<DIR, DirCloser> dir(opendir(base.c_str()));
  if (!dir) return names;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (!endsWithLua(name)) continue;
    const std::string path = base + name;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (access(path.c_str(), R_OK) != 0) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> paths;
  paths.reserve(names.size());
  for (const std::string& name : names) paths.push_back(base + name);
  return paths;
}

std::string fileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace platform
