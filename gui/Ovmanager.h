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

  Texture* background_ = nullptr;
  Texture* backgroundNormal_ = nullptr;
  ShaderProgram program_;
  int texLocation_ = -1;
  int normalMapLocation_ = -1;
  int viewportHLocation_ = -1;
  TextRun readout_;
};

}  // namespace QW
