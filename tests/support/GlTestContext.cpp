// clang-format off
// GLEW before any other GL header, as it insists.
#include <GL/glew.h>
#include "tests/support/GlTestContext.h"
// clang-format on

#include <cstdlib>

#include "platform/GlxContext.h"
#include "platform/X11ChildWindow.h"

namespace gltest {

::testing::AssertionResult near(const Rgb& actual, const Rgb& expected, int tolerance) {
  for (size_t k = 0; k < 3; ++k) {
    if (std::abs(actual[k] - expected[k]) > tolerance) {
      return ::testing::AssertionFailure()
             << "(" << actual[0] << ", " << actual[1] << ", " << actual[2] << ") is not ("
             << expected[0] << ", " << expected[1] << ", " << expected[2] << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

Rgb readPixel(int x, int y) {
  glFinish();
  unsigned char rgba[4] = {};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  return {rgba[0], rgba[1], rgba[2]};
}

std::vector<unsigned char> readPixels(int width, int height) {
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

void useWindowPixels(int width, int height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

EditorWindow::EditorWindow(int width, int height) : width_(width), height_(height) {}

EditorWindow::~EditorWindow() {
  // The context before its window, the window before the connection.
  context_.reset();
  window_.reset();
  if (display_) {
    if (parent_) XDestroyWindow(display_, parent_);
    XCloseDisplay(display_);
  }
}

::testing::AssertionResult EditorWindow::open(const std::string& displayName) {
  displayVariable_.emplace("DISPLAY", displayName.c_str());
  display_ = XOpenDisplay(displayName.c_str());
  if (!display_) return ::testing::AssertionFailure() << "cannot open display " << displayName;
  const auto width = static_cast<unsigned>(width_);
  const auto height = static_cast<unsigned>(height_);
  parent_ =
      XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, width, height, 0, 0, 0);
  XMapWindow(display_, parent_);
  XSync(display_, False);
  std::string whyNot;
  window_ = platform::X11ChildWindow::create(parent_, width_, height_, whyNot);
  if (!window_) return ::testing::AssertionFailure() << whyNot;
  context_ = platform::GlxWindowContext::create(window_->id(), whyNot);
  if (!context_) return ::testing::AssertionFailure() << whyNot;
  glewExperimental = GL_TRUE;
  if (glewInit() != GLEW_OK) return ::testing::AssertionFailure() << "GLEW did not initialise";
  useWindowPixels(width_, height_);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glDrawBuffer(GL_BACK);
  glReadBuffer(GL_BACK);
  return ::testing::AssertionSuccess();
}

namespace {

// A server without pbuffers answers with an X error, which must not end
// the test process: the test skips instead.
int ignoreXError(Display*, XErrorEvent*) {
  return 0;
}

}  // namespace

struct PbufferContext::Glx {
  Display* display = nullptr;
  GLXPbuffer pbuffer = 0;
  GLXContext context = nullptr;
  XErrorHandler previousHandler = nullptr;
};

PbufferContext::PbufferContext(const std::string& displayName, int width, int height)
    : glx_(std::make_unique<Glx>()) {
  Glx& glx = *glx_;
  glx.display = XOpenDisplay(displayName.c_str());
  if (!glx.display) return;
  glx.previousHandler = XSetErrorHandler(ignoreXError);
  const GLXFBConfig config = platform::choosePbufferConfig(glx.display, DefaultScreen(glx.display));
  if (!config) return;
  const int size[] = {GLX_PBUFFER_WIDTH, width, GLX_PBUFFER_HEIGHT, height, None};
  glx.pbuffer = glXCreatePbuffer(glx.display, config, size);
  glx.context = glXCreateNewContext(glx.display, config, GLX_RGBA_TYPE, nullptr, True);
  XSync(glx.display, False);
  current_ = glx.pbuffer && glx.context &&
             glXMakeContextCurrent(glx.display, glx.pbuffer, glx.pbuffer, glx.context);
}

PbufferContext::~PbufferContext() {
  const Glx& glx = *glx_;
  if (!glx.display) return;
  glXMakeContextCurrent(glx.display, None, None, nullptr);
  if (glx.context) glXDestroyContext(glx.display, glx.context);
  if (glx.pbuffer) glXDestroyPbuffer(glx.display, glx.pbuffer);
  XSync(glx.display, False);
  XSetErrorHandler(glx.previousHandler);
  XCloseDisplay(glx.display);
}

}  // namespace gltest
