// Owns one dlopen handle.
#pragma once

#include <string>

namespace vhost {

class DynamicLibrary {
 public:
  // Throws HostError (kExitLoad) with the loader's reason.
  explicit DynamicLibrary(const std::string& path);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Looks only inside this library and its dependencies, never in the host
  // executable, so our own `main` cannot be mistaken for a plug-in entry.
  void* symbol(const char* name) const;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  void* handle_ = nullptr;
};

}  // namespace vhost
