// The host's side of an editor on X11: a connection of our own and the
// top-level window a plug-in's editor is opened in, which can be read back
// as a picture. Xlib stays out of this header; its macros (None, Bool,
// Status) clash with too much else.
#pragma once

#include <memory>
#include <string>

#include "tools/host/RgbImage.h"

struct _XDisplay;

namespace vhost {

using XWindowId = unsigned long;  // Xlib's Window

class X11Display {
 public:
  // Connects to $DISPLAY; throws HostError when there is none to talk to.
  X11Display();
  ~X11Display();
  X11Display(const X11Display&) = delete;
  X11Display& operator=(const X11Display&) = delete;

  _XDisplay* get() const { return display_; }

 private:
  _XDisplay* display_ = nullptr;
};

class HostWindow {
 public:
  HostWindow(X11Display& display, int width, int height, const std::string& title);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  XWindowId id() const { return window_; }
  int width() const { return width_; }
  int height() const { return height_; }

  // Maps the window and waits (briefly) until the server has shown it, so
  // the editor is opened in a window that is really there.
  void show();
  void resize(int width, int height);
  // Whether anything (an editor) has put a window into this one.
  bool hasChildren();
  // Handles what arrived for the window; false once it was asked to close
  // (the window manager's close button) or destroyed by someone else.
  bool handleEvents();
  // What the window shows now, the editor's child windows included.
  // Throws HostError when the window is not on screen.
  RgbImage capture();

 private:
  _XDisplay* display_;
  XWindowId window_ = 0;
  unsigned long deleteAtom_ = 0;
  int width_;
  int height_;
  bool destroyed_ = false;
};

}  // namespace vhost
