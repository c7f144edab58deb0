// The manager's bridge to an X11 child window drawn with GLX.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "gui/ManagerPlatformBridge.h"
#include "platform/GlxContext.h"
#include "platform/X11ChildWindow.h"

namespace QW {

class ManagerX11Bridge : public ManagerPlatformBridge {
 public:
  // window is not owned and outlives the bridge. serviceWindow runs on the
  // render thread once per frame period.
  ManagerX11Bridge(platform::X11ChildWindow& window, std::function<void()> serviceWindow);
  ~ManagerX11Bridge() override;

  bool createContext() override;
  bool makeCurrent() override;
  void destroyContexts() override;
  void swapBuffers() override;
  bool keepsBackBuffer() override;
  void takeFocus() override;
  void setWindowSize(int width, int height) override;
  int windowHeight() override;
  void serviceWindow() override;
  bool createOffscreenContext(int width, int height) override;
  bool makeOffscreenCurrent() override;
  bool readOffscreenPixels(std::vector<unsigned char>& rgb) override;

 private:
  platform::X11ChildWindow& window_;
  std::function<void()> service_;
  std::unique_ptr<platform::GlxWindowContext> context_;
  std::unique_ptr<platform::GlxOffscreenContext> offscreen_;
};

}  // namespace QW
