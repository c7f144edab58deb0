// An Xlib connection of our own, with errors that never end the process.
//
// Xlib reports protocol errors through one process-wide handler whose
// default prints the error and exits. While any of our connections is open
// we keep our own handler installed: errors on our connections are recorded
// on the connection (the code that made the request decides what they
// mean); errors on anybody else's connection go to the handler that was
// installed before ours, so the host keeps the behaviour it chose.
//
// A connection is used by one thread at a time; its owner serialises (we
// never rely on XInitThreads, which a plug-in cannot call early enough).
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <memory>
#include <string>

namespace platform {

class X11Connection {
 public:
  // The display named by DISPLAY; null with the reason when there is none.
  static std::unique_ptr<X11Connection> open(std::string& whyNot);
  ~X11Connection();
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;

  Display* display() const { return display_; }

  // Waits until the server has handled every request so far and answers the
  // first error code it reported on this connection since the last take
  // (0 when none).
  int syncAndTakeError();
  int takeError() { return firstError_.exchange(0); }
  // The connection to the server is lost; nothing works on it any more.
  bool broken() const { return broken_.load(); }

 private:
  explicit X11Connection(Display* display);
  static int onError(Display* display, XErrorEvent* error);
  static void onConnectionLost(Display* display, void* self);

  Display* display_;
  std::atomic<int> firstError_{0};
  std::atomic<bool> broken_{false};
};

// Text for an X error code, for diagnostics.
std::string x11ErrorText(Display* display, int code);

}  // namespace platform
