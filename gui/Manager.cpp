#include "gui/Manager.h"

#include <GL/glew.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <system_error>

#include "core/AudioEffectX.h"
#include "core/GlobalSettings.h"
#include "core/PreferencesDialog.h"
#include "platform/Diagnostics.h"
#include "platform/Preferences.h"

namespace QW {

namespace {

std::atomic<int> managerCounter{0};

constexpr auto kFramePeriod = std::chrono::milliseconds(33);
constexpr auto kStopPatience = std::chrono::milliseconds(5000);
constexpr Size kLayerSize{1024, 512};
constexpr Size kLayerSizeDouble{2048, 1024};

}  // namespace

Manager::Manager(AudioEffect* effect)
    : effect_(effect), instanceNumber_(managerCounter.fetch_add(1) + 1) {
  loadEditorPreferences(platform::Preferences());
}

Manager::~Manager() {
  StopRenderTask();
}

void Manager::setWindowSize(Size size) {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  windowSize_ = clampWindowSize(size);
  pixelSize_ = windowSize_;
}

Size Manager::windowSize() const {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  return windowSize_;
}

void Manager::setBackgroundColour(float r, float g, float b) {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  background_ = {r, g, b, 1.0f};
}

Manager::Colour Manager::backgroundColour() const {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  return background_;
}

void Manager::setBannerColour(float r, float g, float b, float a) {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  banner_ = {r, g, b, a};
}

void Manager::setBannerPosition(float y) {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  bannerBox_ = {20.0f, y, static_cast<float>(windowSize_.width) - 20.0f, y + 5.0f};
}

void Manager::computeViewGeometry() {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  geometry_ = ViewGeometry::compute(windowSize_);
  designSize_ = windowSize_;
  designPixelSize_ = pixelSize_;
}

vst::ERect Manager::rect() const {
  const Size size = windowSize();
  return {0, 0, static_cast<int16_t>(size.height), static_cast<int16_t>(size.width)};
}

void Manager::setPlatform(std::unique_ptr<ManagerPlatformBridge> bridge,
                          PlatformCallbacks callbacks) {
  bridge_ = std::move(bridge);
  callbacks_ = std::move(callbacks);
}

// ---- Input ----

void Manager::mouseMoved(Point /*point*/) {
  // Hover tracking needs the element tree.
}

void Manager::mouseDown(Point point, uint32_t modifiers, int /*clickCount*/) {
  dropKeyFocus();
  const Size size = windowSize();
  if (inResizeCorner(point, size.width)) {
    resizing_ = true;
    resizeStartX_ = point.x;
    resizeStartTop_ = static_cast<float>(size.height) - point.y;
    resizeStartSize_ = size;
  }
  // Otherwise the press goes to the element under it, once there are any.
  (void)modifiers;
  if (callbacks_.setCapture) callbacks_.setCapture();
}

void Manager::mouseDragged(Point point, uint32_t /*modifiers*/) {
  if (!resizing_) return;
  const float currentHeight =
      static_cast<float>(bridge_ ? bridge_->windowHeight() : windowSize().height);
  const float dx = point.x - resizeStartX_;
  const float dy = (currentHeight - point.y) - resizeStartTop_;
  const Size size = resizeForDrag(dx, dy, resizeStartSize_, geometry_.aspect);
  if (bridge_) bridge_->setWindowSize(size.width, size.height);
  {
    std::lock_guard<std::mutex> lock(layoutMutex_);
    windowSize_ = size;
    pixelSize_ = scaledPixelSize(designPixelSize_, size, designSize_);
  }
  events_.signal(RenderEvents::kResized);
}

void Manager::mouseUp(Point /*point*/, uint32_t /*modifiers*/) {
  if (resizing_) {
    resizing_ = false;
    if (callbacks_.releaseCapture) callbacks_.releaseCapture();
    return;
  }
  if (editedParameter_ >= 0) {
    if (callbacks_.endEdit) callbacks_.endEdit(editedParameter_);
    editedParameter_ = -1;
  }
}

bool Manager::keyPressed(int /*key*/) {
  // No element holds the keyboard focus yet.
  return false;
}

void Manager::dropKeyFocus() {}

bool Manager::dispatch(const InputRecord& record) {
  using Kind = InputRecord::Kind;
  switch (record.kind) {
    case Kind::kMouseMoved:
      mouseMoved(record.point);
      return true;
    case Kind::kMouseDown:
      mouseDown(record.point, record.modifiers, record.clickCount);
      return true;
    case Kind::kMouseDragged:
      mouseDragged(record.point, record.modifiers);
      return true;
    case Kind::kMouseUp:
      mouseUp(record.point, record.modifiers);
      return true;
    case Kind::kKey:
      return keyPressed(record.key);
    case Kind::kFocusLost:
      dropKeyFocus();
      return true;
    case Kind::kTakeFocus:
      if (bridge_) bridge_->takeFocus();
      return true;
  }
  return false;
}

void Manager::beginParameterEdit(int32_t index) {
  if (editedParameter_ == index) return;
  if (editedParameter_ >= 0 && callbacks_.endEdit) callbacks_.endEdit(editedParameter_);
  editedParameter_ = index;
  if (callbacks_.beginEdit) callbacks_.beginEdit(index);
}

void Manager::endParameterEdit(int32_t index) {
  if (editedParameter_ != index) return;
  if (callbacks_.endEdit) callbacks_.endEdit(index);
  editedParameter_ = -1;
}

// ---- Render task ----

bool Manager::CreateRenderTask() {
  if (renderThread_.joinable()) {
    platform::debugOutput("double call to CreateRenderTask()\n");
    return true;
  }
  threadEnded_ = false;
  try {
    renderThread_ = std::thread(&Manager::renderThreadMain, this);
  } catch (const std::system_error& e) {
    char text[64];
    std::snprintf(text, sizeof text, "failed to create render thread: %d\n", e.code().value());
    platform::debugOutput(text);
    return false;
  }
  return true;
}

void Manager::StopRenderTask() {
  if (!renderThread_.joinable()) return;
  events_.signal(RenderEvents::kStop);
  {
    std::unique_lock<std::mutex> lock(stopMutex_);
    if (!stopped_.wait_for(lock, kStopPatience, [this] { return threadEnded_; })) {
      // A thread cannot be killed safely in-process: it may hold the GL
      // driver's locks. Say so and keep waiting.
      platform::debugOutput("render thread did not stop within 5000 ms; still waiting\n");
    }
  }
  renderThread_.join();
}

void Manager::renderThreadMain() {
  setUpRendering();
  using Clock = std::chrono::steady_clock;
  auto last = Clock::now();
  double previousRate = 0.0;
  bool running = true;
  while (running) {
    update();
    drawFrame();
    const auto now = Clock::now();
    frameSeconds_ = std::max(
        1e-6, std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count() / 1000.0);
    last = now;
    const double rate = 1.0 / frameSeconds_;
    framesPerSecond_ = (rate + previousRate) / 2.0;
    if (framesPerSecond_ > 1e6) framesPerSecond_ = 0.0;
    previousRate = rate;
    elapsedSeconds_ += frameSeconds_;

    int event = events_.waitAny(kFramePeriod);
    if (event == RenderEvents::kPause) event = events_.waitAny(std::nullopt);
    switch (event) {
      case RenderEvents::kStop:
        running = false;
        break;
      case RenderEvents::kResized:
        if (bridge_) bridge_->updateContext();
        break;
      case RenderEvents::kRedrawLayer:
        renderLayer();
        break;
      case RenderEvents::kRebuild:
        tearDownRendering();
        setUpRendering();
        break;
      default:
        break;
    }
    if (running && bridge_) bridge_->serviceWindow();
  }
  tearDownRendering();
  {
    std::lock_guard<std::mutex> lock(stopMutex_);
    threadEnded_ = true;
  }
  stopped_.notify_all();
}

void Manager::setUpRendering() {
  contextReady_ = bridge_ && bridge_->createContext();
  {
    std::lock_guard<std::mutex> lock(layoutMutex_);
    designSize_ = windowSize_;
    int w = pixelSize_.width;
    int h = pixelSize_.height;
    if (bridge_) bridge_->backingSize(w, h);
    pixelSize_ = designPixelSize_ = {w, h};
    doubleResolution_ = designSize_.width > 0 && w / designSize_.width > 1;
  }
  if (contextReady_) {
    glewExperimental = GL_TRUE;
    const GLenum status = glewInit();
    if (status != GLEW_OK) {
      platform::showError(std::string("cannot load the OpenGL extensions: ") +
                          reinterpret_cast<const char*>(glewGetErrorString(status)));
      contextReady_ = false;
    }
  }
  if (contextReady_) {
    bridge_->updateContext();
    glDisable(GL_MULTISAMPLE);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    prepareRendering();
  }
  if (bridge_) bridge_->finishSetup();
  if (!contextReady_) return;

  const Size layer = doubleResolution_ ? kLayerSizeDouble : kLayerSize;
  glGenTextures(1, &layerTexture_);
  if (GLEW_VERSION_3_0 || GLEW_ARB_framebuffer_object) {
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glBindTexture(GL_TEXTURE_2D, layerTexture_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, layer.width, layer.height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, layerTexture_, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
  }
  renderLayer();
}

void Manager::renderLayer() {
  if (!contextReady_ || framebuffer_ == 0) return;
  Size design;
  Colour background;
  {
    std::lock_guard<std::mutex> lock(layoutMutex_);
    design = designPixelSize_;
    background = background_;
  }
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  glViewport(0, 0, design.width, design.height);
  glClearColor(background.r, background.g, background.b, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  // Drawn in window pixels and stored upside down; drawLayer's texture
  // coordinates turn it back.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glScalef(1.0f, -1.0f, 1.0f);
  glTranslatef(-1.0f, -1.0f, 0.0f);
  glScalef(geometry_.xScale, geometry_.yScale, 1.0f);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  drawBackground();
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void Manager::drawLayer() {
  Size designPixels;
  {
    std::lock_guard<std::mutex> lock(layoutMutex_);
    designPixels = designPixelSize_;
  }
  const Size layer = doubleResolution_ ? kLayerSizeDouble : kLayerSize;
  const float s = static_cast<float>(designPixels.width) / static_cast<float>(layer.width);
  const float t = static_cast<float>(designPixels.height) / static_cast<float>(layer.height);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, layerTexture_);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, t);
  glVertex2f(-1.0f, -1.0f);
  glTexCoord2f(s, t);
  glVertex2f(1.0f, -1.0f);
  glTexCoord2f(s, 0.0f);
  glVertex2f(1.0f, 1.0f);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(-1.0f, 1.0f);
  glEnd();
  glDisable(GL_TEXTURE_2D);
}

void Manager::drawFrame() {
  if (!contextReady_ || !bridge_->makeCurrent()) return;
  Size pixels;
  Colour background;
  {
    std::lock_guard<std::mutex> lock(layoutMutex_);
    pixels = pixelSize_;
    background = background_;
  }
  glViewport(0, 0, pixels.width, pixels.height);
  // Shows the background even where no layer picture could be made.
  glClearColor(background.r, background.g, background.b, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  glDepthRange(0.0, 0.1);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  if (framebuffer_ != 0) drawLayer();

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glTranslatef(-1.0f, -1.0f, 0.0f);
  glScalef(geometry_.xScale, geometry_.yScale, 1.0f);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  drawOverlay();

  bridge_->swapBuffers();
  framesDrawn_.fetch_add(1);
}

void Manager::drawOverlay() {
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  Box banner;
  Colour colour;
  {
    std::lock_guard<std::mutex> lock(layoutMutex_);
    banner = bannerBox_;
    colour = banner_;
  }
  if (banner.empty()) return;
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(colour.r, colour.g, colour.b, colour.a);
  glBegin(GL_QUADS);
  glVertex2f(banner.minX, banner.minY);
  glVertex2f(banner.maxX, banner.minY);
  glVertex2f(banner.maxX, banner.maxY);
  glVertex2f(banner.minX, banner.maxY);
  glEnd();
  glDisable(GL_BLEND);
}

void Manager::tearDownRendering() {
  if (contextReady_ && bridge_->makeCurrent()) {
    if (layerTexture_ != 0) glDeleteTextures(1, &layerTexture_);
    if (framebuffer_ != 0) glDeleteFramebuffers(1, &framebuffer_);
  }
  layerTexture_ = 0;
  framebuffer_ = 0;
  contextReady_ = false;
  if (bridge_) bridge_->destroyContexts();
}

}  // namespace QW
