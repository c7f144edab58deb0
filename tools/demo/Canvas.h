// An RGB picture to draw a plot on, saved as PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace demo {

struct Colour {
  uint8_t r, g, b;
};

class Canvas {
 public:
  Canvas(int width, int height, Colour background);

  int width() const { return width_; }
  int height() const { return height_; }

  // `alpha` from 0 (nothing) to 1 (opaque).
  void blend(int x, int y, Colour colour, float alpha);
  void fillRect(int x0, int y0, int x1, int y1, Colour colour, float alpha = 1.0f);
  void horizontalLine(int x0, int x1, int y, Colour colour, float alpha = 1.0f);
  void verticalLine(int x, int y0, int y1, Colour colour, float alpha = 1.0f);
  // Anti-aliased, `width` pixels thick.
  void line(float x0, float y0, float x1, float y1, float width, Colour colour);
  // Top-left at (x, y); every font pixel becomes scale x scale pixels.
  void text(int x, int y, const std::string& text, Colour colour, int scale = 2);
  static int textWidth(const std::string& text, int scale = 2);
  // Cap height; descenders reach below it.
  static int textHeight(int scale = 2);

  // Throws std::runtime_error when the file cannot be written.
  void savePng(const std::string& path) const;

 private:
  int width_;
  int height_;
  std::vector<uint8_t> pixels_;  // RGB rows
};

}  // namespace demo
