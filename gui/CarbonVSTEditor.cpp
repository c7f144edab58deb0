#include "gui/CarbonVSTEditor.h"

#include <X11/Xlib.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "core/AudioEffectX.h"
#include "gui/KeyTranslation.h"
#include "gui/LuaGui.h"
#include "gui/ManagerX11Bridge.h"
#include "platform/Diagnostics.h"
#include "platform/X11ChildWindow.h"

namespace QW {

namespace {

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Our window's event in the portable form; false for events that carry no
// input.
bool toWindowEvent(platform::X11ChildWindow& window, XEvent& x, WindowEvent& out) {
  switch (x.type) {
    case ButtonPress:
    case ButtonRelease:
      out.kind = x.type == ButtonPress ? WindowEvent::Kind::kButtonPress
                                       : WindowEvent::Kind::kButtonRelease;
      out.x = x.xbutton.x;
      out.y = x.xbutton.y;
      out.button = x.xbutton.button;
      out.state = x.xbutton.state;
      out.timeMs = static_cast<uint32_t>(x.xbutton.time);
      return true;
    case MotionNotify:
      out.kind = WindowEvent::Kind::kMotion;
      out.x = x.xmotion.x;
      out.y = x.xmotion.y;
      out.state = x.xmotion.state;
      out.timeMs = static_cast<uint32_t>(x.xmotion.time);
      return true;
    case KeyPress:
      out.kind = WindowEvent::Kind::kKeyPress;
      out.state = x.xkey.state;
      out.timeMs = static_cast<uint32_t>(x.xkey.time);
      out.text = window.keyText(x.xkey, out.keysym);
      return true;
    case LeaveNotify:
      // Into a window of our own is not out of the editor.
      // Nor is the host taking the window away: its teardown is under way.
      if (x.xcrossing.detail == NotifyInferior || window.destructionQueued()) return false;
      out.kind = WindowEvent::Kind::kLeave;
      return true;
    case FocusOut:
      // Focus moving within our own window or following the pointer is not
      // a loss.
      if (x.xfocus.detail == NotifyInferior || x.xfocus.detail == NotifyPointer) return false;
      out.kind = WindowEvent::Kind::kFocusOut;
      return true;
    default:
      return false;
  }
}

}  // namespace

CarbonVSTEditor::CarbonVSTEditor(AudioEffect* effect, int16_t width, int16_t height)
    : AEffEditor(effect) {
  setSize(width, height);
}

CarbonVSTEditor::~CarbonVSTEditor() {
  close();
}

void CarbonVSTEditor::setSize(int16_t width, int16_t height) {
  rect_ = {0, 0, height, width};
}

bool CarbonVSTEditor::getRect(vst::ERect** rect) {
  if (!rect) return false;
  if (manager_) {
    const Size size = manager_->windowSize();
    rect_ = {0, 0, static_cast<int16_t>(size.height), static_cast<int16_t>(size.width)};
  }
  *rect = &rect_;
  return true;
}

bool CarbonVSTEditor::open(void* parent) {
  // Hosts may open again without closing; start afresh in the new parent.
  close();
  std::unique_ptr<Manager> manager = createManager();
  if (!manager) {
    luaGui_.reset();
    platform::showError("the editor cannot open: no interface was built");
    return false;
  }
  manager->computeViewGeometry();
  const vst::ERect r = manager->rect();

  std::string whyNot;
  window_ =
      platform::X11ChildWindow::create(static_cast<Window>(reinterpret_cast<uintptr_t>(parent)),
                                       r.right - r.left, r.bottom - r.top, whyNot);
  if (!window_) {
    platform::showError("the editor cannot open: " + whyNot);
    // The script host refers to the manager's elements: it goes first.
    luaGui_.reset();
    return false;
  }
  input_ = WindowInput();
  lastServicedMs_ = nowMs();

  // When the host does not idle, input and with it these calls come from
  // the render thread, one at a time under the window's lock (see
  // docs/architecture.md, "Editor threads").
  Manager::PlatformCallbacks callbacks;
  if (auto* effectX = dynamic_cast<AudioEffectX*>(effect_)) {
    callbacks.beginEdit = [effectX](int32_t index) { effectX->beginEdit(index); };
    callbacks.endEdit = [effectX](int32_t index) { effectX->endEdit(index); };
  }
  // Xlib grabs the pointer for us while a button is held; nothing to do.
  callbacks.setCapture = [] {};
  callbacks.releaseCapture = [] {};
  manager->setPlatform(
      std::make_unique<ManagerX11Bridge>(*window_, [this] { serviceFromRenderThread(); }),
      std::move(callbacks));
  manager_ = std::move(manager);
  systemWindow_ = parent;
  manager_->CreateRenderTask();
  // Like every VST 2.4 editor built on the SDK's default; hosts see the
  // child window appear in theirs.
  return false;
}

void CarbonVSTEditor::close() {
  // The render thread may be servicing the window (and through it run
  // script callbacks); it stops first, after the frame it is drawing. Then
  // the script host goes, then the elements it made.
  if (manager_) manager_->StopRenderTask();
  luaGui_.reset();
  manager_.reset();
  window_.reset();
  systemWindow_ = nullptr;
}

void CarbonVSTEditor::idle() {
  if (!window_) return;
  lastServicedMs_ = nowMs();
  pumpEvents();
}

void CarbonVSTEditor::serviceFromRenderThread() {
  if (nowMs() - lastServicedMs_.load() < kIdleGrace.count()) return;
  pumpEvents();
}

void CarbonVSTEditor::pumpEvents() {
  std::lock_guard<std::recursive_mutex> lock(window_->mutex());
  std::vector<InputRecord> records;
  XEvent x;
  while (window_->nextEvent(x)) {
    // The server may have lost what was drawn (the window just shown, or
    // uncovered, or resized); an editor that draws only on change must
    // draw again.
    if (x.type == Expose || x.type == MapNotify || x.type == ConfigureNotify)
      manager_->notePictureChange();
    WindowEvent event;
    if (!toWindowEvent(*window_, x, event)) continue;
    records.clear();
    input_.translate(event, window_->height(), records);
    for (const InputRecord& record : records) manager_->dispatch(record);
  }
}

bool CarbonVSTEditor::onKeyDown(vst::VstKeyCode& key) {
  if (!manager_ || !window_) return false;
  std::lock_guard<std::recursive_mutex> lock(window_->mutex());
  return manager_->keyPressed(editorKeyForHostKey(key));
}

}  // namespace QW
