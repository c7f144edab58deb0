// A line of text on a box, drawn once into the layer picture. It measures
// itself with the label font when made, so the layout script can size
// around it; without a label font it stays an empty box.
#pragma once

#include <string>

#include "gui/TextRun.h"
#include "gui/UIElement.h"

namespace QW {

enum class LabelAlign { kLeft, kCentre, kRight };

class Label : public ControlBase {
 public:
  // A width of 0 sizes the box to the text and places it by align at x; a
  // height of 0 sizes it to the font with y as its top edge, else y is its
  // bottom edge.
  Label(Manager* manager, std::string text, float x, float y, LabelAlign align, float width,
        float height);

  // Where a label's box and text go, from the text's measured width and the
  // height of "M" (pure arithmetic, so it can be checked without a font).
  struct Geometry {
    Bounds box;
    float insetX = 0.0f;
    float insetY = 0.0f;
  };
  static Geometry layout(float textWidth, float emHeight, float x, float y, LabelAlign align,
                         float width, float height);

  const std::string& text() const { return text_; }
  float insetX() const { return insetX_; }
  float insetY() const { return insetY_; }
  const Colour& backgroundColour() const { return background_; }
  const Colour& foregroundColour() const { return foreground_; }
  void setBackgroundColour(const Colour& colour) { background_ = colour; }
  void setForegroundColour(const Colour& colour) { foreground_ = colour; }

  void drawLabel(Font* font) override;

 private:
  std::string text_;
  Colour background_{1.0f, 1.0f, 1.0f, 1.0f};
  Colour foreground_{0.0f, 0.0f, 0.0f, 1.0f};
  float insetX_ = 0.0f;
  float insetY_ = 0.0f;
  TextRun run_;
};

}  // namespace QW
