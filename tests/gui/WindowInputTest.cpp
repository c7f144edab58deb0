// clang-format off
// gtest before the X headers, which define None as a macro.
#include <gtest/gtest.h>
#include <X11/X.h>
#include <X11/keysym.h>
// clang-format on

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "gui/KeyTranslation.h"
#include "gui/WindowInput.h"

namespace {

using QW::InputRecord;
using QW::WindowEvent;
using Kind = InputRecord::Kind;

constexpr int kHeight = 512;

WindowEvent pointer(WindowEvent::Kind kind, int x, int y, unsigned button = 0, uint32_t timeMs = 0,
                    unsigned state = 0) {
  WindowEvent e;
  e.kind = kind;
  e.x = x;
  e.y = y;
  e.button = button;
  e.timeMs = timeMs;
  e.state = state;
  return e;
}
WindowEvent press(int x, int y, unsigned button, uint32_t timeMs, unsigned state = 0) {
  return pointer(WindowEvent::Kind::kButtonPress, x, y, button, timeMs, state);
}
WindowEvent release(int x, int y, unsigned button, uint32_t timeMs) {
  return pointer(WindowEvent::Kind::kButtonRelease, x, y, button, timeMs);
}
WindowEvent motion(int x, int y, unsigned state = 0) {
  return pointer(WindowEvent::Kind::kMotion, x, y, 0, 0, state);
}

WindowEvent key(unsigned long keysym, std::string text) {
  WindowEvent e;
  e.kind = WindowEvent::Kind::kKeyPress;
  e.keysym = keysym;
  e.text = std::move(text);
  return e;
}

std::vector<InputRecord> run(QW::WindowInput& input, const WindowEvent& e) {
  std::vector<InputRecord> out;
  input.translate(e, kHeight, out);
  return out;
}

std::vector<int> keys(const std::vector<InputRecord>& records) {
  std::vector<int> out;
  for (const auto& r : records) {
    EXPECT_EQ(r.kind, Kind::kKey);
    out.push_back(r.key);
  }
  return out;
}

// What a sequence of events gives, one record after another.
std::string seen(const std::vector<WindowEvent>& events) {
  static const char* const kNames[] = {"", "down", "drag", "up", "move"};
  QW::WindowInput input;
  std::string out;
  for (const WindowEvent& e : events) {
    const std::vector<InputRecord> records = run(input, e);
    // A press takes the keyboard focus first.
    const bool focus = !records.empty() && records[0].kind == Kind::kTakeFocus;
    EXPECT_EQ(focus, e.kind == WindowEvent::Kind::kButtonPress && e.button <= Button3);
    for (size_t i = focus ? 1 : 0; i < records.size(); ++i) {
      const InputRecord& r = records[i];
      const int name = r.kind == Kind::kMouseDown      ? 1
                       : r.kind == Kind::kMouseDragged ? 2
                       : r.kind == Kind::kMouseUp      ? 3
                       : r.kind == Kind::kMouseMoved   ? 4
                                                       : 0;
      char text[64];
      std::snprintf(text, sizeof text, "%s %g,%g c%d m%x; ", kNames[name], r.point.x, r.point.y,
                    name == 1 ? r.clickCount : 0, r.modifiers);
      out += text;
    }
  }
  return out;
}

TEST(WindowInputPointer, PressesMotionsWheelAndDoubleClicks) {
  const struct {
    std::vector<WindowEvent> events;
    const char* expected;
  } cases[] = {
      // y counts upward; motion drags only while a button is down.
      {{motion(5, 0, ShiftMask), press(10, 500, Button3, 0, ShiftMask | Mod1Mask),
        motion(6, 7, ControlMask), release(6, 7, Button3, 10), motion(6, 8)},
       "move 5,512 c0 m0; down 10,12 c1 m300; drag 6,505 c0 m800; up 6,505 c0 m0; "
       "move 6,504 c0 m0; "},
      // Thumb buttons and horizontal scrolling mean nothing.
      {{press(1, 1, 8, 10), press(1, 1, 6, 20)}, ""},
      // A wheel notch is a short drag of ten pixels; its release carries nothing.
      {{press(50, 200, Button4, 0, ShiftMask), press(50, 200, Button5, 0),
        release(50, 200, Button5, 0)},
       "down 50,312 c1 m200; drag 50,322 c0 m200; up 50,322 c0 m200; "
       "down 50,312 c1 m0; drag 50,302 c0 m0; up 50,302 c0 m0; "},
      // The wheel does nothing while a button is held.
      {{press(50, 200, Button1, 0), press(50, 200, Button4, 10)}, "down 50,312 c1 m0; "},
      // Quick and close: a double click; a third press starts again.
      {{press(100, 100, Button1, 1000), release(100, 100, Button1, 1050),
        press(101, 99, Button1, 1200), release(101, 99, Button1, 1250),
        press(101, 99, Button1, 1300)},
       "down 100,412 c1 m0; up 100,412 c0 m0; down 101,413 c2 m0; up 101,413 c0 m0; "
       "down 101,413 c1 m0; "},
      // Too slow, too far, another button; a double click across the clock
      // wrapping around.
      {{press(0, 0, Button1, 1000), press(0, 0, Button1, 1501), press(3, 0, Button1, 1600),
        press(3, 0, Button3, 1650), press(3, 0, Button3, 1700), press(0, 0, Button1, 0xFFFFFF00u),
        press(0, 0, Button1, 0x10u)},
       "down 0,512 c1 m0; down 0,512 c1 m0; down 3,512 c1 m0; down 3,512 c1 m0; "
       "down 3,512 c2 m0; down 0,512 c1 m0; down 0,512 c2 m0; "},
  };
  for (const auto& c : cases) EXPECT_EQ(seen(c.events), c.expected);
  EXPECT_EQ(QW::modifiersFromX11State(ShiftMask | ControlMask | Mod1Mask | LockMask | Button1Mask),
            0xB00u);
}

// Delete's DEL character does not follow its code.
TEST(WindowInputKeys, TableKeysGiveTheirCodeOthersTheirCharacters) {
  const struct {
    unsigned long keysym;
    const char* text;
    std::vector<int> keys;
  } cases[] = {
      {XK_Left, "", {28}},
      {XK_Up, "", {30}},
      {XK_Right, "", {29}},
      {XK_KP_Down, "", {31}},
      {XK_Delete, "\x7f", {8}},
      {XK_minus, "-", {45, '-'}},
      {XK_KP_Decimal, ".", {46, '.'}},
      {XK_7, "7", {'7'}},
      {XK_BackSpace, "\b", {8}},
      {XK_Return, "\r", {13}},
      {XK_Shift_L, "", {}},
      {XK_F1, "", {}},
      {XK_eacute, "\xe9", {0xe9}},
  };
  QW::WindowInput input;
  for (const auto& c : cases)
    EXPECT_EQ(keys(run(input, key(c.keysym, c.text))), c.keys) << c.keysym;
  WindowEvent e;
  e.kind = WindowEvent::Kind::kFocusOut;  // drops the focus element and leaves the hover
  const auto out = run(input, e);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].kind, Kind::kFocusLost);
  EXPECT_EQ(out[1].kind, Kind::kPointerLeft);
}

