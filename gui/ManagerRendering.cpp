// The manager's render thread: GL set-up and tear-down, the layer picture
// and one frame every period. Everything here runs on the render thread,
// under the scene lock while it touches the element tree.
#include <GL/glew.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#include "core/GlobalSettings.h"
#include "gui/GlDraw.h"
#include "gui/Manager.h"
#include "gui/RenderWorkers.h"
#include "gui/SharedStyle.h"
#include "platform/Diagnostics.h"

namespace QW {

namespace {

constexpr auto kFramePeriod = std::chrono::milliseconds(33);
constexpr auto kStopPatience = std::chrono::milliseconds(5000);
constexpr Size kLayerSize{1024, 512};
constexpr Size kLayerSizeDouble{2048, 1024};
constexpr int kVersion[3] = {1, 0, 5};
constexpr double kFieldOfViewRadians = 65.0 * 3.14159265358979323846 / 180.0;
// The pointer light moves a tenth of the way to its target each frame.
constexpr float kLightEase = 0.1f;
// The floating tooltip fades in within a few frames and out over about 50.
constexpr float kFloatingDecay = 0.89f;
constexpr float kFloatingRise = 0.16f;
constexpr float kFloatingInvisible = 1.0f / 255.0f;
constexpr float kFloatingPadding = 5.0f;

// A frame is drawn when something it shows changed. Easing (the pointer
// light, the floating tooltip's fade) counts as change until a frame moves
// it less than this; a frame is drawn at least this often whatever happens,
// in case a change came by a way nothing watches.
constexpr float kStillLight = 0.01f;
constexpr float kStillAlpha = 1e-4f;
constexpr auto kRedrawAnyway = std::chrono::milliseconds(1000);
// A part-only change is redrawn this many pixels beyond its box: lines a
// pixel wide and rounding at the box's edges stay inside.
constexpr int kPartMargin = 2;

// Without depth, lighting or culling: the layer picture and what lies on it
// are flat, drawn in order.
void drawFlat() {
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_LIGHTING);
  glDisable(GL_CULL_FACE);
}

void light(GLenum light, GLenum what, float a, float b, float c, float d) {
  const GLfloat v[4] = {a, b, c, d};
  glLightfv(light, what, v);
}

void material(GLenum what, float a, float b, float c, float d) {
  const GLfloat v[4] = {a, b, c, d};
  glMaterialfv(GL_FRONT_AND_BACK, what, v);
}

void ambient(float level) {
  const GLfloat v[4] = {level, level, level, 1.0f};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, v);
}

}  // namespace

// ---- Render task ----

bool Manager::CreateRenderTask() {
  if (renderTaskRunning()) {
    platform::debugOutput("double call to CreateRenderTask()\n");
    return true;
  }
  shutdowner_ = createRenderingShutdowner();
  threadEnded_ = false;
  // Read here, on the host's thread, and not by the render thread: the
  // environment is not safe to read while another thread may change it.
  fullRedraw_ = fullRedrawAsked();
  // VELDRANA_SAFETY_FRAME=0 leaves out the once-a-second frame, so that a
  // test sees whether each kind of change is noticed by itself.
  const char* safety = std::getenv("VELDRANA_SAFETY_FRAME");
  redrawAnyway_ = safety == nullptr || std::strcmp(safety, "0") != 0;
  try {
    renderTicket_ = RenderWorkers::run([this] { renderThreadMain(); });
  } catch (const std::system_error& e) {
    char text[64];
    std::snprintf(text, sizeof text, "failed to create render thread: %d\n", e.code().value());
    platform::debugOutput(text);
    return false;
  }
  return true;
}

void Manager::StopRenderTask() {
  if (!renderTaskRunning()) return;
  events_.signal(RenderEvents::kStop);
  {
    std::unique_lock<std::mutex> lock(stopMutex_);
    if (!stopped_.wait_for(lock, kStopPatience, [this] { return threadEnded_; })) {
      // A thread cannot be killed safely in-process: it may hold the GL
      // driver's locks. Say so and keep waiting.
      platform::debugOutput("render thread did not stop within 5000 ms; still waiting\n");
    }
  }
  // The task has said it ended; the worker is done with this manager only
  // once the task has returned.
  RenderWorkers::waitFor(renderTicket_);
  renderTicket_ = RenderWorkers::kNoTicket;
}

