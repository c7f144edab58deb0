// clang-format off
// gtest before the X headers, which define None as a macro.
#include <gtest/gtest.h>
#include <X11/X.h>
#include <X11/keysym.h>
// clang-format on

#include <utility>
#include <vector>

#include "gui/KeyTranslation.h"
#include "gui/WindowInput.h"

namespace {

using QW::InputRecord;
using QW::WindowEvent;
using Kind = InputRecord::Kind;

constexpr int kHeight = 512;

WindowEvent press(int x, int y, unsigned button, uint32_t timeMs, unsigned state = 0) {
  WindowEvent e;
  e.kind = WindowEvent::Kind::kButtonPress;
  e.x = x;
  e.y = y;
  e.button = button;
  e.timeMs = timeMs;
  e.state = state;
  return e;
}

WindowEvent release(int x, int y, unsigned button, uint32_t timeMs, unsigned state = 0) {
  WindowEvent e = press(x, y, button, timeMs, state);
  e.kind = WindowEvent::Kind::kButtonRelease;
  return e;
}

WindowEvent motion(int x, int y, unsigned state = 0) {
  WindowEvent e;
  e.kind = WindowEvent::Kind::kMotion;
  e.x = x;
  e.y = y;
  e.state = state;
  return e;
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

TEST(WindowInputPointer, PressTakesFocusThenGoesDownWithYCountedUpward) {
  QW::WindowInput input;
  const auto out = run(input, press(10, 500, Button1, 1000));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].kind, Kind::kTakeFocus);
  EXPECT_EQ(out[1].kind, Kind::kMouseDown);
  EXPECT_EQ(out[1].point.x, 10.0f);
  EXPECT_EQ(out[1].point.y, 12.0f);
  EXPECT_EQ(out[1].clickCount, 1);
  EXPECT_TRUE(input.mouseIsDown());
}

TEST(WindowInputPointer, MotionIsADragOnlyWhileAButtonIsDown) {
  QW::WindowInput input;
  auto out = run(input, motion(5, 0, ShiftMask));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].kind, Kind::kMouseMoved);
  EXPECT_EQ(out[0].point.y, 512.0f);

  run(input, press(5, 5, Button3, 0));
  out = run(input, motion(6, 7, ControlMask));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].kind, Kind::kMouseDragged);
  EXPECT_EQ(out[0].modifiers, QW::kModifierCtrl);

  out = run(input, release(6, 7, Button3, 10));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].kind, Kind::kMouseUp);
  EXPECT_FALSE(input.mouseIsDown());
  EXPECT_EQ(run(input, motion(6, 8))[0].kind, Kind::kMouseMoved);
}

TEST(WindowInputPointer, ModifierWordFromTheEventState) {
  EXPECT_EQ(QW::modifiersFromX11State(ShiftMask), 0x200u);
  EXPECT_EQ(QW::modifiersFromX11State(ControlMask), 0x800u);
  EXPECT_EQ(QW::modifiersFromX11State(Mod1Mask), 0x100u);
  EXPECT_EQ(QW::modifiersFromX11State(ShiftMask | ControlMask | Mod1Mask | LockMask | Button1Mask),
            0xB00u);
  QW::WindowInput input;
  const auto out = run(input, press(1, 1, Button1, 0, ShiftMask | Mod1Mask));
  EXPECT_EQ(out[1].modifiers, 0x300u);
}

TEST(WindowInputPointer, MiddleAndOtherButtons) {
  QW::WindowInput input;
  EXPECT_EQ(run(input, press(1, 1, Button2, 0)).size(), 2u);
  EXPECT_EQ(run(input, release(1, 1, Button2, 5)).size(), 1u);
  // Back/forward thumb buttons and horizontal scrolling mean nothing here.
  EXPECT_TRUE(run(input, press(1, 1, 8, 10)).empty());
  EXPECT_TRUE(run(input, press(1, 1, 6, 20)).empty());
  EXPECT_FALSE(input.mouseIsDown());
}

TEST(WindowInputDoubleClick, SecondQuickCloseSamePressCountsTwoAndAThirdStartsAgain) {
  QW::WindowInput input;
  EXPECT_EQ(run(input, press(100, 100, Button1, 1000))[1].clickCount, 1);
  run(input, release(100, 100, Button1, 1050));
  EXPECT_EQ(run(input, press(101, 99, Button1, 1200))[1].clickCount, 2);
  run(input, release(101, 99, Button1, 1250));
  EXPECT_EQ(run(input, press(101, 99, Button1, 1300))[1].clickCount, 1);
}

