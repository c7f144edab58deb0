// The "About" panel: the preferences dialog drawn by the editor itself,
// modal inside the editor window. It is made once, closed; while open it
// takes every press and every key, and it draws on top of the editor in the
// second overlay pass. What the dialog stores and does lives in
// PreferencesDialog; the panel draws it and forwards the user's actions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/PreferencesDialog.h"
#include "gui/UIElement.h"
#include "gui/ViewGeometry.h"

class QwkAuBase;

namespace QW {

class Font;
class PreferencesPanelLayout;
class TextRun;

class PreferencesPanel : public UIElement {
 public:
  // effect may be null (then a new port is stored but no service is moved).
  PreferencesPanel(Manager* manager, QwkAuBase* effect);
  ~PreferencesPanel() override;

  // Shows the panel with fresh values from the preferences and takes the
  // keyboard focus.
  void open();
  void close();
  bool isOpen() const { return open_; }
  // The dialog of the current (or last) opening; null before the first.
  const PreferencesDialog* model() const { return model_.get(); }

  // How the web address is opened by every later opening (tests replace the
  // browser); an empty function keeps the dialog's own.
  void setOpenUrl(std::function<bool(const std::string&)> openUrl);

  // The port field's digits are capped so the number always fits an int.
  static constexpr size_t kMaxPortDigits = 9;

  // While open: every point, so nothing behind the panel gets a press.
  UIElement* hitTest(Point point) override;
  bool isModal() const override { return open_; }
  void mouseDown(Point point, uint32_t modifiers, int clickCount) override;
  void mouseDragged(Point point, uint32_t modifiers) override;
  void mouseUp(Point point, uint32_t modifiers) override;
  bool keyPressed(int key) override;
  void focusLost(UIElement* newFocus) override;
  void drawOverlay() override;

 private:
  enum TextSlot : size_t {
    kTitleText,
    kMakerText,
    kWebText,
    kProductText,
    kVersionText,
    kGroupText,
    kPortLabelText,
    kPortFieldText,
    kEyeCandyText,
    kConstantRedrawText,
    kFloatingTooltipText,
    kOkText,
    kTextSlots
  };

  // The size the editor is laid out (and drawn) in: points reach elements
  // mapped to it, so the panel stays put while the window is resized.
  Size canvasSize() const;
  void runCommand(PreferencesDialog::ControlId id);

  // Drawing helpers (render thread).
  void drawButton(int32_t id, const Bounds& box, const std::string& text, TextSlot slot,
                  Font* font);
  void drawCheckBox(const PreferencesPanelLayout& layout, int32_t id, const char* text,
                    TextSlot slot, Font* font);
  void drawText(TextSlot slot, Font* font, const std::string& text, float x, float centreY);
  void drawCentredText(TextSlot slot, Font* font, const std::string& text, const Bounds& box);

  QwkAuBase* effect_;
  std::unique_ptr<PreferencesDialog> model_;
  std::function<bool(const std::string&)> openUrl_;
  bool open_ = false;
  // The clickable control under the press (0: none) and whether the pointer
  // is still over it.
  int32_t pressed_ = 0;
  bool pressedInside_ = false;
  // The port text is selected as a whole until the field is clicked, so the
  // first digit typed replaces it.
  bool selectAll_ = false;
  std::vector<std::unique_ptr<TextRun>> runs_;
};

// Opens the editor's preferences panel, making it the first time: it is put
// in front of the root group's children so it is hit-tested before them.
PreferencesPanel* openPreferencesPanel(Manager& manager, QwkAuBase* effect);

}  // namespace QW
