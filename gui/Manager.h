// The editor's manager: owns what the editor shows, draws it on a render
// thread of its own at about 30 frames per second and turns input into
// gestures.
//
// Two threads use it: input arrives on the window's thread (whichever thread
// services the window, never two at once) and drawing happens on the render
// thread. The few values both read (window size, colours) sit behind a
// small lock; the render thread takes a copy once per frame.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "gui/InputRecord.h"
#include "gui/ManagerPlatformBridge.h"
#include "gui/RenderEvents.h"
#include "gui/ViewGeometry.h"

class AudioEffect;

namespace QW {

class Manager {
 public:
  // What the editor lends the manager for gestures: the host's edit bracket
  // and the pointer capture.
  struct PlatformCallbacks {
    std::function<void(int32_t)> beginEdit;
    std::function<void(int32_t)> endEdit;
    std::function<void()> setCapture;
    std::function<void()> releaseCapture;
  };

  struct Colour {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 1.0f;
  };

  struct Box {
    float minX = 1e10f;
    float minY = 1e10f;
    float maxX = -1e10f;
    float maxY = -1e10f;
    bool empty() const { return minX > maxX || minY > maxY; }
  };

  // effect may be null (no host edit bracket then). Reads the editor
  // switches from the preferences.
  explicit Manager(AudioEffect* effect);
  // Stops the render thread first.
  virtual ~Manager();
  Manager(const Manager&) = delete;
  Manager& operator=(const Manager&) = delete;

  // Layout, before the window opens (the colours may change later; ask for
  // redrawLayer then).
  void setWindowSize(Size size);
  Size windowSize() const;
  void setBackgroundColour(float r, float g, float b);
  Colour backgroundColour() const;
  void setBannerColour(float r, float g, float b, float a);
  // Banner box (20, y) to (window width - 20, y + 5); text is not drawn yet.
  void setBannerPosition(float y);
  void redrawLayer() { events_.signal(RenderEvents::kRedrawLayer); }

  // At open: the view constants and the rectangle the host is told.
  void computeViewGeometry();
  const ViewGeometry& geometry() const { return geometry_; }
  vst::ERect rect() const;

  void setPlatform(std::unique_ptr<ManagerPlatformBridge> bridge, PlatformCallbacks callbacks);
  ManagerPlatformBridge* bridge() const { return bridge_.get(); }

  // Starts the render thread (once); false when it cannot be started.
  bool CreateRenderTask();
  // Signals the render thread to stop and waits for it, also for the frame
  // it may be drawing.
  void StopRenderTask();
  bool renderTaskRunning() const { return renderThread_.joinable(); }
  uint64_t framesDrawn() const { return framesDrawn_.load(); }

  // Input, on the window's thread; points in window pixels, origin bottom
  // left.
  void mouseMoved(Point point);
  void mouseDown(Point point, uint32_t modifiers, int clickCount);
  void mouseDragged(Point point, uint32_t modifiers);
  void mouseUp(Point point, uint32_t modifiers);
  // A key for the element with the keyboard focus; false when nobody takes it.
  bool keyPressed(int key);
  // The window lost the keyboard focus.
  void dropKeyFocus();
  // One translated record, to the entry point of its kind.
  bool dispatch(const InputRecord& record);

  // The host's gesture bracket around a parameter edit.
  void beginParameterEdit(int32_t index);
  void endParameterEdit(int32_t index);
  int32_t editedParameter() const { return editedParameter_; }

  bool isResizing() const { return resizing_; }
  int instanceNumber() const { return instanceNumber_; }

 protected:
  virtual void update() {}
  virtual void prepareRendering() {}
  virtual void drawLayer();
  virtual void drawBackground() {}

  AudioEffect* effect_;

 private:
  void renderThreadMain();
  void setUpRendering();
  void renderLayer();
  void drawFrame();
  void drawOverlay();
  void tearDownRendering();

  int instanceNumber_;
  std::unique_ptr<ManagerPlatformBridge> bridge_;
  PlatformCallbacks callbacks_;

  // Shared by the input and render threads.
  mutable std::mutex layoutMutex_;
  Size windowSize_{1, 1};
  Size pixelSize_{1, 1};
  Size designSize_{1, 1};
  Size designPixelSize_{1, 1};
  Colour background_{0.0f, 0.0f, 0.0f, 1.0f};
  Colour banner_{0.9f, 0.9f, 0.9f, 0.1f};
  Box bannerBox_;

  ViewGeometry geometry_;

  // Input state.
  bool resizing_ = false;
  float resizeStartX_ = 0.0f;
  float resizeStartTop_ = 0.0f;  // height - y at the press
  Size resizeStartSize_;
  int32_t editedParameter_ = -1;

  // Render task.
  RenderEvents events_;
  std::thread renderThread_;
  std::mutex stopMutex_;
  std::condition_variable stopped_;
  bool threadEnded_ = false;
  std::atomic<uint64_t> framesDrawn_{0};
  double frameSeconds_ = 1.0 / 30.0;
  double framesPerSecond_ = 0.0;
  double elapsedSeconds_ = 0.0;

  // Render thread only.
  bool contextReady_ = false;
  unsigned int layerTexture_ = 0;
  unsigned int framebuffer_ = 0;
  bool doubleResolution_ = false;
};

}  // namespace QW
