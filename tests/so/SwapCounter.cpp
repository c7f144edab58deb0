#include "SwapCounter.h"

#include <GL/glx.h>
#include <dlfcn.h>

#include <atomic>

namespace {

std::atomic<uint64_t> swaps{0};

using SwapBuffers = void (*)(Display*, GLXDrawable);

SwapBuffers realSwapBuffers() {
  // The plug-in's own libGL is loaded locally, out of RTLD_NEXT's reach.
  static const SwapBuffers real = [] {
    void* gl = dlopen("libGL.so.1", RTLD_NOW | RTLD_NOLOAD);
    return gl ? reinterpret_cast<SwapBuffers>(dlsym(gl, "glXSwapBuffers")) : nullptr;
  }();
  return real;
}

}  // namespace

uint64_t swapCount() {
  return swaps.load();
}

extern "C" __attribute__((visibility("default"))) void glXSwapBuffers(Display* display,
                                                                      GLXDrawable drawable) {
  swaps.fetch_add(1);
  if (const SwapBuffers real = realSwapBuffers()) real(display, drawable);
}
