// The render thread's OpenGL context for the editor window. It lives on an
// Xlib connection of its own, opened and used only by the render thread, so
// drawing never touches the connection that the host's thread uses.
#pragma once

#include <GL/glx.h>

#include <memory>
#include <string>

#include "platform/X11Connection.h"

namespace platform {

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

 private:
  GlxWindowContext(std::unique_ptr<X11Connection> connection, Window window)
      : connection_(std::move(connection)), window_(window) {}

  std::unique_ptr<X11Connection> connection_;
  Window window_;
  GLXContext context_ = nullptr;
};

}  // namespace platform
