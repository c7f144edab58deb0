// What a host on X11 does around a plug-in's editor, for the tests that play
// the host: its top-level window, its idle timer, and a look at what the
// editor put into the window.
#pragma once

// clang-format off
// gtest before the X headers, which define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
// clang-format on
#include <X11/Xutil.h>
#include <dirent.h>

#include <chrono>
#include <functional>
#include <set>
#include <thread>
#include <vector>

namespace x11host {

// Entries of a folder: in /proc/self/task and /proc/self/fd, the process's
// threads and open files, which an editor must give back when it closes.
inline int countEntries(const char* folder) {
  int n = 0;
  if (DIR* d = opendir(folder)) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

// A mapped top-level window at the screen's origin: without a window
// manager, root and window coordinates agree.
inline Window makeHostWindow(Display* display, int width, int height) {
  XSetWindowAttributes a{};
  a.background_pixel = WhitePixel(display, DefaultScreen(display));
  const Window w = XCreateWindow(display, DefaultRootWindow(display), 0, 0,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                 CopyFromParent, InputOutput, CopyFromParent, CWBackPixel, &a);
  XMapWindow(display, w);
  XSync(display, False);
  return w;
}

inline std::vector<Window> childWindows(Display* display, Window w) {
  Window root = 0;
  Window parentOfW = 0;
  Window* list = nullptr;
  unsigned int n = 0;
  std::vector<Window> out;
  if (XQueryTree(display, w, &root, &parentOfW, &list, &n)) {
    out.assign(list, list + n);
    if (list) XFree(list);
  }
  return out;
}

struct Rgb {
  int r, g, b;
};

// Rows of RGB, top row first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;
  Rgb at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

inline size_t distinctColours(const Picture& picture) {
  std::set<int> seen;
  for (const Rgb& c : picture.pixels) seen.insert((c.r << 16) | (c.g << 8) | c.b);
  return seen.size();
}

// The server's copy of width x height of the window; empty when it has none.
inline Picture capture(Display* display, Window window, int width, int height) {
  Picture picture;
  XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  EXPECT_NE(image, nullptr);
  if (!image) return picture;
  picture.width = width;
  picture.height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const unsigned long p = XGetPixel(image, x, y);
      picture.pixels.push_back({static_cast<int>((p & image->red_mask) >> 16),
                                static_cast<int>((p & image->green_mask) >> 8),
                                static_cast<int>(p & image->blue_mask)});
    }
  }
  XDestroyImage(image);
  return picture;
}

// The host's idle timer, at about 30 calls a second, until done() or the
// time is up.
inline void idleUntil(const std::function<void()>& idle, const std::function<bool()>& done,
                      std::chrono::milliseconds time) {
  const auto end = std::chrono::steady_clock::now() + time;
  while (!done() && std::chrono::steady_clock::now() < end) {
    idle();
    std::this_thread::sleep_for(std::chrono::milliseconds(33));
  }
}

inline void idleFor(const std::function<void()>& idle, std::chrono::milliseconds time) {
  idleUntil(
      idle, [] { return false; }, time);
}

}  // namespace x11host
