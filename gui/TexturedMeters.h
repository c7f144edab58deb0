// Level meters: bars that uncover a strip of the atlas from its lower end.
#pragma once

#include <cstddef>
#include <vector>

#include "gui/Bounds.h"
#include "gui/Effect.h"

namespace QW {

class Manager;
struct Texture;

class TexturedMeters : public Effect {
 public:
  // (u, v, width, height): the strip in texels, also its size on screen.
  TexturedMeters(Manager* manager, Texture* texture, float u, float v, float width, float height);

  // level points to a float the audio thread writes (read without a lock).
  void addMeter(float x, float y, const float* level);
  size_t meterCount() const { return meters_.size(); }

  // The bar height for a level (clamped to 0..1, NaN as 0), in pixels.
  float barHeight(float level) const;

  // A meter's bar as drawn now: the quad (x0, y0)-(x1, y1) and the atlas
  // strip it shows, s0..s1 across and tBottom (at y0) to tTop (at y1).
  struct Bar {
    float x0, y0, x1, y1;
    float s0, s1, tBottom, tTop;
  };
  Bar bar(size_t index) const;
  // All the wells together, in design pixels.
  Bounds wells() const;

  // Notes a change of any level since the last update.
  void update() override;
  void draw() override;

 private:
  struct Meter {
    float x;
    float y;
    const float* level;
  };

  Manager* manager_;
  Texture* texture_;
  float u_;
  float v_;
  float width_;
  float height_;
  std::vector<Meter> meters_;
  std::vector<float> shownHeights_;
};

}  // namespace QW
