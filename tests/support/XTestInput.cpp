#include "support/XTestInput.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

XTestInput::XTestInput(Display* display) : display_(display) {}

bool XTestInput::available(Display* display) {
  int event = 0;
  int error = 0;
  int major = 0;
  int minor = 0;
  return XTestQueryExtension(display, &event, &error, &major, &minor) == True;
}

void XTestInput::moveTo(int x, int y) {
  XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
  sync();
}

void XTestInput::press(int button) {
  XTestFakeButtonEvent(display_, static_cast<unsigned>(button), True, CurrentTime);
  sync();
}

void XTestInput::release(int button) {
  XTestFakeButtonEvent(display_, static_cast<unsigned>(button), False, CurrentTime);
  sync();
}

void XTestInput::moveInSteps(int fromX, int fromY, int x, int y, int steps) {
  for (int i = 1; i <= steps; ++i)
    XTestFakeMotionEvent(display_, -1, fromX + (x - fromX) * i / steps,
                         fromY + (y - fromY) * i / steps, CurrentTime);
  sync();
}

void XTestInput::drag(int x0, int y0, int x1, int y1, int steps) {
  moveTo(x0, y0);
  press();
  moveInSteps(x0, y0, x1, y1, steps);
  release();
}

void XTestInput::click(int x, int y) {
  moveTo(x, y);
  press();
  release();
}

void XTestInput::keyDown(unsigned long keysym) {
  XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, keysym), True, CurrentTime);
  sync();
}

void XTestInput::keyUp(unsigned long keysym) {
  XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, keysym), False, CurrentTime);
  sync();
}

void XTestInput::key(unsigned long keysym) {
  keyDown(keysym);
  keyUp(keysym);
}

void XTestInput::type(const std::string& text) {
  for (const char c : text) {
    if (c == '.')
      key(XK_period);
    else if (c == '-')
      key(XK_minus);
    else
      key(static_cast<unsigned long>(static_cast<unsigned char>(c)));
  }
}

void XTestInput::sync() {
  XSync(display_, False);
}
