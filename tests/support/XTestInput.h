// Real pointer and keyboard input for editor tests, sent through the X
// server with the XTest extension, so it reaches the editor's window the
// way a user's would. Coordinates are the root window's (top-left origin).
#pragma once

#include <string>

struct _XDisplay;

class XTestInput {
 public:
  // display is not owned.
  explicit XTestInput(_XDisplay* display);

  static bool available(_XDisplay* display);

  void moveTo(int x, int y);
  void press(int button = 1);
  void release(int button = 1);
  // Presses at (x0, y0), moves to (x1, y1) in steps, releases there.
  void drag(int x0, int y0, int x1, int y1, int steps = 10);
  void click(int x, int y);
  // Moves in steps to (x, y) with the button held (after press()).
  void moveInSteps(int fromX, int fromY, int x, int y, int steps);
  void keyDown(unsigned long keysym);
  void keyUp(unsigned long keysym);
  // Each character as a key press and release (digits, '.', '-').
  void type(const std::string& text);
  void key(unsigned long keysym);
  // Makes sure the server has seen everything sent so far.
  void sync();

 private:
  _XDisplay* display_;
};
