// The editor's window: a child of the host's parent window, made on an Xlib
// connection of its own so that we never share the host's connection.
//
// All use of the connection goes through lock(): the host's thread (open,
// idle, close, key strokes) and, for hosts that seldom call idle, the render
// thread take turns. The render thread draws through a connection of its own
// (GlxWindowContext), so drawing never waits for this lock.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/X11Connection.h"

namespace platform {

class X11ChildWindow {
 public:
  // A visible child of parent of the given size with a visual that OpenGL
  // can draw into (the parent's when none is offered). Null with the reason
  // when the display cannot be opened or the parent does not exist.
  static std::unique_ptr<X11ChildWindow> create(Window parent, int width, int height,
                                                std::string& whyNot);
  // Destroys the window unless the server already did (with its parent).
  ~X11ChildWindow();
  X11ChildWindow(const X11ChildWindow&) = delete;
  X11ChildWindow& operator=(const X11ChildWindow&) = delete;

  Window id() const { return window_; }
  Window parent() const { return parent_; }
  std::recursive_mutex& mutex() { return mutex_; }

  // Takes the next event for the window, keeping track of its size and of
  // its destruction on the way; false when none is pending. Under mutex().
  bool nextEvent(XEvent& event);
  // The characters and key symbol of a key press. Under mutex().
  std::string keyText(XKeyEvent& event, unsigned long& keysym);

  // Gone with its parent (or the connection is lost): nothing to draw into.
  // True when the window's destruction is already queued (it is then gone).
  bool destructionQueued();
  bool gone() const { return destroyed_.load() || connection_->broken(); }
  int width() const { return width_.load(); }
  int height() const { return height_.load(); }

  // These take the lock themselves.
  void takeFocus();
  // Resizes the window and grows or shrinks the parent by the same amount.
  void resize(int width, int height);

 private:
  X11ChildWindow(std::unique_ptr<X11Connection> connection, Window parent);

  std::recursive_mutex mutex_;
  std::unique_ptr<X11Connection> connection_;
  Window parent_;
  Window window_ = 0;
  Colormap colormap_ = 0;
  std::atomic<bool> destroyed_{false};
  std::atomic<int> width_{0};
  std::atomic<int> height_{0};
};

}  // namespace platform