TEST(WindowInputDoubleClick, TooSlowTooFarOrAnotherButtonIsASingleClick) {
  QW::WindowInput input;
  run(input, press(100, 100, Button1, 1000));
  EXPECT_EQ(run(input, press(100, 100, Button1, 1501))[1].clickCount, 1);  // slow
  EXPECT_EQ(run(input, press(103, 100, Button1, 1600))[1].clickCount, 1);  // far
  EXPECT_EQ(run(input, press(103, 100, Button3, 1650))[1].clickCount, 1);  // other button
  EXPECT_EQ(run(input, press(103, 100, Button3, 1700))[1].clickCount, 2);  // right double
}

TEST(WindowInputDoubleClick, SurvivesTheServerClockWrappingAround) {
  QW::WindowInput input;
  run(input, press(0, 0, Button1, 0xFFFFFF00u));
  EXPECT_EQ(run(input, press(0, 0, Button1, 0x00000010u))[1].clickCount, 2);
}

TEST(WindowInputWheel, ANotchIsAShortDragOfTenPixels) {
  QW::WindowInput input;
  auto out = run(input, press(50, 200, Button4, 0, ShiftMask));
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].kind, Kind::kMouseDown);
  EXPECT_EQ(out[0].clickCount, 1);
  EXPECT_EQ(out[0].point.y, 312.0f);
  EXPECT_EQ(out[1].kind, Kind::kMouseDragged);
  EXPECT_FLOAT_EQ(out[1].point.y, 322.0f);
  EXPECT_EQ(out[2].kind, Kind::kMouseUp);
  EXPECT_FLOAT_EQ(out[2].point.y, 322.0f);
  for (const auto& r : out) EXPECT_EQ(r.modifiers, QW::kModifierShift);
  EXPECT_FALSE(input.mouseIsDown());

  out = run(input, press(50, 200, Button5, 0));
  ASSERT_EQ(out.size(), 3u);
  EXPECT_FLOAT_EQ(out[1].point.y, 302.0f);
  // The wheel's release carries nothing.
  EXPECT_TRUE(run(input, release(50, 200, Button5, 0)).empty());
}

TEST(WindowInputWheel, DoesNothingWhileAButtonIsHeld) {
  QW::WindowInput input;
  run(input, press(50, 200, Button1, 0));
  EXPECT_TRUE(run(input, press(50, 200, Button4, 10)).empty());
  EXPECT_TRUE(input.mouseIsDown());
}

TEST(WindowInputKeys, TableKeysGiveTheirCodeAndCharactersFollow) {
  QW::WindowInput input;
  EXPECT_EQ(keys(run(input, key(XK_Left, ""))), std::vector<int>{28});
  EXPECT_EQ(keys(run(input, key(XK_Up, ""))), std::vector<int>{30});
  EXPECT_EQ(keys(run(input, key(XK_Right, ""))), std::vector<int>{29});
  EXPECT_EQ(keys(run(input, key(XK_Down, ""))), std::vector<int>{31});
  EXPECT_EQ(keys(run(input, key(XK_KP_Down, ""))), std::vector<int>{31});
  // Delete is code 8; its DEL character does not follow.
  EXPECT_EQ(keys(run(input, key(XK_Delete, "\x7f"))), std::vector<int>{8});
  // Minus and full stop: the key's code, then the character message.
  EXPECT_EQ(keys(run(input, key(XK_minus, "-"))), (std::vector<int>{45, '-'}));
  EXPECT_EQ(keys(run(input, key(XK_KP_Subtract, "-"))), (std::vector<int>{45, '-'}));
  EXPECT_EQ(keys(run(input, key(XK_period, "."))), (std::vector<int>{46, '.'}));
  EXPECT_EQ(keys(run(input, key(XK_KP_Decimal, "."))), (std::vector<int>{46, '.'}));
}

TEST(WindowInputKeys, OtherKeysOnlyDeliverTheirCharacters) {
  QW::WindowInput input;
  EXPECT_EQ(keys(run(input, key(XK_7, "7"))), std::vector<int>{'7'});
  EXPECT_EQ(keys(run(input, key(XK_BackSpace, "\b"))), std::vector<int>{8});
  EXPECT_EQ(keys(run(input, key(XK_Return, "\r"))), std::vector<int>{13});
  EXPECT_TRUE(run(input, key(XK_Shift_L, "")).empty());
  EXPECT_TRUE(run(input, key(XK_F1, "")).empty());
  // Characters arrive as their low eight bits.
  EXPECT_EQ(keys(run(input, key(XK_eacute, "\xe9"))), std::vector<int>{0xe9});
}

TEST(WindowInputFocus, FocusOutDropsTheFocusElementAndLeaveTheHover) {
  QW::WindowInput input;
  WindowEvent e;
  e.kind = WindowEvent::Kind::kFocusOut;
  auto out = run(input, e);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].kind, Kind::kFocusLost);
  EXPECT_EQ(out[1].kind, Kind::kPointerLeft);
  e.kind = WindowEvent::Kind::kLeave;
  out = run(input, e);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].kind, Kind::kPointerLeft);
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
