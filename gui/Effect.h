// A renderer: something the manager draws every frame besides the element
// tree (text batches, knobs, meters). Owned by the manager.
#pragma once

namespace QW {

class Effect {
 public:
  virtual ~Effect() = default;
  // Once per frame before drawing.
  virtual void update() {}
  // The overlay pass, in window pixels.
  virtual void draw() {}
  // The lit pass (perspective, lighting on).
  virtual void draw3D() {}
  // After the GL context exists, on the render thread.
  virtual void prepareRendering() {}
  // Before the GL context goes away, on the render thread.
  virtual void releaseRendering() {}
};

}  // namespace QW