bool Manager::frameDue(uint64_t changes, Clock::time_point now) const {
  return fullRedraw_ || changes != drawnChanges_ || animating_ ||
         (redrawAnyway_ && now - lastDrawn_ >= kRedrawAnyway);
}

bool Manager::fullRedrawAsked() {
  const char* value = std::getenv("VELDRANA_FULL_REDRAW");
  return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

double Manager::meanFrameWorkSeconds() const {
  const uint64_t frames = framesDrawn_.load();
  return frames == 0 ? 0.0 : workSeconds_.load() / static_cast<double>(frames);
}

Size Manager::layerSize() const {
  return doubleResolution_ ? kLayerSizeDouble : kLayerSize;
}

void Manager::renderThreadMain() {
  setUpRendering();
  auto last = Clock::now();
  double previousRate = 0.0;
  bool running = true;
  while (running) {
    const auto start = Clock::now();
    bool drawn = false;
    {
      const SceneMutex::DrawingHold hold(sceneMutex_);
      update();
      // Read after the update, which notes what the elements saw change.
      const uint64_t changes = sceneMutex_.changes() + pictureChanges_.load();
      // Parts are redrawn only over a whole frame of the same size: a
      // resized window's back buffer holds nothing to keep.
      const Size pixels = pixelSize();
      const bool whole = frameDue(changes, start) ||
                         (!changedParts_.empty() && !(keepsBackBuffer_ && pixels == wholePixels_));
      partPixels_.clear();
      if (!whole) {
        for (int i = 0; i < changedParts_.size(); ++i) {
          const PixelRect part = redrawnPixels(changedParts_[i], geometry_.xScale, geometry_.yScale,
                                               pixels, kPartMargin);
          if (!part.empty()) partPixels_.push_back(part);
        }
      }
      changedParts_.clear();
      if (whole) {
        drawnChanges_ = changes;
        lastDrawn_ = start;
        const float before[3] = {movingLight_[0], movingLight_[1], floatingAlpha_};
        partPixels_.clear();
        drawn = drawFrame(partPixels_);
        animating_ = std::fabs(movingLight_[0] - before[0]) > kStillLight ||
                     std::fabs(movingLight_[1] - before[1]) > kStillLight ||
                     std::fabs(floatingAlpha_ - before[2]) > kStillAlpha;
      } else if (!partPixels_.empty()) {
        drawn = drawFrame(partPixels_);
        if (drawn) partFramesDrawn_.fetch_add(1);
      }
    }
    // The swap may wait for the server; input need not wait with it.
    if (drawn) {
      bridge_->swapBuffers();
      const double work = std::chrono::duration<double>(Clock::now() - start).count();
      workSeconds_.store(workSeconds_.load() + work);
      framesDrawn_.fetch_add(1);
    }

    const auto now = Clock::now();
    const double seconds = std::max(
        1e-6, std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count() / 1000.0);
    last = now;
    frameSeconds_ = seconds;
    const double rate = 1.0 / seconds;
    double meanRate = (rate + previousRate) / 2.0;
    if (meanRate > 1e6) meanRate = 0.0;
    framesPerSecond_ = meanRate;
    previousRate = rate;
    elapsedSeconds_.store(elapsedSeconds_.load() + seconds);

    int event = events_.waitAny(kFramePeriod);
    if (event == RenderEvents::kPause) event = events_.waitAny(std::nullopt);
    switch (event) {
      case RenderEvents::kStop:
        running = false;
        break;
      case RenderEvents::kResized:
        if (bridge_) bridge_->updateContext();
        notePictureChange();
        break;
      case RenderEvents::kRedrawLayer: {
        const SceneMutex::DrawingHold hold(sceneMutex_);
        renderLayer();
        notePictureChange();
        break;
      }
      case RenderEvents::kRebuild:
        tearDownRendering();
        setUpRendering();
        notePictureChange();
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

// ---- Set-up and tear-down ----

void Manager::setUpRendering() {
  const SceneMutex::DrawingHold hold(sceneMutex_);
  drawnChanges_ = ~uint64_t{0};
  contextReady_ = bridge_ && bridge_->createContext();
  keepsBackBuffer_ = contextReady_ && !fullRedraw_ && bridge_->keepsBackBuffer();
  {
    std::lock_guard<std::mutex> layout(layoutMutex_);
    designSize_ = windowSize_;
    int w = pixelSize_.width;
    int h = pixelSize_.height;
    if (bridge_) bridge_->backingSize(w, h);
    pixelSize_ = designPixelSize_ = {w, h};
    doubleResolution_ = designSize_.width > 0 &&
                        static_cast<float>(w) / static_cast<float>(designSize_.width) > 1.0f;
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
  const int resolution = doubleResolution_ ? 2 : 1;
  if (contextReady_) {
    bridge_->updateContext();
    glDisable(GL_MULTISAMPLE);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);

    for (auto& texture : textures_)
      if (!texture->deferred) texture->load();
    for (Font* font : {mainFont_.get(), labelFont_.get(), textFieldFont_.get()})
      if (font) font->build(resolution);
    for (auto& font : fonts_) font->build(resolution);

    for (auto& element : elements_) element->prepareRendering();
    for (auto& element : elements_) element->finishPreparation();
    for (auto& renderer : renderers_) renderer->prepareRendering();
    prepareRendering();

    const BannerLayout banner = bannerLayout();
    const int kind = banner.content;
    if (mainFont_ && kind != kBannerNone) {
      char text[64];
      std::snprintf(text, sizeof text, "%sveldrana %d.%d.%d",
                    kind == kBannerMakerAndVersion ? "quillworks : " : "", kVersion[0], kVersion[1],
                    kVersion[2]);
      takeBannerTextColour();
      bannerText_->addRun(text, banner.textX, banner.box.minY - mainFont_->descender(),
                          bannerTextColour_);
    }
  }
  if (bridge_) bridge_->finishSetup();
  if (!contextReady_) return;

  createLayer();
  // The label glyphs belong where the layer is drawn (the off-screen
  // context when there is one).
  if (labelFont_) labelFont_->build(resolution);
  renderLayer();
}

void Manager::createLayer() {
  const Size layer = layerSize();
  const Size design = designPixelSize();
  glGenTextures(1, &layerTexture_);
  glBindTexture(GL_TEXTURE_2D, layerTexture_);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  const bool haveFramebuffers = GLEW_VERSION_3_0 || GLEW_ARB_framebuffer_object;
  if (haveFramebuffers && !preferOffscreenLayer_) {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, layer.width, layer.height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, layerTexture_, 0);
    layerReady_ = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    layerByFramebuffer_ = layerReady_;
    if (!layerReady_) platform::debugOutput("the layer picture's framebuffer is incomplete\n");
    return;
  }
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, layer.width, layer.height, 0, GL_RGB, GL_UNSIGNED_BYTE,
               nullptr);
  offscreen_ = bridge_->createOffscreenContext(design.width, design.height);
  // Creating it made it current; the window's context is the usual one.
  bridge_->makeCurrent();
  layerReady_ = offscreen_;
}

void Manager::tearDownRendering() {
  const SceneMutex::DrawingHold hold(sceneMutex_);
  if (contextReady_) {
    // When the window has gone the context stays bound to it; the deletions
    // then only release our records, and destroying the context frees the
    // rest.
    bridge_->makeCurrent();
    for (auto& texture : textures_) texture->release();
    for (Font* font : {mainFont_.get(), labelFont_.get(), textFieldFont_.get()})
      if (font) font->release();
    for (auto& font : fonts_) font->release();
    for (auto& renderer : renderers_) renderer->releaseRendering();
    if (shutdowner_) shutdowner_->shutdown();
    underlays_.release();
    if (layerTexture_ != 0) glDeleteTextures(1, &layerTexture_);
    if (framebuffer_ != 0) glDeleteFramebuffers(1, &framebuffer_);
  }
  // Glyph quads refer to atlases that are gone; the runs lay out again.
  textRuns_.clearAll();
  underlays_.forget();
  layerTexture_ = 0;
  framebuffer_ = 0;
  layerReady_ = false;
  offscreen_ = false;
  layerByFramebuffer_ = false;
  contextReady_ = false;
  if (bridge_) bridge_->destroyContexts();
}

// ---- The layer picture ----

void Manager::renderLayer() {
  if (!contextReady_ || !layerReady_) return;
  ++layerGeneration_;
  Size design;
  Colour background;
  {
    std::lock_guard<std::mutex> layout(layoutMutex_);
    design = designPixelSize_;
    background = background_;
  }
  if (offscreen_) {
    if (!bridge_->makeOffscreenCurrent()) return;
  } else {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  }
  glViewport(0, 0, design.width, design.height);
  glClearColor(background.r, background.g, background.b, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  drawFlat();
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
  if (Font* font = labelFont_.get()) {
    for (auto& element : elements_)
      if (element->isVisible()) element->drawLabel(font);
  }
  if (offscreen_)
    uploadOffscreenLayer();
  else
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void Manager::uploadOffscreenLayer() {
  std::vector<unsigned char> rgb;
  const bool read = bridge_->readOffscreenPixels(rgb);
  if (!bridge_->makeCurrent() || !read) return;
  const Size design = designPixelSize();
  const Size layer = layerSize();
  const int width = std::min(design.width, layer.width);
  const int height = std::min(design.height, layer.height);
  if (rgb.size() < static_cast<size_t>(design.width) * static_cast<size_t>(height) * 3) return;
  glBindTexture(GL_TEXTURE_2D, layerTexture_);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, design.width);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

void Manager::drawLayer() {
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, layerTexture_);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  drawLayerQuad();
  glDisable(GL_TEXTURE_2D);
}

Manager::BannerLayout Manager::bannerLayout() const {
  std::lock_guard<std::mutex> layout(layoutMutex_);
  return {bannerBox_, bannerContent_, bannerTextX_, tooltipX_, designSize_.width};
}

void Manager::takeBannerTextColour() {
  const Colour c = SharedStyle::bannerTextColour();
  bannerTextColour_[0] = c.r;
  bannerTextColour_[1] = c.g;
  bannerTextColour_[2] = c.b;
  bannerTextColour_[3] = c.a;
}

void Manager::drawLayerQuad() const {
  // Only the design's part of the texture holds the picture.
  const Size designPixels = designPixelSize();
  const Size layer = layerSize();
  const float s = static_cast<float>(designPixels.width) / static_cast<float>(layer.width);
  const float t = static_cast<float>(designPixels.height) / static_cast<float>(layer.height);
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
}

// ---- One frame ----

bool Manager::drawFrame(const std::vector<PixelRect>& parts) {
  if (!contextReady_ || !bridge_->makeCurrent()) return false;
  Size pixels;
  Colour background;
  {
    std::lock_guard<std::mutex> layout(layoutMutex_);
    pixels = pixelSize_;
    background = background_;
  }
  ++frameNumber_;
  passPixels_ = pixels;
  if (parts.empty()) {
    wholePixels_ = pixels;
    underlays_.beginWholeFrame();
    copyUnderlays_ = underlayWanted_;
    underlayWanted_ = false;
    drawPicture(pixels, background);
    underlays_.endWholeFrame();
    return true;
  }
  // The whole picture is drawn once per part; the scissor keeps every pixel
  // outside the parts as the previous frame left it in the back buffer.
  drawingPart_ = true;
  glEnable(GL_SCISSOR_TEST);
  for (const PixelRect& part : parts) {
    pass_ = part;
    bool kept = false;
    const void* owner = underlays_.containing(part, kept);
    restoringOwner_ = kept ? owner : nullptr;
    if (owner != nullptr) {
      // Kept again by the next whole frame, whatever brings it; one is
      // asked for when they are not kept yet.
      underlayWanted_ = true;
      if (!kept) notePictureChange();
    }
    glScissor(part.x, part.y, part.width, part.height);
    restorePending_ = restoringOwner_ != nullptr;
    drawPicture(pixels, background);
    if (restorePending_) {
      // The owner did not draw after all: the part is drawn in full, and
      // the next frame whole.
      restoringOwner_ = nullptr;
      restorePending_ = false;
      drawPicture(pixels, background);
      notePictureChange();
    }
  }
  glDisable(GL_SCISSOR_TEST);
  drawingPart_ = false;
  restoringOwner_ = nullptr;
  return true;
}

bool Manager::restoreUnderlay(const void* owner) {
  if (!drawingPart_ || owner == nullptr || owner != restoringOwner_) return false;
  underlays_.restore(owner);
  restorePending_ = false;
  return true;
}

void Manager::keepUnderlay(const void* owner, const Bounds& designBox) {
  if (drawingPart_) return;
  // One pixel more than a part is widened by, so that the part of a change
  // within designBox lies inside.
  underlays_.mark(
      owner,
      redrawnPixels(designBox, geometry_.xScale, geometry_.yScale, passPixels_, kPartMargin + 1),
      copyUnderlays_);
}

bool Manager::passMeets(const Bounds& designBox) const {
  if (!drawingPart_) return true;
  const PixelRect r = redrawnPixels(designBox, geometry_.xScale, geometry_.yScale, passPixels_, 1);
  return !r.empty() && r.x < pass_.x + pass_.width && pass_.x < r.x + r.width &&
         r.y < pass_.y + pass_.height && pass_.y < r.y + r.height;
}

void Manager::drawPicture(Size pixels, Colour background) {
  const ViewGeometry& g = geometry_;
  glViewport(0, 0, pixels.width, pixels.height);
  // Shows the background even where no layer picture could be made.
  // A pass whose part an underlay covers leaves all below it to the copy.
  const bool below = restoringOwner_ == nullptr;
  glDepthMask(GL_TRUE);
  glClearColor(background.r, background.g, background.b, 1.0f);
  if (below) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  // The lit pass: a perspective in which one unit at z = 0 is one pixel.
  glDepthRange(0.1, 1.0);
  glEnable(GL_DEPTH_TEST);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  const double nearPlane = g.eyeDistance;
  const double top = nearPlane * std::tan(kFieldOfViewRadians / 2.0);
  glFrustum(-top * g.aspect, top * g.aspect, -top, top, nearPlane, 100.0 * nearPlane);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(-g.eyeX, -g.eyeY, -g.eyeDistance);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glEnable(GL_LIGHTING);
  ambient(0.2f);
  glEnable(GL_LIGHT0);
  light(GL_LIGHT0, GL_DIFFUSE, 0.6f, 0.6f, 0.6f, 1.0f);
  light(GL_LIGHT0, GL_SPECULAR, 0.3f, 0.3f, 0.3f, 1.0f);
  light(GL_LIGHT0, GL_POSITION, 1.0f, 1.0f, 1.0f, 1.0f);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 40.0f);
  material(GL_SPECULAR, 0.7f, 0.5f, 0.5f, 1.0f);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  glEnable(GL_COLOR_MATERIAL);
  if (below)
    for (auto& renderer : renderers_) renderer->draw3D();

  // The layer picture behind everything flat.
  glDepthRange(0.0, 0.1);
  drawFlat();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  if (layerReady_ && below) drawLayer();

  // The overlay in design pixels, scaled to whatever the window is now.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glTranslatef(-1.0f, -1.0f, 0.0f);
  glScalef(g.xScale, g.yScale, 1.0f);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  drawOverlay();
}

void Manager::drawOverlay() {
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  ambient(0.2f);
  light(GL_LIGHT0, GL_DIFFUSE, 0.8f, 0.8f, 0.8f, 1.0f);
  light(GL_LIGHT0, GL_SPECULAR, 0.2f, 0.2f, 0.2f, 1.0f);
  light(GL_LIGHT0, GL_POSITION, 0.6f, 0.6f, 0.5f, 0.0f);

  // The pointer light (the shaders' light 1) eases towards what is hovered.
  if (hoverElement_ != nullptr) {
    const Bounds box = hoverBox(hoverElement_);
    if (!box.empty()) hoverCentre_ = {box.centreX(), box.centreY()};
  }
  // Part frames leave the light where the last whole frame put it: every
  // pixel of the window then shows the same light.
  if (!drawingPart_) {
    movingLight_[0] = kLightEase * hoverCentre_.x + (1.0f - kLightEase) * movingLight_[0];
    movingLight_[1] = kLightEase * hoverCentre_.y + (1.0f - kLightEase) * movingLight_[1];
  }
  glEnable(GL_LIGHT1);
  light(GL_LIGHT1, GL_DIFFUSE, 0.9f, 0.9f, 0.9f, 1.0f);
  light(GL_LIGHT1, GL_SPECULAR, 0.5f, 0.5f, 0.7f, 1.0f);
  glLightfv(GL_LIGHT1, GL_POSITION, movingLight_);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 40.0f);
  material(GL_SPECULAR, 0.5f, 0.5f, 0.5f, 1.0f);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  glEnable(GL_COLOR_MATERIAL);

  // The banner run points at this; the layout script may change it later.
  takeBannerTextColour();

  const bool floating = GlobalSettings::floatingTooltip.load(std::memory_order_relaxed);
  std::string floatingText;
  if (mainFont_) {
    const Bounds banner = bannerBounds();
    const Colour colour = [this] {
      std::lock_guard<std::mutex> layout(layoutMutex_);
      return banner_;
    }();
    // A pass that puts back what lies below an element draws nothing
    // before that element: the copy covers it.
    if (!restorePending_) {
      if (!banner.empty())
        gl::blendQuad(banner.minX, banner.minY, banner.maxX, banner.maxY, colour);
      drawTooltip(floating ? &floatingText : nullptr);
    }
  }

  root_->draw();
  glDepthMask(GL_FALSE);
  for (auto& renderer : renderers_)
    if (!restorePending_ || renderer.get() == restoringOwner_) renderer->draw();
  if (drawOverlayPass_) root_->drawOverlay();

  if (floating && mainFont_) drawFloatingTooltip(floatingText);
}

void Manager::drawTooltip(std::string* floatingText) {
  Font* font = mainFont_.get();
  const BannerLayout banner = bannerLayout();
  float x = banner.tooltipX;
  // Automatic placement uses the design width: the overlay is drawn in
  // design pixels whatever the window's size.
  if (x < 0.0f) {
    x = banner.content == kBannerNone ? 25.0f
                                      : static_cast<float>(banner.designWidth) / 2.0f + 15.0f;
  }
  const float y = banner.box.minY - font->descender();
  glColor4fv(bannerTextColour_);

  const int32_t id = editedParameter_ >= 0 ? editedParameter_ : hoveredId_;
  if (id < kNoTooltip) {
    if (id != cachedTooltipId_) {
      cachedTooltip_ = tooltipString(id);
      cachedTooltipId_ = id;
    }
    tooltipString_.set(font, cachedTooltip_, x, y);
    tooltipString_.draw(font);
  } else if (id >= 0) {
    drawParameterTooltip(font, id, x, y, floatingText);
  }
}

void Manager::drawParameterTooltip(Font* font, int32_t index, float x, float y, std::string* text) {
  const ParameterDescriptor* p = parameter(index);
  if (p == nullptr) return;
  const std::string name = p->name();
  const std::string display = p->display();
  const std::string label = p->label();
  float base = x + 150.0f;
  tooltipName_.set(font, name, base - 10.0f - font->advance(name), y);
  tooltipName_.draw(font);
  tooltipValue_.set(font, display, base, y);
  tooltipValue_.draw(font);
  base += 40.0f;
  if (!label.empty()) {
    base = tooltipLabel_.set(font, label, base, y) + 10.0f;
    tooltipLabel_.draw(font);
  }
  std::string full = name + " " + display + " " + label;
  drawParameterExtra(font, index, base, y, full);
  if (text != nullptr) *text = std::move(full);
}

void Manager::drawFloatingTooltip(const std::string& text) {
  Font* font = mainFont_.get();
  if (drawingPart_) {
    // The fade stands still in part frames, as the light does.
  } else if (tooltipElement_ == nullptr || text.empty()) {
    floatingAlpha_ *= kFloatingDecay;
    if (floatingAlpha_ < kFloatingInvisible) floatingAlpha_ = 0.0f;
  } else {
    floatingAlpha_ = (1.0f - kFloatingRise) * floatingAlpha_ + kFloatingRise;
    std::snprintf(floatingText_, sizeof floatingText_, "%s", text.c_str());
    const float width = font->advance(floatingText_);
    const Bounds element = hoverBox(tooltipElement_);
    const float designWidth = static_cast<float>(designSize().width);
    float x = element.centreX() - width / 2.0f;
    x = std::min(x, designWidth - kFloatingPadding - width);
    x = std::max(x, kFloatingPadding);
    const float y = element.centreY();
    floatingBox_ = Bounds::fromRect(x, y, width, font->lineHeight());
  }
  if (floatingAlpha_ <= 0.0f) return;
  const Bounds& box = floatingBox_;
  gl::blendQuad(box.minX - kFloatingPadding, box.minY, box.maxX + kFloatingPadding, box.maxY,
                {0.7f, 0.7f, 0.7f, 0.5f * floatingAlpha_});
  glColor4f(0.8f, 0.8f, 0.8f, 0.9f * floatingAlpha_);
  floatingTooltip_.set(font, floatingText_, box.minX, box.minY - font->descender());
  floatingTooltip_.draw(font);
}

}  // namespace QW
