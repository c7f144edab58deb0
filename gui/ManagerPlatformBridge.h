// Everything the manager needs from the window system. The GL operations are
// called only on the render thread; takeFocus, setWindowSize and
// windowHeight only while input is being handled.
#pragma once

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
  virtual void takeFocus() = 0;
  virtual void setWindowSize(int width, int height) = 0;
  virtual int windowHeight() = 0;
  // May raise the drawable's size above the window's on high-density
  // displays.
  virtual void backingSize(int& /*width*/, int& /*height*/) {}
  // Once per frame period on the render thread: a chance to look after the
  // window when the host does not do it often enough.
  virtual void serviceWindow() {}
};

}  // namespace QW
