#include "platform/X11Connection.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace platform {

namespace {

// The connections our handler answers for and the handler we displaced.
struct HandlerRegistry {
  std::mutex mutex;
  std::vector<X11Connection*> connections;
  XErrorHandler previous = nullptr;
  bool installed = false;
};

HandlerRegistry& registry() {
  static HandlerRegistry* r = new HandlerRegistry;  // outlives static destruction
  return *r;
}

}  // namespace

X11Connection::X11Connection(Display* display) : display_(display) {}

std::unique_ptr<X11Connection> X11Connection::open(std::string& whyNot) {
  const char* name = XDisplayName(nullptr);
  if (!name || !*name) {
    whyNot = "no X display (DISPLAY is not set)";
    return nullptr;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    whyNot = std::string("cannot open the X display \"") + name + "\"";
    return nullptr;
  }
  std::unique_ptr<X11Connection> connection(new X11Connection(display));
  {
    HandlerRegistry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (!r.installed) {
      r.previous = XSetErrorHandler(&X11Connection::onError);
      r.installed = true;
    }
    r.connections.push_back(connection.get());
  }
#ifdef VELDRANA_HAVE_X_IO_EXIT_HANDLER
  // A lost server connection would otherwise exit the host.
  XSetIOErrorExitHandler(display, &X11Connection::onConnectionLost, connection.get());
#endif
  return connection;
}

X11Connection::~X11Connection() {
  // Errors of requests still in flight arrive while we still answer for
  // this connection.
  if (!broken_) XSync(display_, False);
  XCloseDisplay(display_);
  HandlerRegistry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.connections.erase(std::remove(r.connections.begin(), r.connections.end(), this),
                      r.connections.end());
  if (r.connections.empty() && r.installed) {
    XErrorHandler current = XSetErrorHandler(r.previous);
    if (current != &X11Connection::onError) {
      // Somebody installed a handler over ours (and may chain to it): leave
      // theirs in place and ours with it.
      XSetErrorHandler(current);
      return;
    }
    r.installed = false;
    r.previous = nullptr;
  }
}

int X11Connection::syncAndTakeError() {
  if (!broken_) XSync(display_, False);
  return takeError();
}

int X11Connection::onError(Display* display, XErrorEvent* error) {
  XErrorHandler previous;
  {
    HandlerRegistry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    // The newest registration wins should a closed display's address be
    // reused before its owner has left the list.
    for (auto it = r.connections.rbegin(); it != r.connections.rend(); ++it) {
      if ((*it)->display_ == display) {
        int expected = 0;
        (*it)->firstError_.compare_exchange_strong(expected, error->error_code);
        return 0;
      }
    }
    previous = r.previous;
  }
  return previous ? previous(display, error) : 0;
}

void X11Connection::onConnectionLost(Display*, void* self) {
  static_cast<X11Connection*>(self)->broken_ = true;
}

std::string x11ErrorText(Display* display, int code) {
  char text[256] = {};
  XGetErrorText(display, code, text, sizeof text);
  return text;
}

}  // namespace platform
