// Key and modifier tables shared by the window's own input and the host's
// key strokes. Pure functions over numbers, so they are testable without a
// display.
#pragma once

#include <cstdint>
#include <optional>

#include "core/VstAbi.h"
#include "gui/InputRecord.h"

namespace QW {

// The published VST 2.4 virtual key numbers the editor looks at.
enum VstVirtualKey : unsigned char {
  kVKeyBack = 1,
  kVKeyReturn = 4,
  kVKeyEscape = 6,
  kVKeyLeft = 11,
  kVKeyUp = 12,
  kVKeyRight = 13,
  kVKeyDown = 14,
  kVKeyEnter = 19,
  kVKeyDelete = 22,
  kVKeyNumpad0 = 24,
  kVKeyNumpad9 = 33,
  kVKeySubtract = 37,
  kVKeyDecimal = 38,
};

// Key codes the focus element understands besides plain characters.
enum EditorKey : int {
  kKeyBackspace = 8,
  kKeyReturn = 13,
  kKeyEscape = 27,
  kKeyLeft = 28,
  kKeyRight = 29,
  kKeyUp = 30,
  kKeyDown = 31,
  kKeyMinus = 45,
  kKeyPoint = 46,
};

// X11 key/button state bits → the editor's modifier word (Shift 0x200,
// Ctrl 0x800, Alt 0x100; Alt is the first modifier mapping, as X servers set
// it up for the Alt keys).
uint32_t modifiersFromX11State(unsigned int state);

// The keys of the window's own key-press that get a code of their own
// (arrows, Delete, the minus and full-stop keys with their keypad twins); all
// others answer nothing and only their characters are delivered.
std::optional<int> editorKeyForKeysym(unsigned long keysym);

// Whether a character produced by a key press is delivered to the focus
// element. DEL is not: Delete already arrived as code 8 and no character
// message follows it on the platforms the editor was designed on.
bool deliversCharacter(unsigned char c);

// A key stroke the host forwards (effEditKeyDown).
int editorKeyForHostKey(const vst::VstKeyCode& key);

}  // namespace QW
