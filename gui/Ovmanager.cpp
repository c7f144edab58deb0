#include "gui/Ovmanager.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

#include "core/AudioUnitTypes.h"
#include "core/GlobalSettings.h"
#include "core/ParamIds.h"
#include "core/QwkAuBase.h"

namespace QW {

namespace {

// The layer picture lit per pixel by the pointer light (light 1) through
// the tiled background normal map. The layer's alpha tells background (0)
// from labels (up to 1), which stay unlit.
const char* const kBackgroundFragmentShader = R"(#version 110
uniform sampler2D tex;
uniform sampler2D normalMap;
uniform float viewportH;
void main() {
  vec2 st = gl_TexCoord[0].st;
  vec4 diffuse = texture2D(tex, st);
  vec3 n = texture2D(normalMap, vec2(16.0 * st.s, 8.0 * st.t)).rgb * 2.0 - 1.0;
  vec3 p = vec3(1024.0 * st.s, viewportH - 512.0 * st.t, 0.0);
  vec3 v = gl_LightSource[1].position.xyz - p;
  vec3 l = normalize(v);
  float d = 300.0 * max(0.0, dot(n, l)) / (300.0 + length(v)) + 0.6;
  float label = min(1.0, diffuse.a / 0.16);
  d = d * (1.0 - label) + label;
  vec3 h = normalize(l + vec3(0.0, 0.0, 1.0));
  float s = 0.5 * pow(max(0.0, dot(n, h)), 30.0) * (1.0 - label);
  gl_FragColor = vec4(diffuse.rgb * d + vec3(0.8, 0.2, 0.2) * s, diffuse.a);
}
)";

// Where the tiled part of the background ends below the banner.
constexpr float kBannerGap = 7.0f;
constexpr float kUpperBackgroundAlpha = 0.16f;

void setRepeat(const Texture* texture) {
  if (!texture || texture->glName == 0) return;
  glBindTexture(GL_TEXTURE_2D, texture->glName);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glBindTexture(GL_TEXTURE_2D, 0);
}

}  // namespace

class Ovmanager::OvRenderingShutdowner : public Manager::RenderingShutdowner {
 public:
  explicit OvRenderingShutdowner(Ovmanager& owner) : owner_(owner) {}
  void shutdown() override {
    owner_.releaseKeptLitLayer();
    owner_.program_.release();
    owner_.texLocation_ = owner_.normalMapLocation_ = owner_.viewportHLocation_ = -1;
  }

 private:
  Ovmanager& owner_;
};

Ovmanager::Ovmanager(QwkAuBase* effect) : Manager(effect), readout_(&textRuns()) {}

// The render thread uses this object's shader and textures until it ends.
Ovmanager::~Ovmanager() {
  StopRenderTask();
}

void Ovmanager::setBackgroundTexture(Texture* background, Texture* normalMap) {
  background_ = background;
  backgroundNormal_ = normalMap;
  // Loaded by drawBackground when the layer is first drawn, not at set-up.
  if (background_) background_->deferred = true;
}

void Ovmanager::prepareRendering() {
  if (ShaderProgram::available() &&
      program_.build("background", nullptr, kBackgroundFragmentShader)) {
    texLocation_ = program_.uniformLocation("tex");
    normalMapLocation_ = program_.uniformLocation("normalMap");
    viewportHLocation_ = program_.uniformLocation("viewportH");
  }
  if (backgroundNormal_) {
    // Normally loaded with the other textures already; a deferred one would
    // not be, and the shader needs it from the first frame.
    backgroundNormal_->load();
    setRepeat(backgroundNormal_);
  }
}

std::unique_ptr<Manager::RenderingShutdowner> Ovmanager::createRenderingShutdowner() {
  return std::make_unique<OvRenderingShutdowner>(*this);
}

float Ovmanager::layerViewportHeight() const {
  // The shader measures the layer in window pixels (512 per texture
  // height); a double-resolution layer holds twice as many texels.
  const Size layer = layerSize();
  return static_cast<float>(designPixelSize().height) * 512.0f /
         static_cast<float>(layer.height > 0 ? layer.height : 512);
}

void Ovmanager::drawLayer() {
  if (!program_.valid() || !GlobalSettings::eyeCandy.load()) {
    glDisable(GL_LIGHTING);
    Manager::drawLayer();
    return;
  }
  glUseProgram(program_.name());
  const bool normalMap = backgroundNormal_ && backgroundNormal_->glName != 0;
  if (normalMap) {
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, backgroundNormal_->glName);
    glUniform1i(normalMapLocation_, 1);
  }
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, layerTexture());
  glUniform1i(texLocation_, 0);
  glUniform1f(viewportHLocation_, layerViewportHeight());

  const LitLayerKey key = litLayerKey();
  if (!drawKeptLitLayer(key)) {
    drawLayerQuad();
    if (!drawingPart()) {
      if (key == previousKey_) keepLitLayer(key);
    } else if (canKeepLitLayer()) {
      // A part frame lights only some of the pixels, so it cannot keep
      // them; the next frame is drawn whole to keep them for the parts
      // after it.
      notePictureChange();
    }
  }
  previousKey_ = key;

  if (normalMap) {
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  glUseProgram(0);
}

