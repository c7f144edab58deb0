#include "gui/PreferencesPanel.h"

#include <algorithm>
#include <mutex>

#include "core/QwkAuBase.h"
#include "gui/GlDraw.h"
#include "gui/KeyTranslation.h"
#include "gui/Manager.h"
#include "gui/PreferencesPanelLayout.h"
#include "gui/TextRun.h"
#include "platform/Preferences.h"

namespace QW {

namespace {

using Id = PreferencesDialog::ControlId;

// Enter as some keyboards send it, besides the editor's own key codes.
constexpr int kKeyEnter = 3;

constexpr Colour kDimColour{0.0f, 0.0f, 0.0f, 0.55f};
constexpr Colour kFaceColour{0.17f, 0.14f, 0.2f, 1.0f};
constexpr Colour kTitleBarColour{0.32f, 0.22f, 0.38f, 1.0f};
constexpr Colour kFrameColour{0.8f, 0.75f, 0.7f, 0.8f};
constexpr Colour kGroupColour{0.5f, 0.5f, 0.7f, 0.8f};
constexpr Colour kTextColour{0.9f, 0.9f, 0.9f, 1.0f};
constexpr Colour kButtonColour{0.3f, 0.3f, 0.3f, 0.6f};
constexpr Colour kPressedColour{0.8f, 0.4f, 0.1f, 0.6f};
constexpr Colour kFieldColour{0.8f, 0.8f, 0.85f, 1.0f};
constexpr Colour kFieldTextColour{0.1f, 0.1f, 0.1f, 1.0f};
constexpr Colour kSelectionColour{0.2f, 0.35f, 0.75f, 1.0f};
constexpr Colour kSelectedTextColour{1.0f, 1.0f, 1.0f, 1.0f};

// The address as the button shows it: without the scheme, which only makes
// it longer than the button.
std::string shownAddress() {
  const std::string url = PreferencesDialog::kWebAddressUrl;
  const std::string::size_type scheme = url.find("://");
  return scheme == std::string::npos ? url : url.substr(scheme + 3);
}

// The pen's y that centres a line of the font on centreY.
float baselineFor(const Font* font, float centreY) {
  return centreY - 0.5f * (font->ascender() + font->descender());
}

}  // namespace

PreferencesPanel::PreferencesPanel(Manager* manager, QwkAuBase* effect)
    : UIElement(manager), effect_(effect) {
  runs_.reserve(kTextSlots);
  for (size_t i = 0; i < kTextSlots; ++i) {
    runs_.push_back(std::make_unique<TextRun>(&manager->textRuns()));
  }
}

PreferencesPanel::~PreferencesPanel() = default;

void PreferencesPanel::setOpenUrl(std::function<bool(const std::string&)> openUrl) {
  openUrl_ = std::move(openUrl);
}

Size PreferencesPanel::canvasSize() const {
  const Size design = manager_->designSize();
  // Before the view geometry is computed the design size is a placeholder.
  if (design.width > 1 && design.height > 1) return design;
  return manager_->windowSize();
}

void PreferencesPanel::open() {
  const std::lock_guard<SceneMutex> lock(manager_->sceneMutex());
  if (!open_) {
    model_ = std::make_unique<PreferencesDialog>(effect_, platform::Preferences());
    if (openUrl_) model_->openUrl = openUrl_;
    selectAll_ = true;
    pressed_ = 0;
    pressedInside_ = false;
    open_ = true;
    // A box over the whole canvas keeps hover tracking settled on the panel.
    setBounds(PreferencesPanelLayout(canvasSize()).window());
  }
  // The panel is opened from a button's release, after which the manager
  // tracks nothing, so no control is left pressed behind the panel.
  manager_->setKeyFocus(this);
}

void PreferencesPanel::close() {
  const std::lock_guard<SceneMutex> lock(manager_->sceneMutex());
  open_ = false;
  pressed_ = 0;
  pressedInside_ = false;
  setBounds(Bounds{});
  if (manager_->keyFocus() == this) manager_->setKeyFocus(nullptr);
}

void PreferencesPanel::runCommand(PreferencesDialog::ControlId id) {
  if (!model_) return;
  if (model_->command(id) != PreferencesDialog::kOpen) close();
}

UIElement* PreferencesPanel::hitTest(Point /*point*/) {
  return open_ ? this : nullptr;
}

void PreferencesPanel::mouseDown(Point point, uint32_t /*modifiers*/, int /*clickCount*/) {
  if (!open_) return;
  // The manager drops the key focus on every press before it gets here.
  manager_->setKeyFocus(this);
  const int32_t id = PreferencesPanelLayout(canvasSize()).hitTest(point);
  if (id == Id::kBasePortField) selectAll_ = false;
  pressed_ = PreferencesPanelLayout::isClickable(id) ? id : 0;
  pressedInside_ = pressed_ != 0;
}

void PreferencesPanel::mouseDragged(Point point, uint32_t /*modifiers*/) {
  if (!open_ || pressed_ == 0) return;
  pressedInside_ = PreferencesPanelLayout(canvasSize()).hitTest(point) == pressed_;
}

void PreferencesPanel::mouseUp(Point point, uint32_t /*modifiers*/) {
  if (!open_) return;
  const int32_t pressed = pressed_;
  pressed_ = 0;
  pressedInside_ = false;
  // Like a push button: it acts only when released where it was pressed.
  if (pressed != 0 && PreferencesPanelLayout(canvasSize()).hitTest(point) == pressed) {
    runCommand(static_cast<PreferencesDialog::ControlId>(pressed));
  }
}

bool PreferencesPanel::keyPressed(int key) {
  if (!open_ || !model_) return false;
  std::string& text = model_->portText;
  if (key >= '0' && key <= '9') {
    if (selectAll_) text.clear();
    selectAll_ = false;
    if (text.size() < kMaxPortDigits) text.push_back(static_cast<char>(key));
    return true;
  }
  switch (key) {
    case kKeyBackspace:
      if (selectAll_) {
        text.clear();
      } else if (!text.empty()) {
        text.pop_back();
      }
      selectAll_ = false;
      return true;
    case kKeyReturn:
    case kKeyEnter:
      runCommand(Id::kOk);
      return true;
    case kKeyEscape:
      runCommand(Id::kCancel);
      return true;
    default:
      return false;
  }
}

void PreferencesPanel::focusLost(UIElement* /*newFocus*/) {
  // Stays open: the manager drops the focus on every press and the panel
  // takes it back in mouseDown.
}

// ---- Drawing ----

void PreferencesPanel::drawText(TextSlot slot, Font* font, const std::string& text, float x,
                                float centreY) {
  if (font == nullptr) return;
  TextRun& run = *runs_[slot];
  run.set(font, text, x, baselineFor(font, centreY));
  run.draw(font);
}

void PreferencesPanel::drawCentredText(TextSlot slot, Font* font, const std::string& text,
                                       const Bounds& box) {
  if (font == nullptr) return;
  drawText(slot, font, text, box.centreX() - 0.5f * font->advance(text), box.centreY());
}

void PreferencesPanel::drawButton(int32_t id, const Bounds& box, const std::string& text,
                                  TextSlot slot, Font* font) {
  const bool down = pressed_ == id && pressedInside_;
  gl::blendQuad(box.minX, box.minY, box.maxX, box.maxY, down ? kPressedColour : kButtonColour);
  gl::outlineRect(box.minX, box.minY, box.maxX, box.maxY, kFrameColour);
  gl::setColour(kTextColour);
  drawCentredText(slot, font, text, box);
}

void PreferencesPanel::drawCheckBox(const PreferencesPanelLayout& layout, int32_t id,
                                    const char* text, TextSlot slot, Font* font) {
  const Bounds square = layout.checkSquare(id);
  const bool down = pressed_ == id && pressedInside_;
  gl::fillQuad(square.minX, square.minY, square.maxX, square.maxY,
               down ? kPressedColour : kFieldColour);
  gl::outlineRect(square.minX, square.minY, square.maxX, square.maxY, kFrameColour);
  if (model_->checked(static_cast<PreferencesDialog::ControlId>(id))) {
    const float w = square.width();
    const float h = square.height();
    const Point tick[] = {{square.minX + 0.2f * w, square.minY + 0.5f * h},
                          {square.minX + 0.42f * w, square.minY + 0.22f * h},
                          {square.minX + 0.8f * w, square.minY + 0.8f * h}};
    gl::lineStrip(tick, 3, kFieldTextColour);
  }
  gl::setColour(kTextColour);
  drawText(slot, font, text, square.maxX + 0.5f * square.width(), square.centreY());
}

void PreferencesPanel::drawOverlay() {
  if (!open_ || !model_) return;
  const PreferencesPanelLayout layout(canvasSize());
  Font* font = manager_->mainFont() ? manager_->mainFont() : manager_->textFieldFont();
  Font* fieldFont = manager_->textFieldFont() ? manager_->textFieldFont() : font;
  // The label font is left alone: its glyphs may belong to the layer
  // picture's context when the layer is drawn off-screen.

  const Bounds& window = layout.window();
  gl::blendQuad(window.minX, window.minY, window.maxX, window.maxY, kDimColour);

  const Bounds& panel = layout.panel();
  const Bounds& title = layout.titleBar();
  gl::fillQuad(panel.minX, panel.minY, panel.maxX, panel.maxY, kFaceColour);
  gl::fillQuad(title.minX, title.minY, title.maxX, title.maxY, kTitleBarColour);
  gl::outlineRect(panel.minX, panel.minY, panel.maxX, panel.maxY, kFrameColour);
  gl::setColour(kTextColour);
  drawText(kTitleText, font, "About", title.minX + 4.0f * layout.scale(), title.centreY());

  const auto labelAt = [&](TextSlot slot, int32_t id, const std::string& text) {
    const Bounds box = layout.box(id);
    gl::setColour(kTextColour);
    drawText(slot, font, text, box.minX, box.centreY());
  };
  labelAt(kMakerText, Id::kMakerLabel, "Quillworks");
  labelAt(kProductText, Id::kProductLabel, model_->productText());
  labelAt(kVersionText, Id::kVersionLabel, model_->versionText());
  drawButton(Id::kWebAddress, layout.box(Id::kWebAddress), shownAddress(), kWebText, font);

  // The group box: a frame whose top edge runs through the middle of its
  // title, with a gap where the title stands.
  const Bounds group = layout.box(Id::kPreferencesGroup);
  const std::string groupTitle = "Preferences";
  const float top = font ? group.maxY - 0.5f * font->lineHeight() : group.maxY;
  const float titleX = group.minX + 4.0f * layout.scale();
  const float gapEnd = font ? titleX + font->advance(groupTitle) + 2.0f : group.minX;
  const Point frame[] = {{gapEnd, top},
                         {group.maxX, top},
                         {group.maxX, group.minY},
                         {group.minX, group.minY},
                         {group.minX, top},
                         {font ? titleX - 2.0f : gapEnd, top}};
  gl::lineStrip(frame, 6, kGroupColour);
  gl::setColour(kTextColour);
  drawText(kGroupText, font, groupTitle, titleX, top);

  labelAt(kPortLabelText, Id::kBasePortLabel, "OSC Base Port:");

  const Bounds field = layout.box(Id::kBasePortField);
  gl::fillQuad(field.minX, field.minY, field.maxX, field.maxY, kFieldColour);
  gl::outlineRect(field.minX, field.minY, field.maxX, field.maxY, kFrameColour);
  const float textX = field.minX + 3.0f;
  if (fieldFont != nullptr) {
    const std::string& text = model_->portText;
    const float textEnd = textX + fieldFont->advance(text);
    if (selectAll_ && !text.empty()) {
      gl::fillQuad(textX - 1.0f, field.minY + 2.0f, textEnd + 1.0f, field.maxY - 2.0f,
                   kSelectionColour);
    }
    gl::setColour(selectAll_ ? kSelectedTextColour : kFieldTextColour);
    drawText(kPortFieldText, fieldFont, text, textX, field.centreY());
    if (!selectAll_) {
      const Point caret[] = {{textEnd + 1.0f, field.minY + 3.0f},
                             {textEnd + 1.0f, field.maxY - 3.0f}};
      gl::lineStrip(caret, 2, kFieldTextColour);
    }
  }

  drawCheckBox(layout, Id::kEyeCandy, "Eye candy", kEyeCandyText, font);
  drawCheckBox(layout, Id::kConstantRedraw, "Constant redraw", kConstantRedrawText, font);
  drawCheckBox(layout, Id::kFloatingTooltip, "Floating tooltip", kFloatingTooltipText, font);

  // The default button carries a second frame, as dialogs mark it.
  const Bounds ok = layout.box(Id::kOk);
  drawButton(Id::kOk, ok, "OK", kOkText, font);
  gl::outlineRect(ok.minX - 1.0f, ok.minY - 1.0f, ok.maxX + 1.0f, ok.maxY + 1.0f, kFrameColour);
}

// ---- The view's hook ----

PreferencesPanel* openPreferencesPanel(Manager& manager, QwkAuBase* effect) {
  const std::lock_guard<SceneMutex> lock(manager.sceneMutex());
  PreferencesPanel* panel = nullptr;
  for (UIElement* child : manager.root()->children()) {
    panel = dynamic_cast<PreferencesPanel*>(child);
    if (panel != nullptr) break;
  }
  if (panel == nullptr) {
    panel = manager.create<PreferencesPanel>(effect);
    manager.root()->addFirst(panel);
  }
  panel->open();
  return panel;
}

}  // namespace QW
