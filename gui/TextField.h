// A numeric field: shows the parameter's display text (or the value through
// a printf-style format), takes typed numbers committed with Return, and
// steps the value by one unit of its last shown digit with the arrow keys.
#pragma once

#include <cstdint>
#include <string>

#include "gui/Control.h"
#include "gui/TextRun.h"

namespace QW {

class TextField : public Control {
 public:
  // Key codes besides printable characters.
  static constexpr int kKeyEnter = 3;
  static constexpr int kKeyBackspace = 8;
  static constexpr int kKeyReturn = 13;
  static constexpr int kKeyLeft = 28;
  static constexpr int kKeyRight = 29;
  static constexpr int kKeyUp = 30;
  static constexpr int kKeyDown = 31;
  // Characters a typed text may hold.
  static constexpr size_t kMaxTyped = 31;

  // format may be empty (the effect's display text is shown as it is); a
  // format that is not one floating-point conversion is not used.
  TextField(Manager* manager, int32_t parameterIndex, float x, float y, float width, float height,
            std::string format);

  void setBackgroundColour(float r, float g, float b) { background_ = {r, g, b, 1.0f}; }
  void setActiveColour(float r, float g, float b) { active_ = {r, g, b, 1.0f}; }
  void setChangedColour(float r, float g, float b) { changed_ = {r, g, b, 1.0f}; }
  void setTextColour(float r, float g, float b) { textColour_ = {r, g, b, 1.0f}; }

  // What the field shows (the typed text while typing).
  const char* text() const { return text_.c_str(); }
  bool isTyping() const { return typing_; }

  void update() override;
  void draw() override;
  void mouseDown(Point point, uint32_t modifiers, int clickCount) override;
  void mouseUp(Point point, uint32_t modifiers) override;
  bool keyPressed(int key) override;
  void focusLost(UIElement* newFocus) override;

  // True when format holds exactly one floating-point conversion (and any
  // number of "%%"), so it is safe to hand to printf with one double.
  static bool usableFormat(const std::string& format);
  // One unit of the last digit shown in text: 1 for texts that begin with a
  // letter or hold no '.', else 10 to the minus number of digits after it.
  static float stepFor(const std::string& text);

 private:
  // Reads the value, and on a change formats the text again.
  void refresh();
  // Parses the text; true and the number when it is one.
  bool parsed(float& number) const;
  void commit(float plain);
  void startTyping(const std::string& text);

  std::string format_;
  std::string text_;
  bool typing_ = false;
  // Forces the next refresh to format: no value equals it.
  static constexpr float kStale = 1e30f;
  float lastValue_ = kStale;
  float textWidth_ = 0.0f;
  bool measured_ = false;
  TextRun run_;
  Colour background_{0.8f, 0.8f, 0.85f, 1.0f};
  Colour active_{0.8f, 1.0f, 0.8f, 1.0f};
  Colour changed_{1.0f, 0.8f, 0.8f, 1.0f};
  Colour textColour_{0.1f, 0.1f, 0.1f, 1.0f};
};

}  // namespace QW
