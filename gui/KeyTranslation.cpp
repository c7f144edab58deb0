#include "gui/KeyTranslation.h"

#include <X11/X.h>
#include <X11/keysym.h>

namespace QW {

uint32_t modifiersFromX11State(unsigned int state) {
  uint32_t modifiers = 0;
  if (state & ShiftMask) modifiers |= kModifierShift;
  if (state & ControlMask) modifiers |= kModifierCtrl;
  if (state & Mod1Mask) modifiers |= kModifierAlt;
  return modifiers;
}

std::optional<int> editorKeyForKeysym(unsigned long keysym) {
  switch (keysym) {
    case XK_Left:
    case XK_KP_Left:
      return kKeyLeft;
    case XK_Up:
    case XK_KP_Up:
      return kKeyUp;
    case XK_Right:
    case XK_KP_Right:
      return kKeyRight;
    case XK_Down:
    case XK_KP_Down:
      return kKeyDown;
    case XK_Delete:
    case XK_KP_Delete:
      return kKeyBackspace;
    case XK_minus:
    case XK_KP_Subtract:
      return kKeyMinus;
    case XK_period:
    case XK_KP_Decimal:
      return kKeyPoint;
    default:
      return std::nullopt;
  }
}

bool deliversCharacter(unsigned char c) {
  return c != 0 && c != 0x7f;
}

int editorKeyForHostKey(const vst::VstKeyCode& key) {
  switch (key.virt) {
    case kVKeyBack:
    case kVKeyDelete:
      return kKeyBackspace;
    case kVKeyReturn:
    case kVKeyEnter:
      return kKeyReturn;
    case kVKeyLeft:
      return kKeyLeft;
    case kVKeyUp:
      return kKeyUp;
    case kVKeyRight:
      return kKeyRight;
    case kVKeyDown:
      return kKeyDown;
    case kVKeySubtract:
      return kKeyMinus;
    case kVKeyDecimal:
      return kKeyPoint;
    case kVKeyEscape:
      // Hosts that keep the keyboard forward Escape with no character; the
      // preferences panel closes on it as it does on the window's own key.
      return kKeyEscape;
    default:
      break;
  }
  if (key.virt >= kVKeyNumpad0 && key.virt <= kVKeyNumpad9) return '0' + (key.virt - kVKeyNumpad0);
  // Hosts that pass Windows key numbers as characters send 190 for the
  // full stop.
  return key.character == 190 ? kKeyPoint : key.character;
}

}  // namespace QW
