#include "gui/TextField.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "gui/Font.h"
#include "gui/GlDraw.h"
#include "gui/Manager.h"

namespace QW {

namespace {

bool beginsWithLetter(const std::string& text) {
  return !text.empty() && std::isalpha(static_cast<unsigned char>(text[0])) != 0;
}

bool isDigit(int key) {
  return key >= '0' && key <= '9';
}

}  // namespace

TextField::TextField(Manager* manager, int32_t parameterIndex, float x, float y, float width,
                     float height, std::string format)
    : Control(manager, parameterIndex), format_(std::move(format)), run_(&manager->textRuns()) {
  box_ = Bounds::fromRect(x, y, width, height);
  // The format comes from the layout script; anything printf would read
  // more than one double for must never reach it.
  if (!usableFormat(format_)) format_.clear();
}

bool TextField::usableFormat(const std::string& format) {
  int conversions = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    ++i;
    if (i < format.size() && format[i] == '%') continue;
    while (i < format.size() && std::strchr("-+ #0", format[i]) != nullptr) ++i;
    while (i < format.size() && isDigit(format[i])) ++i;
    if (i < format.size() && format[i] == '.') {
      ++i;
      while (i < format.size() && isDigit(format[i])) ++i;
    }
    if (i < format.size() && format[i] == 'l') ++i;
    if (i >= format.size() || std::strchr("fFeEgGaA", format[i]) == nullptr) return false;
    ++conversions;
  }
  return conversions == 1;
}

float TextField::stepFor(const std::string& text) {
  if (beginsWithLetter(text)) return 1.0f;
  const size_t dot = text.find('.');
  if (dot == std::string::npos) return 1.0f;
  int digits = 0;
  for (size_t i = dot + 1; i < text.size() && isDigit(text[i]); ++i) ++digits;
  return static_cast<float>(std::pow(10.0, -digits));
}

void TextField::refresh() {
  if (!typing_) {
    const float value = currentPlain();
    if (value != lastValue_) {
      lastValue_ = value;
      std::string shown = descriptor_.display();
      if (!format_.empty() && !beginsWithLetter(shown)) {
        char formatted[kMaxTyped + 1] = {};
        std::snprintf(formatted, sizeof formatted, format_.c_str(), static_cast<double>(value));
        shown = formatted;
      }
      if (shown.size() > kMaxTyped) shown.resize(kMaxTyped);
      text_ = std::move(shown);
      measured_ = false;
    }
  }
  if (!measured_) {
    Font* font = manager_->textFieldFont();
    textWidth_ = font != nullptr ? font->measure(text_).width : 0.0f;
    measured_ = true;
  }
}

void TextField::update() {
  Control::update();
  refresh();
}

void TextField::draw() {
  if (!visible_) return;
  gl::fillQuad(box_.minX, box_.minY, box_.maxX, box_.maxY, background_);
  if (manager_->keyFocus() == this) {
    gl::fillQuad(box_.minX + 1.0f, box_.minY + 1.0f, box_.maxX - 1.0f, box_.maxY - 1.0f,
                 typing_ ? changed_ : active_);
  }
  Font* font = manager_->textFieldFont();
  if (font == nullptr) return;
  run_.set(font, text_, box_.maxX - 1.0f - textWidth_, box_.minY + 2.0f);
  gl::setColour(textColour_);
  run_.draw(font);
}

void TextField::mouseDown(Point point, uint32_t modifiers, int clickCount) {
  if (ManagerPlatformBridge* bridge = manager_->bridge()) bridge->takeFocus();
  Control::mouseDown(point, modifiers, clickCount);
  manager_->setKeyFocus(this);
}

void TextField::mouseUp(Point point, uint32_t modifiers) {
  Control::mouseUp(point, modifiers);
}

bool TextField::parsed(float& number) const {
  return std::sscanf(text_.c_str(), "%f", &number) == 1;
}

void TextField::commit(float plain) {
  beginEdit();
  setPlain(plain);
  endEdit();
  typing_ = false;
  lastValue_ = kStale;
}

void TextField::startTyping(const std::string& text) {
  typing_ = true;
  text_ = text;
  measured_ = false;
}

bool TextField::keyPressed(int key) {
  switch (key) {
    case kKeyEnter:
    case kKeyReturn: {
      float number = 0.0f;
      if (parsed(number)) commit(number);
      return true;
    }
    case kKeyBackspace:
      // Deleting everything keeps the field typing: the display must not
      // come back under the user's cursor.
      if (typing_ && !text_.empty()) {
        text_.pop_back();
        measured_ = false;
      }
      return true;
    case kKeyLeft:
    case kKeyDown:
    case kKeyRight:
    case kKeyUp: {
      const float step = stepFor(text_);
      float number = 0.0f;
      if (parsed(number)) commit(number);
      const bool up = key == kKeyRight || key == kKeyUp;
      commit(currentPlain() + (up ? step : -step));
      return true;
    }
    case '-':
      if (!typing_) startTyping("-");
      return true;
    default:
      break;
  }
  if (key == '.' || isDigit(key)) {
    if (key == '.' && typing_ && text_.find('.') != std::string::npos) return true;
    if (!typing_) startTyping("");
    if (text_.size() < kMaxTyped) {
      text_.push_back(static_cast<char>(key));
      measured_ = false;
    }
    return true;
  }
  return false;
}

void TextField::focusLost(UIElement*) {
  typing_ = false;
  lastValue_ = kStale;
}

}  // namespace QW
