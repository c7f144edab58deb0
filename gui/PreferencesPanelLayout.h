// Where the parts of the "About" panel sit in the editor: the dialog's
// rectangles, given in dialog units (origin top left of the client area, y
// down), turned into editor pixels (origin bottom left, y up) and centred in
// the window, and the control a click lands on. Plain arithmetic, so it can
// be checked without a display.
#pragma once

#include <cstdint>

#include "core/PreferencesDialog.h"
#include "gui/Bounds.h"
#include "gui/InputRecord.h"
#include "gui/ViewGeometry.h"

namespace QW {

class PreferencesPanelLayout {
 public:
  // The dialog's client area and the caption bar drawn above it.
  static constexpr float kDialogWidth = 200.0f;
  static constexpr float kDialogHeight = 193.0f;
  static constexpr float kTitleHeight = 12.0f;
  // Pixels per dialog unit when the window has room for it.
  static constexpr float kPreferredScale = 2.0f;
  // Room kept free around the panel (pixels, less in tiny windows).
  static constexpr float kMargin = 8.0f;
  // What hitTest answers for a point on no control.
  static constexpr int32_t kNoControl = 0;

  explicit PreferencesPanelLayout(Size window);

  // Pixels per dialog unit.
  float scale() const { return scale_; }
  const Bounds& window() const { return window_; }
  // The whole panel: caption bar and client area.
  const Bounds& panel() const { return panel_; }
  const Bounds& titleBar() const { return titleBar_; }

  // The rectangle of a control of the dialog; empty for an id it lacks.
  Bounds box(int32_t id) const;
  // The square of a check box, at the left of its row.
  Bounds checkSquare(int32_t id) const;
  // The control that takes a click at point: the web-address button, the
  // port field, a check box or OK; kNoControl elsewhere (statics and the
  // group box take no clicks).
  int32_t hitTest(Point point) const;

  static bool isCheckBox(int32_t id) {
    return id == PreferencesDialog::kEyeCandy || id == PreferencesDialog::kConstantRedraw ||
           id == PreferencesDialog::kFloatingTooltip;
  }
  // Controls that act when released over the place they were pressed.
  static bool isClickable(int32_t id) {
    return id == PreferencesDialog::kWebAddress || id == PreferencesDialog::kOk || isCheckBox(id);
  }

 private:
  Bounds window_;
  Bounds panel_;
  Bounds titleBar_;
  float scale_ = kPreferredScale;
  float clientLeft_ = 0.0f;
  float clientTop_ = 0.0f;
};

}  // namespace QW
