// Drop-downs: a press opens the list of the parameter's value names over
// the control, the current item over the field; dragging highlights an item
// and releasing inside the list chooses it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gui/Control.h"
#include "gui/TextRun.h"

namespace QW {

class DropDown : public Control {
 public:
  // The colours a drop-down draws with.
  struct Look {
    Colour outline;
    Colour text;
    Colour listBackground;
    Colour highlightedText;
    Colour itemText;
    bool drawOutline;
  };

  // Longest item text kept; longer names are cut.
  static constexpr size_t kMaxItemLength = 127;

  DropDown(Manager* manager, int32_t parameterIndex, float x, float y, float width, float height);

  const std::vector<std::string>& items() const { return items_; }
  // The item under the pointer while the list is open, -1 when closed.
  int highlighted() const { return highlighted_; }
  bool isOpen() const { return highlighted_ >= 0; }
  // The open list's box in window coordinates.
  Bounds listBounds() const;

  void update() override;
  void draw() override;
  void drawOverlay() override;
  void mouseDown(Point point, uint32_t modifiers, int clickCount) override;
  void mouseDragged(Point point, uint32_t modifiers) override;
  void mouseUp(Point point, uint32_t modifiers) override;

 protected:
  DropDown(Manager* manager, int32_t parameterIndex, float x, float y, float width, float height,
           const Look& look);

 private:
  // The item the parameter's value names, clamped into the list.
  int itemForValue(float plain) const;
  // Point relative to the list's lower-left corner (parent coordinates).
  Point inList(Point point) const;
  void drawCentred(TextRun& run, const std::string& text, float centreX, float y,
                   const Colour& colour) const;

  Look look_;
  std::vector<std::string> items_;
  int highlighted_ = -1;
  int current_ = 0;
  // List geometry, in the control's parent coordinates.
  float listX_ = 0.0f;
  float listBottom_ = 0.0f;
  float listWidth_ = 0.0f;
  float listHeight_ = 0.0f;
  float itemHeight_ = 0.0f;
  Point parentOffset_;
  TextRun fieldRun_;
  std::vector<std::unique_ptr<TextRun>> itemRuns_;
};

// The drop-down of this plug-in's editor: a light field drawn into the
// layer picture with dark text, and a grey list.
class OvDropDown : public DropDown {
 public:
  OvDropDown(Manager* manager, int32_t parameterIndex, float x, float y, float width, float height);

  void drawLabel(Font* font) override;
};

}  // namespace QW
