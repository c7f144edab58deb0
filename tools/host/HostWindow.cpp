#include "tools/host/HostWindow.h"

// clang-format off
#include <X11/Xlib.h>
// clang-format on
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tools/host/HostError.h"

namespace vhost {

namespace {

// Reading a window back fails with an X error (BadMatch) rather than a
// return value when the window is not viewable, and Xlib's default handler
// would end the process. While a trap lives, errors on our connection are
// recorded instead; errors on other connections (the plug-in's own) still
// reach whatever handler was there before.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    trapped_ = display_;
    caught_ = 0;
    previous_ = XSetErrorHandler(&ErrorTrap::onError);
  }
  ~ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
    trapped_ = nullptr;
  }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

  int error() {
    XSync(display_, False);
    return caught_;
  }

 private:
  static int onError(Display* display, XErrorEvent* event) {
    if (display == trapped_) {
      if (caught_ == 0) caught_ = event->error_code;
      return 0;
    }
    return previous_ ? previous_(display, event) : 0;
  }

  Display* display_;
  static inline Display* trapped_ = nullptr;
  static inline int caught_ = 0;
  static inline XErrorHandler previous_ = nullptr;
};

struct ImageDeleter {
  void operator()(XImage* image) const { XDestroyImage(image); }
};

// One colour channel of a TrueColor pixel, scaled to 8 bits whatever the
// visual's depth.
class Channel {
 public:
  explicit Channel(unsigned long mask) : mask_(mask) {
    if (mask == 0) return;
    while (((mask >> shift_) & 1) == 0) ++shift_;
    while (((mask >> (shift_ + bits_)) & 1) != 0) ++bits_;
  }
  uint8_t operator()(unsigned long pixel) const {
    if (bits_ == 0) return 0;
    const unsigned long value = (pixel & mask_) >> shift_;
    if (bits_ >= 8) return static_cast<uint8_t>(value >> (bits_ - 8));
    return static_cast<uint8_t>(value * 255 / ((1ul << bits_) - 1));
  }

 private:
  unsigned long mask_;
  int shift_ = 0;
  int bits_ = 0;
};

}  // namespace

X11Display::X11Display() {
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name)
    throw failure("no X display: DISPLAY is not set (the editor needs an X server, e.g. Xvfb)");
  display_ = XOpenDisplay(name);
  if (!display_) throw failure(std::string("cannot open X display '") + name + "'");
}

X11Display::~X11Display() {
  XCloseDisplay(display_);
}

HostWindow::HostWindow(X11Display& display, int width, int height, const std::string& title)
    : display_(display.get()), width_(width), height_(height) {
  const int screen = DefaultScreen(display_);
  XSetWindowAttributes attributes{};
  attributes.background_pixel = BlackPixel(display_, screen);
  attributes.event_mask = StructureNotifyMask;
  window_ =
      XCreateWindow(display_, RootWindow(display_, screen), 0, 0, static_cast<unsigned>(width),
                    static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                    CWBackPixel | CWEventMask, &attributes);
  XStoreName(display_, window_, title.c_str());
  deleteAtom_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
  Atom protocols[] = {deleteAtom_};
  XSetWMProtocols(display_, window_, protocols, 1);
  XSync(display_, False);
}

HostWindow::~HostWindow() {
  if (!destroyed_) XDestroyWindow(display_, window_);
  XSync(display_, False);
}

void HostWindow::show() {
  XMapRaised(display_, window_);
  XFlush(display_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  XEvent event;
  while (std::chrono::steady_clock::now() < deadline) {
    if (XCheckTypedWindowEvent(display_, window_, MapNotify, &event)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  // A window manager that holds the window back is no reason to give up;
  // the editor opens in it all the same.
}

void HostWindow::resize(int width, int height) {
  XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XFlush(display_);
  width_ = width;
  height_ = height;
}

bool HostWindow::hasChildren() {
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display_, window_, &root, &parent, &children, &count)) return false;
  if (children) XFree(children);
  return count > 0;
}

bool HostWindow::handleEvents() {
  bool open = !destroyed_;
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    switch (event.type) {
      case ClientMessage:
        if (static_cast<unsigned long>(event.xclient.data.l[0]) == deleteAtom_) open = false;
        break;
      case DestroyNotify:
        if (event.xdestroywindow.window == window_) {
          destroyed_ = true;
          open = false;
        }
        break;
      case ConfigureNotify:
        if (event.xconfigure.window == window_) {
          width_ = event.xconfigure.width;
          height_ = event.xconfigure.height;
        }
        break;
      default:
        break;
    }
  }
  return open;
}

RgbImage HostWindow::capture() {
  if (destroyed_) throw failure("cannot take a screenshot: the window is gone");
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display_, window_, &attributes) || attributes.map_state != IsViewable)
    throw failure("cannot take a screenshot: the window is not on screen");
  width_ = attributes.width;
  height_ = attributes.height;

  // XGetImage refuses rectangles that leave the screen, so only the part on
  // screen is read; the rest stays black.
  int rootX = 0, rootY = 0;
  Window child = 0;
  XTranslateCoordinates(display_, window_, attributes.root, 0, 0, &rootX, &rootY, &child);
  const int screenWidth = WidthOfScreen(attributes.screen);
  const int screenHeight = HeightOfScreen(attributes.screen);
  const int left = std::max(0, -rootX), top = std::max(0, -rootY);
  const int right = std::min(width_, screenWidth - rootX);
  const int bottom = std::min(height_, screenHeight - rootY);
  if (right <= left || bottom <= top)
    throw failure("cannot take a screenshot: the window is off screen");

  std::unique_ptr<XImage, ImageDeleter> image;
  {
    ErrorTrap trap(display_);
    image.reset(XGetImage(display_, window_, left, top, static_cast<unsigned>(right - left),
                          static_cast<unsigned>(bottom - top), AllPlanes, ZPixmap));
    if (trap.error() != 0 || !image)
      throw failure("cannot take a screenshot: the X server would not read the window back");
  }
  if (attributes.visual->c_class != TrueColor && attributes.visual->c_class != DirectColor)
    throw failure("cannot take a screenshot: the window's visual is not true colour");

  const Visual* visual = attributes.visual;
  const Channel red(visual->red_mask), green(visual->green_mask), blue(visual->blue_mask);
  RgbImage picture(width_, height_);
  for (int y = top; y < bottom; ++y) {
    uint8_t* out = picture.row(y) + left * 3;
    for (int x = left; x < right; ++x) {
      const unsigned long pixel = XGetPixel(image.get(), x - left, y - top);
      *out++ = red(pixel);
      *out++ = green(pixel);
      *out++ = blue(pixel);
    }
  }
  return picture;
}

}  // namespace vhost
