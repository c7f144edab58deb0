#include "gui/WindowInput.h"

#include <cstdlib>

#include "gui/KeyTranslation.h"

namespace QW {

namespace {

constexpr unsigned int kButtonLeft = 1;
constexpr unsigned int kButtonRight = 3;
constexpr unsigned int kWheelForward = 4;
constexpr unsigned int kWheelBack = 5;
// A wheel notch in the units desktop wheels report on other platforms.
constexpr float kWheelDeltaPerNotch = 120.0f;

InputRecord record(InputRecord::Kind kind, Point point, uint32_t modifiers, int clickCount = 0) {
  InputRecord r;
  r.kind = kind;
  r.point = point;
  r.modifiers = modifiers;
  r.clickCount = clickCount;
  return r;
}

InputRecord keyRecord(int key) {
  InputRecord r;
  r.kind = InputRecord::Kind::kKey;
  r.key = key;
  return r;
}

}  // namespace

int WindowInput::clickCountFor(const WindowEvent& press) {
  const bool isDouble = havePress_ && press.button == lastButton_ &&
                        static_cast<uint32_t>(press.timeMs - lastTimeMs_) <= rule_.maxIntervalMs &&
                        std::abs(press.x - lastX_) <= rule_.maxDistance &&
                        std::abs(press.y - lastY_) <= rule_.maxDistance;
  if (isDouble) {
    // A third press starts counting again.
    havePress_ = false;
    return 2;
  }
  havePress_ = true;
  lastButton_ = press.button;
  lastTimeMs_ = press.timeMs;
  lastX_ = press.x;
  lastY_ = press.y;
  return 1;
}

void WindowInput::translate(const WindowEvent& event, int windowHeight,
                            std::vector<InputRecord>& out) {
  using Kind = InputRecord::Kind;
  const Point point{static_cast<float>(event.x), static_cast<float>(windowHeight - event.y)};
  const uint32_t modifiers = modifiersFromX11State(event.state);

  switch (event.kind) {
    case WindowEvent::Kind::kButtonPress:
      if (event.button >= kButtonLeft && event.button <= kButtonRight) {
        const int clicks = clickCountFor(event);
        out.push_back(record(Kind::kTakeFocus, point, modifiers));
        out.push_back(record(Kind::kMouseDown, point, modifiers, clicks));
        mouseIsDown_ = true;
      } else if ((event.button == kWheelForward || event.button == kWheelBack) && !mouseIsDown_) {
        const float delta =
            event.button == kWheelForward ? kWheelDeltaPerNotch : -kWheelDeltaPerNotch;
        const Point end{point.x, point.y + delta / kWheelDeltaPerNotch * kWheelPixelsPerNotch};
        out.push_back(record(Kind::kMouseDown, point, modifiers, 1));
        out.push_back(record(Kind::kMouseDragged, end, modifiers));
        out.push_back(record(Kind::kMouseUp, end, modifiers));
      }
      break;
    case WindowEvent::Kind::kButtonRelease:
      if (event.button >= kButtonLeft && event.button <= kButtonRight) {
        out.push_back(record(Kind::kMouseUp, point, modifiers));
        mouseIsDown_ = false;
      }
      break;
    case WindowEvent::Kind::kMotion:
      out.push_back(record(mouseIsDown_ ? Kind::kMouseDragged : Kind::kMouseMoved, point,
                           mouseIsDown_ ? modifiers : 0));
      break;
    case WindowEvent::Kind::kKeyPress:
      if (const auto key = editorKeyForKeysym(event.keysym)) out.push_back(keyRecord(*key));
      for (const char c : event.text) {
        const auto byte = static_cast<unsigned char>(c);
        if (deliversCharacter(byte)) out.push_back(keyRecord(byte));
      }
      break;
    case WindowEvent::Kind::kFocusOut:
      out.push_back(record(Kind::kFocusLost, {}, 0));
      // Losing the focus usually means the user went elsewhere; a lit
      // element would stay lit until the pointer came back.
      out.push_back(record(Kind::kPointerLeft, {}, 0));
      break;
    case WindowEvent::Kind::kLeave:
      out.push_back(record(Kind::kPointerLeft, {}, 0));
      break;
  }
}

}  // namespace QW
