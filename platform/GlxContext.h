// The render thread's OpenGL context for the editor window. It lives on an
// Xlib connection of its own, opened and used only by the render thread, so
// drawing never touches the connection that the host's thread uses.
#pragma once

#include <GL/glx.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/X11Connection.h"

namespace platform {

// The first configuration of screen with 8-bit RGB and pbuffer drawables;
// null when the server offers none.
GLXFBConfig choosePbufferConfig(Display* display, int screen);

// A double-buffered RGB visual with a depth buffer for the editor window,
// from a configuration whose swap copies the back buffer (so it still holds
// the last frame afterwards) when the server offers one; else whatever
// glXChooseVisual gives. Null when there is none. The caller frees it.
XVisualInfo* chooseWindowVisual(Display* display, int screen);

class GlxWindowContext {
 public:
  // A direct-rendering context for window's visual; null with the reason.
  static std::unique_ptr<GlxWindowContext> create(Window window, std::string& whyNot);
  // Unbinds and destroys the context, then closes the connection.
  ~GlxWindowContext();
  GlxWindowContext(const GlxWindowContext&) = delete;
  GlxWindowContext& operator=(const GlxWindowContext&) = delete;

  bool makeCurrent();
  void swapBuffers();
  // Drops errors from a window that went away while we drew into it.
  void discardErrors() { connection_->takeError(); }

  X11Connection& connection() { return *connection_; }
  GLXContext context() const { return context_; }
  int screen() const { return screen_; }
  // True when the window's configuration promises that a swap leaves the
  // back buffer as it was, so a frame may redraw only part of it.
  bool keepsBackBuffer() const { return keepsBackBuffer_; }

 private:
  GlxWindowContext(std::unique_ptr<X11Connection> connection, Window window)
      : connection_(std::move(connection)), window_(window) {}

  std::unique_ptr<X11Connection> connection_;
  Window window_;
  int screen_ = 0;
  GLXContext context_ = nullptr;
  bool keepsBackBuffer_ = false;
};

// An off-screen drawable (a GLX pbuffer) on the window context's connection,
// with a context that shares textures and lists with it: the layer picture
// is drawn here when the driver offers no framebuffer objects. Must not
// outlive the window context.
class GlxOffscreenContext {
 public:
  static std::unique_ptr<GlxOffscreenContext> create(GlxWindowContext& shareWith, int width,
                                                     int height, std::string& whyNot);
  ~GlxOffscreenContext();
  GlxOffscreenContext(const GlxOffscreenContext&) = delete;
  GlxOffscreenContext& operator=(const GlxOffscreenContext&) = delete;

  bool makeCurrent();
  // Tightly packed RGB rows, bottom row first; with this context current.
  void readPixels(std::vector<unsigned char>& rgb) const;
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  GlxOffscreenContext(X11Connection& connection, int width, int height)
      : connection_(connection), width_(width), height_(height) {}

  X11Connection& connection_;
  int width_;
  int height_;
  GLXPbuffer pbuffer_ = 0;
  GLXContext context_ = nullptr;
};

}  // namespace platform
