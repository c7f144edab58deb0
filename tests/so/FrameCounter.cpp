#include "FrameCounter.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <dlfcn.h>

#include <atomic>

namespace {

std::atomic<uint64_t> swaps{0};
std::atomic<uint64_t> scissors{0};

// The plug-in's own libGL is loaded locally, out of RTLD_NEXT's reach.
template <class Function>
Function real(const char* name) {
  void* gl = dlopen("libGL.so.1", RTLD_NOW | RTLD_NOLOAD);
  return gl ? reinterpret_cast<Function>(dlsym(gl, name)) : nullptr;
}

}  // namespace

uint64_t swapCount() {
  return swaps.load();
}

uint64_t scissorCount() {
  return scissors.load();
}

extern "C" __attribute__((visibility("default"))) void glXSwapBuffers(Display* display,
                                                                      GLXDrawable drawable) {
  using SwapBuffers = void (*)(Display*, GLXDrawable);
  static const SwapBuffers next = real<SwapBuffers>("glXSwapBuffers");
  swaps.fetch_add(1);
  if (next) next(display, drawable);
}

extern "C" __attribute__((visibility("default"))) void glScissor(GLint x, GLint y, GLsizei width,
                                                                 GLsizei height) {
  using Scissor = void (*)(GLint, GLint, GLsizei, GLsizei);
  static const Scissor next = real<Scissor>("glScissor");
  scissors.fetch_add(1);
  if (next) next(x, y, width, height);
}
