// Drawing checked for real: a GL context on a private X server and its
// pixels read back. Everything here works in window pixels with the origin
// at the bottom left, as the editor draws.
#pragma once

// clang-format off
// gtest before the X headers, which define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
// clang-format on

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/ScopedEnv.h"

namespace platform {
class GlxWindowContext;
class X11ChildWindow;
}  // namespace platform

namespace gltest {

using Rgb = std::array<int, 3>;

// Every channel within tolerance of the expected one.
::testing::AssertionResult near(const Rgb& actual, const Rgb& expected, int tolerance = 3);

// One pixel of the read buffer, once the drawing so far has finished.
Rgb readPixel(int x, int y);

// The whole width x height of the read buffer as RGBA rows, bottom row first.
std::vector<unsigned char> readPixels(int width, int height);

// The editor's projection over a width x height window, modelview identity.
void useWindowPixels(int width, int height);

// The editor's window as a host holds it: the host's top-level window, the
// editor's child window in it and a double-buffered context current on
// this thread, drawing to and reading from the back buffer. DISPLAY names
// the server while it lives, for the connections the editor opens itself.
class EditorWindow {
 public:
  EditorWindow(int width, int height);
  ~EditorWindow();
  EditorWindow(const EditorWindow&) = delete;
  EditorWindow& operator=(const EditorWindow&) = delete;

  // All of it on displayName, or why not.
  ::testing::AssertionResult open(const std::string& displayName);

  Display* display() const { return display_; }
  Window parent() const { return parent_; }

 private:
  const int width_;
  const int height_;
  std::optional<ScopedEnv> displayVariable_;
  Display* display_ = nullptr;
  Window parent_ = 0;
  std::unique_ptr<platform::X11ChildWindow> window_;
  std::unique_ptr<platform::GlxWindowContext> context_;
};

// An off-screen context of width x height, current on this thread while the
// object lives; for drawing that needs no window.
class PbufferContext {
 public:
  PbufferContext(const std::string& displayName, int width, int height);
  ~PbufferContext();
  PbufferContext(const PbufferContext&) = delete;
  PbufferContext& operator=(const PbufferContext&) = delete;

  bool current() const { return current_; }

 private:
  struct Glx;
  std::unique_ptr<Glx> glx_;
  bool current_ = false;
};

}  // namespace gltest
