// The editor window bridge between the host and the editor framework.
//
// On Linux the host's parent window is an X11 window id. The editor makes a
// child window of it on an Xlib connection of its own, creates the manager
// with its render thread, and turns the window's events into manager input
// when the host calls idle (and, for hosts that seldom do, from the render
// thread; the window's lock keeps the two apart).
#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include "core/AEffEditor.h"
#include "gui/Manager.h"
#include "gui/WindowInput.h"

namespace platform {
class X11ChildWindow;
}

namespace QW {

class LuaGui;

class CarbonVSTEditor : public AEffEditor {
 public:
  CarbonVSTEditor(AudioEffect* effect, int16_t width, int16_t height);
  ~CarbonVSTEditor() override;

  bool getRect(vst::ERect** rect) override;
  // Always answers false, as VST 2.4 editors traditionally do; isOpen()
  // tells whether the window exists.
  bool open(void* parent) override;
  void close() override;
  void idle() override;
  bool onKeyDown(vst::VstKeyCode& key) override;

  void setSize(int16_t width, int16_t height);
  Manager* manager() const { return manager_.get(); }

  // Input not handled for this long is handled by the render thread.
  static constexpr std::chrono::milliseconds kIdleGrace{100};

 protected:
  // The plug-in's own manager, with its layout applied; it may keep a
  // layout-script host in luaGui_ (deleted before the manager at close).
  virtual std::unique_ptr<Manager> createManager() = 0;

  vst::ERect rect_{};
  std::unique_ptr<LuaGui> luaGui_;

 private:
  void pumpEvents();
  void serviceFromRenderThread();

  std::unique_ptr<platform::X11ChildWindow> window_;
  std::unique_ptr<Manager> manager_;
  WindowInput input_;
  std::atomic<int64_t> lastServicedMs_{0};
};

}  // namespace QW