bool Ovmanager::LitLayerKey::operator==(const LitLayerKey& other) const {
  return layerGeneration == other.layerGeneration && light[0] == other.light[0] &&
         light[1] == other.light[1] && light[2] == other.light[2] && light[3] == other.light[3] &&
         viewportHeight == other.viewportHeight && pixels.width == other.pixels.width &&
         pixels.height == other.pixels.height && design.width == other.design.width &&
         design.height == other.design.height;
}

Ovmanager::LitLayerKey Ovmanager::litLayerKey() const {
  LitLayerKey key;
  key.layerGeneration = layerGeneration();
  std::copy(pointerLight(), pointerLight() + 4, key.light);
  key.viewportHeight = layerViewportHeight();
  key.pixels = pixelSize();
  key.design = designPixelSize();
  return key;
}

bool Ovmanager::canKeepLitLayer() {
  return GLEW_VERSION_3_0 || GLEW_ARB_framebuffer_object;
}

void Ovmanager::keepLitLayer(const LitLayerKey& key) {
  if (!canKeepLitLayer()) return;
  const Size pixels = key.pixels;
  if (pixels.width <= 0 || pixels.height <= 0) return;
  if (keptTexture_ == 0) glGenTextures(1, &keptTexture_);
  glBindTexture(GL_TEXTURE_2D, keptTexture_);
  if (keptSize_.width != pixels.width || keptSize_.height != pixels.height) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, pixels.width, pixels.height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
    keptSize_ = pixels;
    if (keptFramebuffer_ == 0) glGenFramebuffers(1, &keptFramebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, keptFramebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, keptTexture_, 0);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!complete) {
      glBindTexture(GL_TEXTURE_2D, 0);
      releaseKeptLitLayer();
      return;
    }
  }
  // A copy of the pixels just drawn, not a second drawing: the window and
  // a framebuffer object need not rasterize the quad alike.
  glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, pixels.width, pixels.height);
  glBindTexture(GL_TEXTURE_2D, 0);
  keptKey_ = key;
  kept_ = true;
}

bool Ovmanager::drawKeptLitLayer(const LitLayerKey& key) const {
  if (!kept_ || !(key == keptKey_)) return false;
  const Size pixels = key.pixels;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, keptFramebuffer_);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glBlitFramebuffer(0, 0, pixels.width, pixels.height, 0, 0, pixels.width, pixels.height,
                    GL_COLOR_BUFFER_BIT, GL_NEAREST);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  return true;
}

void Ovmanager::releaseKeptLitLayer() {
  if (keptFramebuffer_ != 0) glDeleteFramebuffers(1, &keptFramebuffer_);
  if (keptTexture_ != 0) glDeleteTextures(1, &keptTexture_);
  keptFramebuffer_ = 0;
  keptTexture_ = 0;
  keptSize_ = {0, 0};
  kept_ = false;
  keptKey_ = LitLayerKey{};
  previousKey_ = LitLayerKey{};
}

void Ovmanager::drawBackground() {
  // The extent the layer's projection covers, in window pixels.
  const float width = 2.0f / geometry().xScale;
  const float height = 2.0f / geometry().yScale;
  // Without a banner the tile fills the window.
  const Bounds banner = bannerBounds();
  const float split = banner.empty() ? height : std::clamp(banner.minY - kBannerGap, 0.0f, height);

  glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT);
  // Written, not blended: the alpha in the layer is what the shader reads.
  glDisable(GL_BLEND);
  glDisable(GL_LIGHTING);
  if (background_) {
    background_->load();
    const float tileWidth = static_cast<float>(std::max(background_->width, 1));
    const float tileHeight = static_cast<float>(std::max(background_->height, 1));
    glEnable(GL_TEXTURE_2D);
    setRepeat(background_);
    glBindTexture(GL_TEXTURE_2D, background_->glName);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBegin(GL_QUADS);
    glColor4f(0.85f, 0.8f, 0.8f, 0.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(width / tileWidth, 0.0f);
    glVertex2f(width, 0.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 0.0f);
    glTexCoord2f(width / tileWidth, split / tileHeight);
    glVertex2f(width, split);
    glTexCoord2f(0.0f, split / tileHeight);
    glVertex2f(0.0f, split);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
  }
  const Colour colour = backgroundColour();
  glColor4f(colour.r, colour.g, colour.b, kUpperBackgroundAlpha);
  glBegin(GL_QUADS);
  glVertex2f(0.0f, split);
  glVertex2f(width, split);
  glVertex2f(width, height);
  glVertex2f(0.0f, height);
  glEnd();
  glPopAttrib();
}

void Ovmanager::drawParameterExtra(Font* font, int32_t parameter, float x, float y,
                                   std::string& text) {
  if (parameter < kParamBin0Level || parameter >= kParamCount) return;
  const int bin = parameter - kParamBin0Level;
  int sizeIndex = 0;
  float sampleRate = 44100.0f;
  if (bin != 0) {
    if (!effect_) return;
    sizeIndex = static_cast<int>(effect_->getParameterPlain(kParamFftSize));
    double rate = 0.0;
    sampleRate = effect_->GetProperty(kAudioUnitProperty_SampleRate, 0, 0, &rate) == kAudioUnitNoErr
                     ? static_cast<float>(rate)
                     : effect_->getSampleRate();
  }
  const std::string readout = binReadout(bin, sizeIndex, sampleRate);
  if (font) {
    readout_.set(font, readout, x, y);
    readout_.draw(font);
  }
  text += " ";
  text += readout;
}

}  // namespace QW
