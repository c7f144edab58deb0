#include "tools/demo/Canvas.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "tools/demo/BitmapFont.h"

namespace demo {

namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

// libpng's structures are freed together, whatever stage writing reached.
class PngWriter {
 public:
  PngWriter() {
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png_) info_ = png_create_info_struct(png_);
    if (!png_ || !info_) throw std::runtime_error("out of memory for PNG");
  }
  ~PngWriter() { png_destroy_write_struct(&png_, &info_); }
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

uint8_t mix(uint8_t under, uint8_t over, float alpha) {
  return static_cast<uint8_t>(std::lround(under + (over - under) * alpha));
}

// Distance from (px, py) to the segment (x0, y0)-(x1, y1).
float segmentDistance(float px, float py, float x0, float y0, float x1, float y1) {
  const float dx = x1 - x0, dy = y1 - y0;
  const float lengthSquared = dx * dx + dy * dy;
  float t = lengthSquared > 0 ? ((px - x0) * dx + (py - y0) * dy) / lengthSquared : 0.0f;
  t = std::clamp(t, 0.0f, 1.0f);
  return std::hypot(px - (x0 + t * dx), py - (y0 + t * dy));
}

}  // namespace

Canvas::Canvas(int width, int height, Colour background)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height * 3) {
  for (size_t i = 0; i < pixels_.size(); i += 3) {
    pixels_[i] = background.r;
    pixels_[i + 1] = background.g;
    pixels_[i + 2] = background.b;
  }
}

void Canvas::blend(int x, int y, Colour colour, float alpha) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || alpha <= 0.0f) return;
  alpha = std::min(alpha, 1.0f);
  uint8_t* p = &pixels_[(static_cast<size_t>(y) * width_ + x) * 3];
  p[0] = mix(p[0], colour.r, alpha);
  p[1] = mix(p[1], colour.g, alpha);
  p[2] = mix(p[2], colour.b, alpha);
}

void Canvas::fillRect(int x0, int y0, int x1, int y1, Colour colour, float alpha) {
  for (int y = std::min(y0, y1); y <= std::max(y0, y1); ++y)
    for (int x = std::min(x0, x1); x <= std::max(x0, x1); ++x) blend(x, y, colour, alpha);
}

void Canvas::horizontalLine(int x0, int x1, int y, Colour colour, float alpha) {
  fillRect(x0, y, x1, y, colour, alpha);
}

void Canvas::verticalLine(int x, int y0, int y1, Colour colour, float alpha) {
  fillRect(x, y0, x, y1, colour, alpha);
}

void Canvas::line(float x0, float y0, float x1, float y1, float width, Colour colour) {
  const float half = width / 2.0f;
  const int left = static_cast<int>(std::floor(std::min(x0, x1) - half - 1));
  const int right = static_cast<int>(std::ceil(std::max(x0, x1) + half + 1));
  const int top = static_cast<int>(std::floor(std::min(y0, y1) - half - 1));
  const int bottom = static_cast<int>(std::ceil(std::max(y0, y1) + half + 1));
  for (int y = top; y <= bottom; ++y)
    for (int x = left; x <= right; ++x) {
      const float d = segmentDistance(x + 0.5f, y + 0.5f, x0, y0, x1, y1);
      const float coverage = std::clamp(half + 0.5f - d, 0.0f, 1.0f);
      // Consecutive segments overlap at their joints; taking the larger
      // coverage would need a mask, so joints are simply drawn twice.
      blend(x, y, colour, coverage);
    }
}

void Canvas::text(int x, int y, const std::string& text, Colour colour, int scale) {
  for (const char c : text) {
    const char* const* rows = glyphRows(c);
    for (int row = 0; row < kGlyphHeight; ++row)
      for (int column = 0; column < kGlyphWidth; ++column)
        if (rows[row][column] == '#')
          fillRect(x + column * scale, y + row * scale, x + (column + 1) * scale - 1,
                   y + (row + 1) * scale - 1, colour);
    x += (kGlyphWidth + 1) * scale;
  }
}

int Canvas::textWidth(const std::string& text, int scale) {
  if (text.empty()) return 0;
  return static_cast<int>(text.size()) * (kGlyphWidth + 1) * scale - scale;
}

int Canvas::textHeight(int scale) {
  return kGlyphAscent * scale;
}

void Canvas::savePng(const std::string& path) const {
  const std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) throw std::runtime_error("cannot write " + path);
  PngWriter writer;
  // libpng reports errors by longjmp; nothing with a destructor is created
  // between here and the end of the writing.
  if (setjmp(png_jmpbuf(writer.png()))) throw std::runtime_error("cannot write PNG " + path);
  png_init_io(writer.png(), file.get());
  png_set_IHDR(writer.png(), writer.info(), static_cast<png_uint_32>(width_),
               static_cast<png_uint_32>(height_), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(writer.png(), writer.info());
  for (int y = 0; y < height_; ++y)
    png_write_row(writer.png(), &pixels_[static_cast<size_t>(y) * width_ * 3]);
  png_write_end(writer.png(), writer.info());
}

}  // namespace demo
