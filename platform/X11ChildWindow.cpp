#include "platform/X11ChildWindow.h"

#include <GL/glx.h>
#include <X11/Xutil.h>

#include <cstdio>

#include "platform/GlxContext.h"

namespace platform {

namespace {

std::string hex(unsigned long id) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%lx", id);
  return text;
}

constexpr long kEventMask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            LeaveWindowMask | KeyPressMask | KeyReleaseMask | FocusChangeMask |
                            StructureNotifyMask | ExposureMask;

}  // namespace

X11ChildWindow::X11ChildWindow(std::unique_ptr<X11Connection> connection, Window parent)
    : connection_(std::move(connection)), parent_(parent) {}

std::unique_ptr<X11ChildWindow> X11ChildWindow::create(Window parent, int width, int height,
                                                       std::string& whyNot) {
  if (parent == 0) {
    whyNot = "the host gave no parent window";
    return nullptr;
  }
  std::unique_ptr<X11Connection> connection = X11Connection::open(whyNot);
  if (!connection) return nullptr;
  Display* display = connection->display();

  XWindowAttributes parentAttributes{};
  const Status known = XGetWindowAttributes(display, parent, &parentAttributes);
  if (!known || connection->syncAndTakeError() != 0) {
    whyNot = "the host's parent window " + hex(parent) + " does not exist";
    return nullptr;
  }

  std::unique_ptr<X11ChildWindow> self(new X11ChildWindow(std::move(connection), parent));
  X11Connection& c = *self->connection_;
  const int screen = XScreenNumberOfScreen(parentAttributes.screen);
  XVisualInfo* visual = chooseWindowVisual(display, screen);
  c.takeError();

  XSetWindowAttributes set{};
  set.event_mask = kEventMask;
  set.background_pixmap = None;  // OpenGL paints everything; no flash of a background
  set.border_pixel = 0;
  unsigned long mask = CWEventMask | CWBackPixmap | CWBorderPixel;
  if (visual) {
    self->colormap_ =
        XCreateColormap(display, RootWindow(display, screen), visual->visual, AllocNone);
    set.colormap = self->colormap_;
    mask |= CWColormap;
  }
  self->window_ =
      XCreateWindow(display, parent, 0, 0, static_cast<unsigned>(width),
                    static_cast<unsigned>(height), 0, visual ? visual->depth : CopyFromParent,
                    InputOutput, visual ? visual->visual : CopyFromParent, mask, &set);
  if (visual) XFree(visual);
  XStoreName(display, self->window_, "Window");
  XMapWindow(display, self->window_);
  const int error = c.syncAndTakeError();
  if (error != 0) {
    whyNot =
        "cannot create the editor window in " + hex(parent) + ": " + x11ErrorText(display, error);
    // The window may or may not exist; destroying a missing one is harmless.
    return nullptr;
  }
  self->width_ = width;
  self->height_ = height;
  return self;
}

X11ChildWindow::~X11ChildWindow() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Display* display = connection_->display();
  if (!connection_->broken()) {
    if (window_ != 0 && !destroyed_) XDestroyWindow(display, window_);
    if (colormap_ != 0) XFreeColormap(display, colormap_);
    // A window that went with its parent in the meantime only earns a
    // recorded error.
    connection_->syncAndTakeError();
  }
}

bool X11ChildWindow::nextEvent(XEvent& event) {
  Display* display = connection_->display();
  if (connection_->broken() || XPending(display) == 0) return false;
  XNextEvent(display, &event);
  if (event.type == DestroyNotify && event.xdestroywindow.window == window_) {
    destroyed_ = true;
  } else if (event.type == ConfigureNotify && event.xconfigure.window == window_) {
    width_ = event.xconfigure.width;
    height_ = event.xconfigure.height;
  }
  return true;
}

bool X11ChildWindow::destructionQueued() {
  Display* display = connection_->display();
  XEvent destroyed;
  if (connection_->broken() || !XCheckTypedWindowEvent(display, window_, DestroyNotify, &destroyed))
    return gone();
  XPutBackEvent(display, &destroyed);
  destroyed_ = true;
  return true;
}

std::string X11ChildWindow::keyText(XKeyEvent& event, unsigned long& keysym) {
  char text[16] = {};
  KeySym symbol = NoSymbol;
  const int length = XLookupString(&event, text, sizeof text, &symbol, nullptr);
  keysym = symbol;
  return std::string(text, static_cast<size_t>(length > 0 ? length : 0));
}

void X11ChildWindow::takeFocus() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (gone()) return;
  Display* display = connection_->display();
  // Refused (BadMatch) while the window is not viewable: that is fine.
  XSetInputFocus(display, window_, RevertToParent, CurrentTime);
  XFlush(display);
}

void X11ChildWindow::resize(int width, int height) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (gone() || width <= 0 || height <= 0) return;
  Display* display = connection_->display();
  const int dw = width - width_.load();
  const int dh = height - height_.load();
  XResizeWindow(display, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
  width_ = width;
  height_ = height;
  Window root = 0;
  int x = 0;
  int y = 0;
  unsigned parentWidth = 0;
  unsigned parentHeight = 0;
  unsigned border = 0;
  unsigned depth = 0;
  if (XGetGeometry(display, parent_, &root, &x, &y, &parentWidth, &parentHeight, &border, &depth)) {
    const int newWidth = static_cast<int>(parentWidth) + dw;
    const int newHeight = static_cast<int>(parentHeight) + dh;
    if (newWidth > 0 && newHeight > 0)
      XResizeWindow(display, parent_, static_cast<unsigned>(newWidth),
                    static_cast<unsigned>(newHeight));
  }
  connection_->syncAndTakeError();
}

}  // namespace platform
