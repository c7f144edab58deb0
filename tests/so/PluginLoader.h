// Loads the shipped plug-in the way a host does, for tests.
#pragma once

#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include "core/VstAbi.h"

class PluginLibrary {
 public:
#if defined(__SANITIZE_ADDRESS__)
  // Under AddressSanitizer the library stays mapped after dlclose, so that a
  // leak report at exit can still name the code that allocated.
  static constexpr int kKeepMapped = RTLD_NODELETE;
#else
  static constexpr int kKeepMapped = 0;
#endif

  explicit PluginLibrary(const char* path = VELDRANA_SO_PATH)
      : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL | kKeepMapped)) {
    if (!handle_) throw std::runtime_error(std::string("dlopen: ") + dlerror());
  }
  ~PluginLibrary() {
    if (handle_) dlclose(handle_);
  }
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  vst::PluginEntryProc entry(const char* name = "VSTPluginMain") const {
    return reinterpret_cast<vst::PluginEntryProc>(dlsym(handle_, name));
  }

 private:
  void* handle_;
};

inline intptr_t dispatch(vst::AEffect* e, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                         void* ptr = nullptr, float opt = 0.0f) {
  return e->dispatcher(e, opcode, index, value, ptr, opt);
}
