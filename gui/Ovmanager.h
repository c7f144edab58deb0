// The plug-in's manager: a tiled, normal-mapped background lit by the
// pointer light, and the frequency and note readout of bin tooltips.
#pragma once

#include <string>

#include "gui/BinReadout.h"
#include "gui/Manager.h"
#include "gui/ShaderProgram.h"
#include "gui/TextRun.h"

namespace QW {

class Ovmanager : public Manager {
 public:
  explicit Ovmanager(QwkAuBase* effect);
  ~Ovmanager() override;

  // Both may be null; the background is loaded on first use.
  void setBackgroundTexture(Texture* background, Texture* normalMap);

 protected:
  void prepareRendering() override;
  std::unique_ptr<RenderingShutdowner> createRenderingShutdowner() override;
  void drawLayer() override;
  void drawParameterExtra(Font* font, int32_t parameter, float x, float y,
                          std::string& text) override;
  void drawBackground() override;

 private:
  class OvRenderingShutdowner;

  // The layer's height in window pixels, as the background shader places
  // the light.
  float layerViewportHeight() const;

  // What the lit layer's pixels depend on besides set-up.
  struct LitLayerKey {
    uint64_t layerGeneration = 0;
    float light[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float viewportHeight = 0.0f;
    Size pixels{0, 0};
    Size design{0, 0};
    bool operator==(const LitLayerKey& other) const;
  };
  LitLayerKey litLayerKey() const;
  // Keeps the window's lit layer as just drawn, for frames whose key is
  // the same.
  static bool canKeepLitLayer();
  void keepLitLayer(const LitLayerKey& key);
  bool drawKeptLitLayer(const LitLayerKey& key) const;
  void releaseKeptLitLayer();

  Texture* background_ = nullptr;
  Texture* backgroundNormal_ = nullptr;
  ShaderProgram program_;
  int texLocation_ = -1;
  int normalMapLocation_ = -1;
  int viewportHLocation_ = -1;
  TextRun readout_;
  // The per-pixel light of the whole window costs more than any other part
  // of a frame with software GL, yet gives the same pixels until the light
  // or the layer changes; it is kept once the light has stood still for a
  // frame and copied back while it stays so.
  unsigned int keptTexture_ = 0;
  unsigned int keptFramebuffer_ = 0;
  Size keptSize_{0, 0};
  bool kept_ = false;
  LitLayerKey keptKey_;
  LitLayerKey previousKey_;
};

}  // namespace QW
