// What the editor window's event handling does with pointer, wheel, key and
// focus events, apart from the window system itself: the y flip, modifiers,
// double clicks, the wheel played as a short drag, the key table. The
// platform side fills a WindowEvent from its own event and hands the
// resulting records to the manager.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gui/InputRecord.h"

namespace QW {

// A window-system event in X11 terms: coordinates from the top-left corner
// of the window, X button numbers (1 left, 2 middle, 3 right, 4/5 wheel
// forward/back) and the X key/button state mask.
struct WindowEvent {
  enum class Kind { kButtonPress, kButtonRelease, kMotion, kKeyPress, kFocusOut, kLeave };

  Kind kind = Kind::kMotion;
  int x = 0;
  int y = 0;
  unsigned int button = 0;
  unsigned int state = 0;
  // Server time in milliseconds; wraps around.
  uint32_t timeMs = 0;
  unsigned long keysym = 0;
  // The characters the key press produced.
  std::string text;
};

// A second press of the same button counts as a double click when it comes
// this soon and this close to the first (the usual desktop defaults).
struct DoubleClickRule {
  uint32_t maxIntervalMs = 500;
  int maxDistance = 2;
};

class WindowInput {
 public:
  explicit WindowInput(DoubleClickRule rule = {}) : rule_(rule) {}

  // Appends the records for one event. windowHeight is the window's height
  // now, for turning y upward.
  void translate(const WindowEvent& event, int windowHeight, std::vector<InputRecord>& out);

  bool mouseIsDown() const { return mouseIsDown_; }

  // One notch of the wheel moves the pointer this far in a short drag.
  static constexpr float kWheelPixelsPerNotch = 10.0f;

 private:
  int clickCountFor(const WindowEvent& press);

  DoubleClickRule rule_;
  bool mouseIsDown_ = false;
  // The last single press, a candidate for a double click.
  bool havePress_ = false;
  unsigned int lastButton_ = 0;
  uint32_t lastTimeMs_ = 0;
  int lastX_ = 0;
  int lastY_ = 0;
};

}  // namespace QW
