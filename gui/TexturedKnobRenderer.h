// Draws every knob of an editor from one interleaved vertex buffer: a
// textured quad per knob, turned by its angle and, with eye candy, lit per
// pixel through the knob image's normal map.
#pragma once

#include <cstddef>
#include <vector>

#include "gui/Bounds.h"
#include "gui/Effect.h"
#include "gui/KnobGeometry.h"
#include "gui/ShaderProgram.h"

namespace QW {

class Manager;
struct Texture;

class TexturedKnobRenderer : public Effect {
 public:
  struct Instance {
    float x = 0.0f;
    float y = 0.0f;
    float radius = 0.0f;
    float angle = 0.0f;
    Colour colour;
    bool visible = true;
  };

  // The knob image lies at texel (u, v), size x size, in texture and
  // normalMap (not owned; either may be null).
  TexturedKnobRenderer(Manager* manager, Texture* texture, Texture* normalMap, float u, float v,
                       float size);
  ~TexturedKnobRenderer() override;

  // One knob; answers its index.
  int addInstance(const Colour& colour);
  void setCentre(int index, float x, float y, float radius);
  // Stores the angle; the knob's four vertices follow once the buffer exists.
  void setAngle(int index, float angle);
  void setVisible(int index, bool visible);
  const Instance& instance(int index) const { return instances_[static_cast<size_t>(index)]; }
  size_t instanceCount() const { return instances_.size(); }
  // 32 bytes a vertex: s, t, nx, ny, nz, x, y, z; four per knob.
  const std::vector<float>& vertices() const { return vertices_; }

  // The quad template (from the texture's size) and the vertex buffer of
  // every knob; no GL. prepareRendering starts with it.
  void prepareGeometry();
  // The runs of consecutive visible knobs that draw() hands to GL.
  std::vector<KnobRun> drawRuns() const;
  // Where the visible knobs' quads lie, in design pixels.
  Bounds drawnBounds() const;

  void prepareRendering() override;
  void draw() override;
  void releaseRendering() override;

 private:
  void fillVertices(int index);

  Manager* manager_;
  Texture* texture_;
  Texture* normalMap_;
  float u_;
  float v_;
  float size_;
  std::vector<Instance> instances_;
  KnobQuad quad_{};
  std::vector<float> vertices_;
  bool bufferReady_ = false;
  ShaderProgram program_;
  int texLocation_ = -1;
  int normalMapLocation_ = -1;
};

}  // namespace QW
