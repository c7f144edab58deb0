// The test executable exports glXSwapBuffers and glScissor, so the plug-in
// binds its calls here; each is counted and passed on to the GL library the
// plug-in loaded locally, out of RTLD_NEXT's reach.
#include "FrameCounter.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <dlfcn.h>

#include <atomic>

namespace {

std::atomic<uint64_t> swaps{0}, scissors{0};

template <class Function, class... Arguments>
void callOn(const char* name, Arguments... arguments) {
  void* gl = dlopen("libGL.so.1", RTLD_NOW | RTLD_NOLOAD);
  if (auto next = gl ? reinterpret_cast<Function>(dlsym(gl, name)) : nullptr) next(arguments...);
  if (gl) dlclose(gl);
}

}  // namespace

uint64_t swapCount() {
  return swaps;
}
uint64_t scissorCount() {
  return scissors;
}

extern "C" __attribute__((visibility("default"))) void glXSwapBuffers(Display* d, GLXDrawable w) {
  ++swaps;
  callOn<void (*)(Display*, GLXDrawable)>("glXSwapBuffers", d, w);
}

extern "C" __attribute__((visibility("default"))) void glScissor(GLint x, GLint y, GLsizei width,
                                                                 GLsizei height) {
  ++scissors;
  callOn<void (*)(GLint, GLint, GLsizei, GLsizei)>("glScissor", x, y, width, height);
}
