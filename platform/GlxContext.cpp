#include "platform/GlxContext.h"

#include <X11/Xutil.h>

namespace platform {

std::unique_ptr<GlxWindowContext> GlxWindowContext::create(Window window, std::string& whyNot) {
  std::unique_ptr<X11Connection> connection = X11Connection::open(whyNot);
  if (!connection) return nullptr;
  Display* display = connection->display();
  std::unique_ptr<GlxWindowContext> self(new GlxWindowContext(std::move(connection), window));

  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, window, &attributes) ||
      self->connection_->syncAndTakeError() != 0) {
    whyNot = "the editor window is gone";
    return nullptr;
  }
  int errorBase = 0;
  int eventBase = 0;
  if (!glXQueryExtension(display, &errorBase, &eventBase)) {
    whyNot = "the X server offers no OpenGL (GLX)";
    return nullptr;
  }
  XVisualInfo wanted{};
  wanted.visualid = XVisualIDFromVisual(attributes.visual);
  int count = 0;
  XVisualInfo* visual = XGetVisualInfo(display, VisualIDMask, &wanted, &count);
  if (!visual) {
    whyNot = "no visual information for the editor window";
    return nullptr;
  }
  int doubleBuffered = 0;
  int usesGl = 0;
  glXGetConfig(display, visual, GLX_USE_GL, &usesGl);
  glXGetConfig(display, visual, GLX_DOUBLEBUFFER, &doubleBuffered);
  if (usesGl) self->context_ = glXCreateContext(display, visual, nullptr, True);
  XFree(visual);
  if (self->connection_->syncAndTakeError() != 0 || !self->context_) {
    whyNot = usesGl ? "cannot create an OpenGL context for the editor window"
                    : "the editor window's visual does not support OpenGL";
    return nullptr;
  }
  if (!doubleBuffered) {
    whyNot = "the editor window's visual is not double-buffered";
    return nullptr;
  }
  if (!self->makeCurrent()) {
    whyNot = "cannot make the editor's OpenGL context current";
    return nullptr;
  }
  return self;
}

GlxWindowContext::~GlxWindowContext() {
  Display* display = connection_->display();
  if (context_ && !connection_->broken()) {
    glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, context_);
  }
}

bool GlxWindowContext::makeCurrent() {
  if (connection_->broken()) return false;
  return glXMakeCurrent(connection_->display(), window_, context_) == True;
}

void GlxWindowContext::swapBuffers() {
  if (connection_->broken()) return;
  glXSwapBuffers(connection_->display(), window_);
}

}  // namespace platform
