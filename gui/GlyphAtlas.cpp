#include "gui/GlyphAtlas.h"

#include <algorithm>
#include <cstring>

namespace QW {

GlyphAtlas::GlyphAtlas(int width, int maxHeight)
    : width_(std::max(1, width)),
      maxHeight_(std::max(1, maxHeight)),
      height_(std::min(64, maxHeight_)),
      pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0) {}

bool GlyphAtlas::grow(int neededHeight) {
  int height = height_;
  while (height < neededHeight && height < maxHeight_) height = std::min(height * 2, maxHeight_);
  if (height < neededHeight) return false;
  // Rows are whole and top first, so growing only appends zeroed rows.
  pixels_.resize(static_cast<size_t>(width_) * static_cast<size_t>(height), 0);
  height_ = height;
  ++revision_;
  return true;
}

bool GlyphAtlas::add(const unsigned char* rows, int pitch, int width, int height, Slot& slot) {
  if (width <= 0 || height <= 0) {
    slot = {};
    return true;
  }
  if (width + 2 * kPadding > width_) return false;
  if (shelfX_ + width + kPadding > width_) {
    shelfY_ += shelfHeight_ + kPadding;
    shelfX_ = kPadding;
    shelfHeight_ = 0;
  }
  const int bottom = shelfY_ + height + kPadding;
  if (bottom > height_ && !grow(bottom)) return false;

  slot = {shelfX_, shelfY_};
  for (int row = 0; row < height; ++row) {
    const unsigned char* source = rows + static_cast<std::ptrdiff_t>(row) * pitch;
    uint8_t* target =
        pixels_.data() + static_cast<size_t>(slot.y + row) * static_cast<size_t>(width_) + slot.x;
    std::memcpy(target, source, static_cast<size_t>(width));
  }
  shelfX_ += width + kPadding;
  shelfHeight_ = std::max(shelfHeight_, height);
  ++revision_;
  return true;
}

}  // namespace QW
