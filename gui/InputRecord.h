// Mouse and keyboard input in the form the manager consumes: window pixels
// with the origin at the bottom left and the editor's modifier word.
#pragma once

#include <cstdint>

namespace QW {

enum Modifier : uint32_t {
  kModifierAlt = 0x100,
  kModifierShift = 0x200,
  kModifierCtrl = 0x800,
};

struct Point {
  float x = 0.0f;
  float y = 0.0f;
};

struct InputRecord {
  enum class Kind {
    kMouseMoved,
    kMouseDown,
    kMouseDragged,
    kMouseUp,
    // A key code for the element with the keyboard focus.
    kKey,
    // The window lost the keyboard focus: the focus element is dropped.
    kFocusLost,
    // The pointer went outside the window: no motion says so otherwise.
    kPointerLeft,
    // A press asks the platform to give the window the keyboard focus first.
    kTakeFocus,
  };

  Kind kind = Kind::kMouseMoved;
  Point point;
  uint32_t modifiers = 0;
  int clickCount = 0;
  int key = 0;
};

inline bool operator==(const InputRecord& a, const InputRecord& b) {
  return a.kind == b.kind && a.point.x == b.point.x && a.point.y == b.point.y &&
         a.modifiers == b.modifiers && a.clickCount == b.clickCount && a.key == b.key;
}

}  // namespace QW
