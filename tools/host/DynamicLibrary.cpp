#include "tools/host/DynamicLibrary.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "tools/host/HostError.h"

namespace vhost {

namespace {

// dlopen treats a name without a slash as a library to search for in the
// system paths; a user who types "foo.so" means the file in this folder.
std::string loadablePath(const std::string& path) {
  if (path.find('/') == std::string::npos) return "./" + path;
  return path;
}

}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& path) : path_(path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0)
    throw loadError("cannot load " + path + ": " + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) throw loadError("cannot load " + path + ": it is a directory");

  dlerror();
  handle_ = dlopen(loadablePath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* reason = dlerror();
    throw loadError("cannot load " + path + ": " + (reason ? reason : "unknown loader error"));
  }
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_) dlclose(handle_);
}

void* DynamicLibrary::symbol(const char* name) const {
  dlerror();
  return dlsym(handle_, name);
}

}  // namespace vhost
