#include "gui/DropDown.h"

#include <algorithm>
#include <cmath>

#include "core/CFTypes.h"
#include "core/ParameterInfo.h"
#include "core/QwkAuBase.h"
#include "gui/Font.h"
#include "gui/GlDraw.h"
#include "gui/Manager.h"

namespace QW {

namespace {

const Colour kGreen{0.0f, 1.0f, 0.0f, 1.0f};

// The base class's debug look: green on green.
const DropDown::Look& plainLook() {
  static const DropDown::Look look{
      kGreen, kGreen, {0.0f, 0.5f, 0.0f, 1.0f}, {1.0f, 1.0f, 0.0f, 1.0f}, kGreen, true};
  return look;
}

const DropDown::Look& ovLook() {
  static const DropDown::Look look{{0.0f, 0.0f, 0.0f, 0.0f},  {0.1f, 0.1f, 0.1f, 1.0f},
                                   {0.6f, 0.6f, 0.6f, 0.95f}, {1.0f, 1.0f, 1.0f, 1.0f},
                                   {0.1f, 0.1f, 0.1f, 1.0f},  false};
  return look;
}

std::vector<std::string> valueNames(const ParameterDescriptor& descriptor) {
  std::vector<std::string> names;
  if (descriptor.effect == nullptr || descriptor.index < 0) return names;
  CFRef<CFArray> list;
  const int32_t status = descriptor.effect->GetParameterValueStrings(
      0, static_cast<uint32_t>(descriptor.index), list.out());
  if (status != kAudioUnitNoErr || !list) return names;
  names.reserve(list->count());
  for (size_t i = 0; i < list->count(); ++i) {
    const CFString* name = list->stringAt(i);
    std::string text = name != nullptr ? name->c_str() : "";
    if (text.size() > DropDown::kMaxItemLength) text.resize(DropDown::kMaxItemLength);
    names.push_back(std::move(text));
  }
  return names;
}

}  // namespace

DropDown::DropDown(Manager* manager, int32_t parameterIndex, float x, float y, float width,
                   float height)
    : DropDown(manager, parameterIndex, x, y, width, height, plainLook()) {}

DropDown::DropDown(Manager* manager, int32_t parameterIndex, float x, float y, float width,
                   float height, const Look& look)
    : Control(manager, parameterIndex),
      look_(look),
      items_(valueNames(descriptor_)),
      fieldRun_(&manager->textRuns()) {
  box_ = Bounds::fromRect(x, y, width, height);
  itemRuns_.reserve(items_.size());
  for (size_t i = 0; i < items_.size(); ++i)
    itemRuns_.push_back(std::make_unique<TextRun>(&manager->textRuns()));
}

int DropDown::itemForValue(float plain) const {
  if (items_.empty()) return 0;
  return std::min(std::max(truncToInt(plain), 0), static_cast<int>(items_.size()) - 1);
}

Bounds DropDown::listBounds() const {
  return Bounds::fromRect(listX_ + parentOffset_.x, listBottom_ + parentOffset_.y, listWidth_,
                          listHeight_);
}

Point DropDown::inList(Point point) const {
  return {point.x - listX_, point.y - listBottom_};
}

void DropDown::update() {
  Control::update();
  current_ = itemForValue(currentPlain());
}

void DropDown::mouseDown(Point point, uint32_t modifiers, int clickCount) {
  if (!items_.empty()) {
    const int count = static_cast<int>(items_.size());
    const int current = itemForValue(currentPlain());
    highlighted_ = current;

    // Worked out in window coordinates, where the window's edges are.
    const Bounds box = absoluteBounds();
    itemHeight_ = box.height();
    listWidth_ = box.width();
    listHeight_ = static_cast<float>(count) * itemHeight_;
    float bottom = box.minY - static_cast<float>(count - current - 1) * itemHeight_;
    if (bottom < 0.0f) bottom = 0.0f;
    const float windowHeight = static_cast<float>(manager_->windowSize().height);
    if (bottom + listHeight_ > windowHeight) bottom -= bottom + listHeight_ - windowHeight;

    parentOffset_ = parentOffset();
    listX_ = box.minX - parentOffset_.x;
    listBottom_ = bottom - parentOffset_.y;
  }
  Control::mouseDown(point, modifiers, clickCount);
}

void DropDown::mouseDragged(Point point, uint32_t) {
  if (!isOpen() || itemHeight_ <= 0.0f) return;
  const Point p = inList(point);
  if (p.x < 0.0f || p.x > listWidth_ || p.y < 0.0f || p.y > listHeight_) return;
  const int item = static_cast<int>((listHeight_ - p.y) / itemHeight_);
  // The bottom edge itself belongs to the last item.
  highlighted_ = std::min(item, static_cast<int>(items_.size()) - 1);
}

void DropDown::mouseUp(Point point, uint32_t modifiers) {
  if (isOpen()) {
    const Point p = inList(point);
    if (p.x >= 0.0f && p.x < listWidth_ && p.y >= 0.0f && p.y < listHeight_)
      setPlain(static_cast<float>(highlighted_));
  }
  highlighted_ = -1;
  Control::mouseUp(point, modifiers);
}

void DropDown::drawCentred(TextRun& run, const std::string& text, float centreX, float y,
                           const Colour& colour) const {
  Font* font = manager_->textFieldFont();
  if (font == nullptr) return;
  const float x = std::floor(centreX - 0.5f * font->advance(text));
  run.set(font, text, x, y);
  gl::setColour(colour);
  run.draw(font);
}

void DropDown::draw() {
  if (!visible_) return;
  if (look_.drawOutline) gl::outlineRect(box_.minX, box_.minY, box_.maxX, box_.maxY, look_.outline);
  if (isOpen() || items_.empty()) return;
  drawCentred(fieldRun_, items_[static_cast<size_t>(current_)], box_.centreX(), box_.minY + 2.0f,
              look_.text);
}

void DropDown::drawOverlay() {
  if (!visible_ || !isOpen()) return;
  gl::blendQuad(listX_, listBottom_, listX_ + listWidth_, listBottom_ + listHeight_,
                look_.listBackground);
  const int count = static_cast<int>(items_.size());
  const float centreX = listX_ + 0.5f * listWidth_;
  for (int i = 0; i < count; ++i) {
    const float y = listBottom_ + 1.0f + static_cast<float>(count - 1 - i) * itemHeight_;
    drawCentred(*itemRuns_[static_cast<size_t>(i)], items_[static_cast<size_t>(i)], centreX, y,
                i == highlighted_ ? look_.highlightedText : look_.itemText);
  }
}

OvDropDown::OvDropDown(Manager* manager, int32_t parameterIndex, float x, float y, float width,
                       float height)
    : DropDown(manager, parameterIndex, x, y, width, height, ovLook()) {}

void OvDropDown::drawLabel(Font*) {
  const Bounds box = absoluteBounds();
  gl::fillQuad(box.minX, box.minY, box.maxX, box.maxY, {0.8f, 0.8f, 0.85f, 1.0f});
}

}  // namespace QW
