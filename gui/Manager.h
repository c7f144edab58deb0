// The editor's manager: owns the element tree, the renderers, textures and
// fonts of one open editor, draws them on a render thread of its own at
// about 30 frames per second and turns input into element gestures.
//
// Two threads use it: input (and layout script callbacks) arrive on the
// window's thread, drawing happens on the render thread. The scene lock
// keeps them apart: the render thread holds it while it updates and draws a
// frame, every input entry point holds it while it runs. Parameter values
// are read from the effect without it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gui/Bounds.h"
#include "gui/Effect.h"
#include "gui/Font.h"
#include "gui/FramePart.h"
#include "gui/Group.h"
#include "gui/InputRecord.h"
#include "gui/KeptUnderlays.h"
#include "gui/ManagerPlatformBridge.h"
#include "gui/ParameterDescriptor.h"
#include "gui/RenderEvents.h"
#include "gui/RenderWorkers.h"
#include "gui/SceneMutex.h"
#include "gui/StaticText.h"
#include "gui/TextRun.h"
#include "gui/Texture.h"
#include "gui/ViewGeometry.h"

class QwkAuBase;
struct ViewState;

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

  // Run at rendering tear-down, on the render thread, with the context
  // current: deletes what a subclass made in prepareRendering.
  class RenderingShutdowner {
   public:
    virtual ~RenderingShutdowner() = default;
    virtual void shutdown() {}
  };

  enum BannerContent : int { kBannerMakerAndVersion = 0, kBannerVersion = 1, kBannerNone = 2 };

  static constexpr int32_t kNoTooltip = -1;
  static constexpr int32_t kPreferencesTooltip = -2;
  static constexpr int32_t kCapturePresetTooltip = -3;

  // effect may be null (tests): no parameters then. Reads the editor
  // switches from the preferences.
  explicit Manager(QwkAuBase* effect);
  // Stops the render thread first.
  virtual ~Manager();
  Manager(const Manager&) = delete;
  Manager& operator=(const Manager&) = delete;

  // ---- Ownership ----
  // Makes an element owned by this manager; elements are made on the
  // window's thread before the render task starts, or under the scene lock.
  template <class T, class... Args>
  T* create(Args&&... args) {
    auto element = std::make_unique<T>(this, std::forward<Args>(args)...);
    T* raw = element.get();
    std::lock_guard<SceneMutex> lock(sceneMutex_);
    elements_.push_back(std::move(element));
    return raw;
  }
  template <class T>
  T* addRenderer(std::unique_ptr<T> renderer) {
    T* raw = renderer.get();
    std::lock_guard<SceneMutex> lock(sceneMutex_);
    renderers_.push_back(std::move(renderer));
    return raw;
  }
  Texture* addTexture(std::unique_ptr<Texture> texture);
  // A font made by the layout script (may be null: kept as "no font").
  Font* addFont(std::unique_ptr<Font> font);
  void setMainFont(std::unique_ptr<Font> font);
  void setLabelFont(std::unique_ptr<Font> font);
  void setTextFieldFont(std::unique_ptr<Font> font);
  Font* mainFont() const { return mainFont_.get(); }
  Font* labelFont() const { return labelFont_.get(); }
  Font* textFieldFont() const { return textFieldFont_.get(); }

  Group* root() const { return root_; }
  const std::vector<std::unique_ptr<UIElement>>& elements() const { return elements_; }
  const std::vector<std::unique_ptr<Texture>>& textures() const { return textures_; }
  const std::vector<std::unique_ptr<Effect>>& renderers() const { return renderers_; }
  StaticText* bannerText() const { return bannerText_; }
  StaticText* labelText() const { return labelText_; }
  TextRunRegistry& textRuns() { return textRuns_; }
  SceneMutex& sceneMutex() { return sceneMutex_; }

  // When set, the root group's second overlay pass runs every frame.
  void setDrawOverlayPass(bool on) { drawOverlayPass_ = on; }

  // ---- The effect ----
  QwkAuBase* effect() const { return effect_; }
  ViewState* viewState() const { return viewState_; }
  // The descriptor of a parameter; null for an index out of range.
  const ParameterDescriptor* parameter(int32_t index) const;
  int32_t parameterCount() const { return static_cast<int32_t>(parameters_.size()); }
  int instanceNumber() const { return instanceNumber_; }

  // ---- Layout (the layout script) ----
  void setWindowSize(Size size);
  Size windowSize() const;
  Size pixelSize() const;
  Size designSize() const;
  Size designPixelSize() const;
  void setBackgroundColour(float r, float g, float b);
  Colour backgroundColour() const;
  void setBannerColour(float r, float g, float b, float a);
  // Banner box (20, y) to (window width - 20, y + main font line height, or
  // y + 5 without a main font).
  void setBannerPosition(float y);
  void setBannerBounds(float x0, float y0, float x1, float y1);
  Bounds bannerBounds() const;
  void setBannerContent(int kind);
  void setBannerContent(int kind, float textX, float tooltipX);
  int bannerContent() const;
  // The id of text (registered once; -2 "Preferences" and -3 "Capture
  // preset" from the start).
  int32_t addTooltip(const std::string& text);
  std::string tooltipString(int32_t id) const;
  // The layer picture (background and labels) is drawn again.
  void redrawLayer() { events_.signal(RenderEvents::kRedrawLayer); }

  // ---- Geometry ----
  // At open: the view constants and the rectangle the host is told.
  void computeViewGeometry();
  const ViewGeometry& geometry() const { return geometry_; }
  vst::ERect rect() const;
  Point toDesign(Point windowPoint) const;

  // ---- Platform ----
  void setPlatform(std::unique_ptr<ManagerPlatformBridge> bridge, PlatformCallbacks callbacks);
  ManagerPlatformBridge* bridge() const { return bridge_.get(); }

  // ---- Render task ----
  // Starts the render thread (once); false when it cannot be started.
  bool CreateRenderTask();
  // Signals the render thread to stop and waits for it, also for the frame
  // it may be drawing.
  void StopRenderTask();
  bool renderTaskRunning() const { return renderTicket_ != RenderWorkers::kNoTicket; }
  uint64_t framesDrawn() const { return framesDrawn_.load(); }
  // Something the next frame shows has changed in a way the scene lock does
  // not see (a value an element reads, the window exposed); any thread.
  void notePictureChange() { pictureChanges_.fetch_add(1, std::memory_order_acq_rel); }
  // Something changed that shows only within designBox (design pixels) and
  // that nothing drawn elsewhere depends on: a frame may redraw just those
  // pixels. Render thread only, from an element's or renderer's update.
  void notePictureChangeIn(const Bounds& designBox) { changedParts_.add(designBox); }
  // Of framesDrawn, those that redrew only parts of the window.
  uint64_t partFramesDrawn() const { return partFramesDrawn_.load(); }
  // Counts the frames drawn, for an element that must take new data once
  // a frame however many times the frame draws it. Render thread only.
  uint64_t frameNumber() const { return frameNumber_; }
  // True while the frame being drawn redraws only parts of the window:
  // what is drawn lands only there, the rest keeps the previous frame.
  bool drawingPart() const { return drawingPart_; }
  // For an element drawn again and again over pixels that stay, at the
  // point of its drawing below which everything within its box is
  // complete: true when this pass put those pixels back as a whole frame
  // kept them, and the element then skips what it draws below that point;
  // false when it draws as usual and then calls keepUnderlay with the box
  // (design pixels). Render thread, while drawing.
  bool restoreUnderlay(const void* owner);
  void keepUnderlay(const void* owner, const Bounds& designBox);
  // Whether what an element draws within designBox can show in the pass
  // being drawn: always in a whole frame, in a part pass only when it meets
  // the part.
  bool passMeets(const Bounds& designBox) const;
  // True in a pass that puts back an underlay while its owner has not
  // drawn yet: nothing drawn before the owner would show.
  bool restorePending() const { return restorePending_; }
  const void* restoringOwner() const { return restoringOwner_; }
  // Mean seconds of render-thread work per drawn frame (update and draw,
  // without the wait), for the benchmark.
  double meanFrameWorkSeconds() const;
  double frameSeconds() const { return frameSeconds_.load(); }
  double framesPerSecond() const { return framesPerSecond_.load(); }
  double elapsedSeconds() const { return elapsedSeconds_.load(); }
  // True when the layer picture has its framebuffer (false: the fallback).
  bool usesFramebuffer() const { return layerByFramebuffer_.load(); }
  // Draws the layer picture off-screen and copies it into the layer
  // texture even where framebuffer objects exist, the way drivers without
  // them are served. Set before the render task starts.
  void setPreferOffscreenLayer(bool on) { preferOffscreenLayer_ = on; }

  // ---- Input (window's thread; window pixels, origin bottom left) ----
  void mouseMoved(Point point);
  void mouseDown(Point point, uint32_t modifiers, int clickCount);
  void mouseDragged(Point point, uint32_t modifiers);
  void mouseUp(Point point, uint32_t modifiers);
  // Nothing is under the pointer any more: every hovered element is exited.
  // A gesture in progress goes on (the pointer is captured).
  void pointerLeft();
  // A key for the element with the keyboard focus; false when nobody takes it.
  bool keyPressed(int key);
  // The window lost the keyboard focus.
  void dropKeyFocus() { setKeyFocus(nullptr); }
  // One translated record, to the entry point of its kind.
  bool dispatch(const InputRecord& record);

  // ---- Interaction state (elements use these) ----
  // The previous focus element gets focusLost(element) first.
  void setKeyFocus(UIElement* element);
  UIElement* keyFocus() const { return keyFocus_; }
  void setHoveredId(int32_t id) { hoveredId_ = id; }
  int32_t hoveredId() const { return hoveredId_; }
  void setTooltipElement(UIElement* element) { tooltipElement_ = element; }
  UIElement* tooltipElement() const { return tooltipElement_; }
  UIElement* hoverElement() const { return hoverElement_; }
  UIElement* trackedElement() const { return tracked_; }
  // The host's gesture bracket around a parameter edit.
  void beginParameterEdit(int32_t index);
  void endParameterEdit(int32_t index);
  int32_t editedParameter() const { return editedParameter_; }
  bool isResizing() const { return resizing_; }

  // Process-wide: during hover tracking groups report themselves as hit.
  static bool hitTestingGroups();

  // The text a parameter tooltip shows: name, display, label and the
  // readout (as the floating tooltip writes it).
  std::string parameterTooltipText(int32_t parameter);

 protected:
  // Once per frame before drawing: the tree, then every renderer.
  virtual void update();
  // After the GL context exists (render thread).
  virtual void prepareRendering() {}
  virtual std::unique_ptr<RenderingShutdowner> createRenderingShutdowner();
  // The layer picture as a full-window quad.
  virtual void drawLayer();
  // That quad in white with the layer's texture coordinates, for whatever
  // texturing or program the caller has set up.
  void drawLayerQuad() const;
  // Appends to a parameter tooltip; draws at (x, y) when font is not null.
  virtual void drawParameterExtra(Font* /*font*/, int32_t /*parameter*/, float /*x*/, float /*y*/,
                                  std::string& /*text*/) {}
  // The window background, into the layer picture.
  virtual void drawBackground() {}

  unsigned int layerTexture() const { return layerTexture_; }
  Size layerSize() const;
  // Changes whenever the layer picture is drawn again.
  uint64_t layerGeneration() const { return layerGeneration_; }
  // The pointer light's position as the last overlay handed it to GL (in
  // eye coordinates, the overlay's model-view being the identity).
  const float* pointerLight() const { return movingLight_; }

  QwkAuBase* effect_;

 private:
  // The banner's layout as one copy: the script thread may change it while
  // a frame is drawn.
  struct BannerLayout {
    Bounds box;
    int content;
    float textX;
    float tooltipX;
    int designWidth;
  };
  BannerLayout bannerLayout() const;
  // Where the banner text run reads its colour, from the shared style.
  void takeBannerTextColour();

  struct Hovered {
    UIElement* element;
    Bounds box;
    bool operator<(const Hovered& o) const { return element < o.element; }
  };

  void renderThreadMain();
  void setUpRendering();
  void renderLayer();
  // Draws one frame without swapping: the whole window, or only the given
  // parts (each a pass of the whole picture under a scissor); false when
  // the context could not be made current (the frame is skipped).
  bool drawFrame(const std::vector<PixelRect>& parts);
  void drawPicture(Size pixels, Colour background);
  void drawOverlay();
  // The banner tooltip; floatingText (when not null) receives the text of
  // a parameter tooltip.
  void drawTooltip(std::string* floatingText);
  void drawFloatingTooltip(const std::string& text);
  void drawParameterTooltip(Font* font, int32_t parameter, float x, float y, std::string* text);
  void tearDownRendering();
  void createLayer();
  void uploadOffscreenLayer();
  // The box the pointer must leave before an element counts as exited.
  static Bounds hoverBox(const UIElement* element);
  // A design point in the coordinates of element's parent.
  static Point toParent(const UIElement* element, Point designPoint);
  // Ends the tracked element's gesture: its mouseUp, the capture, the edit.
  void finishGesture(Point designPoint, uint32_t modifiers);

  int instanceNumber_;
  ViewState* viewState_ = nullptr;
  std::vector<ParameterDescriptor> parameters_;
  std::unique_ptr<ManagerPlatformBridge> bridge_;
  PlatformCallbacks callbacks_;

  // Owned things. The scene lock guards the tree and the interaction state.
  mutable SceneMutex sceneMutex_;
  std::vector<std::unique_ptr<UIElement>> elements_;
  std::vector<std::unique_ptr<Effect>> renderers_;
  std::vector<std::unique_ptr<Texture>> textures_;
  std::vector<std::unique_ptr<Font>> fonts_;
  std::unique_ptr<Font> mainFont_;
  std::unique_ptr<Font> labelFont_;
  std::unique_ptr<Font> textFieldFont_;
  TextRunRegistry textRuns_;
  Group* root_ = nullptr;
  StaticText* bannerText_ = nullptr;
  StaticText* labelText_ = nullptr;
  bool drawOverlayPass_ = false;
  std::map<int32_t, std::string> tooltips_;

  // Layout and geometry, shared by the two threads.
  mutable std::mutex layoutMutex_;
  Size windowSize_{1, 1};
  Size pixelSize_{1, 1};
  Size designSize_{1, 1};
  Size designPixelSize_{1, 1};
  Colour background_{0.0f, 0.0f, 0.0f, 1.0f};
  Colour banner_{0.9f, 0.9f, 0.9f, 0.1f};
  Bounds bannerBox_;
  int bannerContent_ = kBannerMakerAndVersion;
  float bannerTextX_ = 60.0f;
  float tooltipX_ = -1.0f;
  ViewGeometry geometry_;

  // Interaction state.
  UIElement* tracked_ = nullptr;
  uint32_t trackedModifiers_ = 0;
  int32_t hoveredId_ = kNoTooltip;
  int32_t editedParameter_ = -1;
  UIElement* hoverElement_ = nullptr;
  UIElement* tooltipElement_ = nullptr;
  UIElement* keyFocus_ = nullptr;
  std::set<Hovered> hovered_;
  bool resizing_ = false;
  float resizeStartX_ = 0.0f;
  float resizeStartTop_ = 0.0f;  // height - y at the press
  Size resizeStartSize_;

  // Render task.
  RenderEvents events_;
  RenderWorkers::Ticket renderTicket_ = RenderWorkers::kNoTicket;
  std::mutex stopMutex_;
  std::condition_variable stopped_;
  bool threadEnded_ = false;
  std::atomic<uint64_t> framesDrawn_{0};
  std::atomic<uint64_t> partFramesDrawn_{0};
  std::atomic<uint64_t> pictureChanges_{0};
  std::atomic<double> workSeconds_{0.0};
  std::atomic<double> frameSeconds_{1.0 / 30.0};
  std::atomic<double> framesPerSecond_{0.0};
  std::atomic<double> elapsedSeconds_{0.0};
  std::unique_ptr<RenderingShutdowner> shutdowner_;
  std::atomic<bool> preferOffscreenLayer_{false};
  std::atomic<bool> layerByFramebuffer_{false};

  // Render thread only.
  using Clock = std::chrono::steady_clock;
  bool frameDue(uint64_t changes, Clock::time_point now) const;
  static bool fullRedrawAsked();
  // Set by CreateRenderTask before the task starts, read by the task only.
  bool fullRedraw_ = false;   // VELDRANA_FULL_REDRAW: every frame, as a yardstick
  bool redrawAnyway_ = true;  // VELDRANA_SAFETY_FRAME=0 turns it off
  uint64_t drawnChanges_ = ~uint64_t{0};
  bool animating_ = true;
  // When the last whole frame was drawn.
  Clock::time_point lastDrawn_;
  // Where part-only changes were noted since the last frame, and the same
  // in window pixels for the frame that redraws them.
  ChangedParts changedParts_;
  std::vector<PixelRect> partPixels_;
  // The window's swap keeps the back buffer, so parts of it may be redrawn.
  bool keepsBackBuffer_ = false;
  Size wholePixels_;  // the window's size in the last whole frame
  bool drawingPart_ = false;
  uint64_t frameNumber_ = 0;
  // The pass being drawn: its part, the window's pixels, and the owner
  // whose kept underlay covers the part (null when the pass draws all).
  PixelRect pass_;
  Size passPixels_;
  const void* restoringOwner_ = nullptr;
  bool restorePending_ = false;
  KeptUnderlays underlays_;
  // A part frame found an underlay it could use: the next whole frame
  // copies them.
  bool underlayWanted_ = false;
  bool copyUnderlays_ = false;
  bool contextReady_ = false;
  unsigned int layerTexture_ = 0;
  uint64_t layerGeneration_ = 0;
  unsigned int framebuffer_ = 0;
  bool offscreen_ = false;
  bool layerReady_ = false;
  bool doubleResolution_ = false;
  // The banner text batch keeps a pointer to its colour.
  float bannerTextColour_[4] = {0.5f, 0.5f, 0.5f, 1.0f};
  Point hoverCentre_;
  float movingLight_[4] = {0.0f, 0.0f, 50.0f, 1.0f};
  float floatingAlpha_ = 0.0f;
  Bounds floatingBox_;
  char floatingText_[512] = {};
  int32_t cachedTooltipId_ = kNoTooltip;
  std::string cachedTooltip_;
  TextRun tooltipName_;
  TextRun tooltipValue_;
  TextRun tooltipLabel_;
  TextRun tooltipString_;
  TextRun floatingTooltip_;
};

}  // namespace QW
