#include "gui/PreferencesPanelLayout.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace QW {

namespace {

struct DialogItem {
  int32_t id;
  float x;
  float y;
  float width;
  float height;
};

using Id = PreferencesDialog::ControlId;

// The dialog's controls in dialog units, top left of the client area.
constexpr DialogItem kItems[] = {
    {Id::kMakerLabel, 8, 10, 70, 10},
    {Id::kWebAddress, 70, 8, 120, 12},
    {Id::kProductLabel, 8, 22, 70, 10},
    {Id::kVersionLabel, 8, 34, 70, 10},
    {Id::kPreferencesGroup, 8, 110, 184, 62},
    {Id::kBasePortLabel, 12, 122, 70, 10},
    {Id::kBasePortField, 87, 122, 50, 12},
    {Id::kEyeCandy, 12, 137, 176, 10},
    {Id::kConstantRedraw, 12, 147, 176, 10},
    {Id::kFloatingTooltip, 12, 157, 176, 10},
    {Id::kOk, 80, 177, 40, 12},
};

// Asked in this order; the first box holding the point wins.
constexpr int32_t kClickOrder[] = {Id::kWebAddress,     Id::kBasePortField,   Id::kEyeCandy,
                                   Id::kConstantRedraw, Id::kFloatingTooltip, Id::kOk};

const DialogItem* findItem(int32_t id) {
  const auto it = std::find_if(std::begin(kItems), std::end(kItems),
                               [id](const DialogItem& item) { return item.id == id; });
  return it == std::end(kItems) ? nullptr : it;
}

}  // namespace

PreferencesPanelLayout::PreferencesPanelLayout(Size window) {
  const float width = static_cast<float>(std::max(window.width, 1));
  const float height = static_cast<float>(std::max(window.height, 1));
  window_ = Bounds::fromRect(0.0f, 0.0f, width, height);

  // A window smaller than the panel at two pixels a unit shrinks the panel
  // as a whole rather than cutting it off; the margin shrinks with tiny
  // windows so the scale never reaches zero.
  const float margin = std::min(kMargin, 0.05f * std::min(width, height));
  const float fitX = (width - 2.0f * margin) / kDialogWidth;
  const float fitY = (height - 2.0f * margin) / (kDialogHeight + kTitleHeight);
  scale_ = std::min({kPreferredScale, fitX, fitY});

  const float panelWidth = kDialogWidth * scale_;
  const float panelHeight = (kDialogHeight + kTitleHeight) * scale_;
  // Whole pixels for the corner keep the outlines crisp.
  const float left = std::floor((width - panelWidth) * 0.5f);
  const float bottom = std::floor((height - panelHeight) * 0.5f);
  panel_ = Bounds::fromRect(left, bottom, panelWidth, panelHeight);
  titleBar_ = Bounds::fromRect(left, panel_.maxY - kTitleHeight * scale_, panelWidth,
                               kTitleHeight * scale_);
  clientLeft_ = left;
  clientTop_ = titleBar_.minY;
}

Bounds PreferencesPanelLayout::box(int32_t id) const {
  const DialogItem* item = findItem(id);
  if (item == nullptr) return Bounds{};
  const float x0 = clientLeft_ + item->x * scale_;
  const float x1 = clientLeft_ + (item->x + item->width) * scale_;
  const float y1 = clientTop_ - item->y * scale_;
  const float y0 = clientTop_ - (item->y + item->height) * scale_;
  return {x0, y0, 0.0f, x1, y1, 0.0f};
}

Bounds PreferencesPanelLayout::checkSquare(int32_t id) const {
  if (!isCheckBox(id)) return Bounds{};
  const Bounds row = box(id);
  const float side = 0.8f * row.height();
  return Bounds::fromRect(row.minX, row.centreY() - side * 0.5f, side, side);
}

int32_t PreferencesPanelLayout::hitTest(Point point) const {
  if (!panel_.contains(point)) return kNoControl;
  for (const int32_t id : kClickOrder) {
    if (box(id).contains(point)) return id;
  }
  return kNoControl;
}

}  // namespace QW
