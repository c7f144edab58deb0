#include "gui/TexturedKnobRenderer.h"

#include <GL/glew.h>

#include "core/GlobalSettings.h"
#include "gui/Manager.h"
#include "gui/Texture.h"

namespace QW {

namespace {

// Per-pixel light of the pointer (light 1) on the knob's normal map. The
// vertex normal holds the knob's turn, so normMat turns the map's normals
// with the image; lightDir.w keeps the distance for the fall-off.
const char* const kKnobVertexShader = R"(#version 110
varying vec2 uv;
varying mat3 normMat;
varying vec4 lightDir;
varying vec3 hv;
void main() {
  gl_Position = ftransform();
  uv = gl_MultiTexCoord0.xy;
  vec3 n = gl_Normal;
  normMat = mat3(vec3(n.x, n.y, 0.0), vec3(-n.y, n.x, 0.0), vec3(0.0, 0.0, 1.0));
  vec3 toLight = gl_LightSource[1].position.xyz - gl_Vertex.xyz;
  lightDir = vec4(normalize(toLight), length(toLight));
  hv = normalize(lightDir.xyz + vec3(0.0, 0.0, 1.0));
}
)";

const char* const kKnobFragmentShader = R"(#version 110
uniform sampler2D tex;
uniform sampler2D normalMap;
varying vec2 uv;
varying mat3 normMat;
varying vec4 lightDir;
varying vec3 hv;
void main() {
  vec4 diffuse = texture2D(tex, uv);
  vec3 n = normMat * (texture2D(normalMap, uv).rgb * 2.0 - 1.0);
  float ndl = max(0.0, dot(n, lightDir.xyz));
  float d = 300.0 * ndl / (300.0 + lightDir.w) + 0.4;
  float s = 0.5 * pow(max(0.0, dot(n, hv)), 10.0);
  gl_FragColor = vec4(diffuse.rgb * d + vec3(0.2, 0.8, 0.2) * s, diffuse.a);
}
)";

bool loaded(const Texture* texture) {
  return texture && texture->glName != 0;
}

}  // namespace

TexturedKnobRenderer::TexturedKnobRenderer(Manager* manager, Texture* texture, Texture* normalMap,
                                           float u, float v, float size)
    : manager_(manager), texture_(texture), normalMap_(normalMap), u_(u), v_(v), size_(size) {}

TexturedKnobRenderer::~TexturedKnobRenderer() = default;

int TexturedKnobRenderer::addInstance(const Colour& colour) {
  Instance instance;
  instance.colour = colour;
  instances_.push_back(instance);
  const int index = static_cast<int>(instances_.size()) - 1;
  if (bufferReady_) {
    vertices_.resize(instances_.size() * kKnobFloats);
    fillVertices(index);
  }
  return index;
}

void TexturedKnobRenderer::setCentre(int index, float x, float y, float radius) {
  Instance& instance = instances_[static_cast<size_t>(index)];
  instance.x = x;
  instance.y = y;
  instance.radius = radius;
  if (bufferReady_) fillVertices(index);
}

void TexturedKnobRenderer::setAngle(int index, float angle) {
  // The angle is kept even before the buffer exists, so the first fill
  // shows the knob's current value.
  instances_[static_cast<size_t>(index)].angle = angle;
  if (bufferReady_) fillVertices(index);
}

void TexturedKnobRenderer::setVisible(int index, bool visible) {
  instances_[static_cast<size_t>(index)].visible = visible;
}

void TexturedKnobRenderer::fillVertices(int index) {
  const Instance& instance = instances_[static_cast<size_t>(index)];
  knobVertices(quad_, instance.x, instance.y, instance.radius, instance.angle,
               vertices_.data() + static_cast<size_t>(index) * kKnobFloats);
}

void TexturedKnobRenderer::prepareGeometry() {
  quad_ = knobQuad(u_, v_, size_, texture_ ? texture_->width : 0, texture_ ? texture_->height : 0);
  vertices_.assign(instances_.size() * kKnobFloats, 0.0f);
  bufferReady_ = true;
  for (size_t i = 0; i < instances_.size(); ++i) fillVertices(static_cast<int>(i));
}

std::vector<KnobRun> TexturedKnobRenderer::drawRuns() const {
  std::vector<bool> visible(instances_.size());
  for (size_t i = 0; i < instances_.size(); ++i) visible[i] = instances_[i].visible;
  return visibleRuns(visible);
}

void TexturedKnobRenderer::prepareRendering() {
  prepareGeometry();
  if (ShaderProgram::available() &&
      program_.build("knob renderer", kKnobVertexShader, kKnobFragmentShader)) {
    texLocation_ = program_.uniformLocation("tex");
    normalMapLocation_ = program_.uniformLocation("normalMap");
  }
}

Bounds TexturedKnobRenderer::drawnBounds() const {
  Bounds all;
  for (size_t i = 0; i < instances_.size() && bufferReady_; ++i) {
    if (!instances_[i].visible) continue;
    const float* knob = vertices_.data() + i * kKnobFloats;
    for (size_t corner = 0; corner < 4; ++corner) {
      const float* v = knob + corner * kKnobVertexFloats;
      all.extend(Bounds{v[5], v[6], 0.0f, v[5], v[6], 0.0f});
    }
  }
  return all;
}

void TexturedKnobRenderer::draw() {
  if (!bufferReady_ || instances_.empty()) return;
  // A pass that redraws only part of the window away from every knob has
  // nothing of theirs to draw.
  if (manager_ && manager_->drawingPart() && !manager_->passMeets(drawnBounds())) return;
  const std::vector<KnobRun> runs = drawRuns();
  if (runs.empty()) return;

  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, 0.0f);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  // Every knob is drawn white: the lit path ignores vertex colours, and the
  // flat path must show the same image, only unlit.
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

  // Without its normal map the shader would light the knob from garbage.
  const bool lit = program_.valid() && GlobalSettings::eyeCandy.load() && loaded(normalMap_);
  if (lit) {
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, normalMap_->glName);
    glActiveTexture(GL_TEXTURE0);
  }
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture_ ? texture_->glName : 0);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  if (lit) {
    glUseProgram(program_.name());
    glUniform1i(texLocation_, 0);
    glUniform1i(normalMapLocation_, 1);
  }

  if (GLEW_VERSION_1_3) glClientActiveTexture(GL_TEXTURE0);
  glInterleavedArrays(GL_T2F_N3F_V3F, 0, vertices_.data());
  for (const KnobRun& run : runs)
    glDrawArrays(GL_QUADS, static_cast<GLint>(run.first * 4),
                 static_cast<GLsizei>((run.end - run.first) * 4));

  if (lit) {
    glUseProgram(0);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  glPopClientAttrib();
  glPopAttrib();
}

void TexturedKnobRenderer::releaseRendering() {
  program_.release();
  texLocation_ = -1;
  normalMapLocation_ = -1;
}

}  // namespace QW