vst::VstKeyCode hostKey(int32_t character, unsigned char virt) {
  vst::VstKeyCode k{};
  k.character = character;
  k.virt = virt;
  return k;
}

TEST(HostKeys, VirtualKeysOrTheCharacterWith190AsFullStop) {
  const std::pair<unsigned char, int> virtualKeys[] = {
      {QW::kVKeyBack, 8},      {QW::kVKeyDelete, 8},   {QW::kVKeyReturn, 13},
      {QW::kVKeyEscape, 27},   {QW::kVKeyEnter, 13},   {QW::kVKeyLeft, 28},
      {QW::kVKeyUp, 30},       {QW::kVKeyRight, 29},   {QW::kVKeyDown, 31},
      {QW::kVKeySubtract, 45}, {QW::kVKeyDecimal, 46}, {QW::kVKeyNumpad0, '0'},
      {QW::kVKeyNumpad9, '9'}};
  for (const auto& [virt, key] : virtualKeys)
    EXPECT_EQ(QW::editorKeyForHostKey(hostKey(0, virt)), key) << int{virt};
  EXPECT_EQ(QW::editorKeyForHostKey(hostKey('a', 0)), 'a');
  EXPECT_EQ(QW::editorKeyForHostKey(hostKey(190, 0)), 46);
  // Escape (6) is not in the table: its character goes through.
  EXPECT_EQ(QW::editorKeyForHostKey(hostKey(27, 6)), 27);
}

}  // namespace
