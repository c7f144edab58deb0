// Everything the manager needs from the window system. The GL operations are
// called only on the render thread; takeFocus, setWindowSize and
// windowHeight only while input is being handled.
#pragma once

#include <vector>

namespace QW {

class ManagerPlatformBridge {
 public:
  virtual ~ManagerPlatformBridge() = default;

  virtual void updateContext() {}
  // Creates the window's GL context and makes it current.
  virtual bool createContext() = 0;
  virtual bool finishSetup() { return true; }
  virtual bool makeCurrent() = 0;
  virtual void destroyContexts() = 0;
  virtual void swapBuffers() = 0;
  // True when a swap leaves the back buffer holding the frame just shown.
  virtual bool keepsBackBuffer() { return false; }
  virtual void takeFocus() = 0;
  virtual void setWindowSize(int width, int height) = 0;
  virtual int windowHeight() = 0;
  // May raise the drawable's size above the window's on high-density
  // displays.
  virtual void backingSize(int& /*width*/, int& /*height*/) {}
  // Once per frame period on the render thread: a chance to look after the
  // window when the host does not do it often enough.
  virtual void serviceWindow() {}

  // For drivers without framebuffer objects: an off-screen drawable of
  // width x height whose context shares textures with the window's, where
  // the layer picture is drawn and then read back. Made current by
  // createOffscreenContext; false when the platform has none.
  virtual bool createOffscreenContext(int /*width*/, int /*height*/) { return false; }
  // Binds the off-screen context with its viewport set to its size.
  virtual bool makeOffscreenCurrent() { return false; }
  // The off-screen picture as tightly packed RGB rows, bottom row first,
  // of the size given to createOffscreenContext. Call with it current.
  virtual bool readOffscreenPixels(std::vector<unsigned char>& /*rgb*/) { return false; }
};

}  // namespace QW
