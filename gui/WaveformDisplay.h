// The spectrum display: the upper half of its box shows channel 0's live
// spectrum as the forward transform produced it (filled bars) and after the
// script and the bin levels (a line per bin); the lower half shows one bar
// per bin level, on which the user draws the levels with the mouse.
//
// Every bin is also a hover region of its own, so the tooltip names the bin
// under the pointer. The regions are elements owned by the manager; the
// display keeps pointers to them and hands them out from its hit test.
//
// Threads: update and draw run on the render thread, the mouse on the
// window's thread; the manager's scene lock keeps them apart. The spectra
// are read from the audio thread's buffers without a lock, so every value
// is clamped before it is drawn.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "gui/ParameterDescriptor.h"
#include "gui/SpectrumMath.h"
#include "gui/UIElement.h"

struct ViewState;

namespace QW {

class WaveformDisplay : public ControlBase {
 public:
  // One bin's column of the display, for hover tracking and the tooltip.
  class RegionReceiver : public UIElement {
   public:
    RegionReceiver(Manager* manager, WaveformDisplay* display, int bin);

    // Presses and drags on a region edit the levels as on the display.
    void mouseDown(Point point, uint32_t modifiers, int clickCount) override;
    void mouseDragged(Point point, uint32_t modifiers) override;
    void mouseEntered() override;
    void mouseExited() override;

    int bin() const { return bin_; }
    // Narrows the box to the bin's column of the display as it is laid out
    // now (axis and FFT size).
    void refreshBounds();

   private:
    WaveformDisplay* display_;
    int bin_;
  };

  // One vertex of a level bar: colour bytes, then the position
  // (the GL_C4UB_V2F layout).
  struct SliderVertex {
    uint8_t r, g, b, a;
    float x, y;
  };

  WaveformDisplay(Manager* manager, float x, float y, float width, float height,
                  ViewState* viewState);

  void setFFTColour(float r, float g, float b);
  void setPFFTColour(float r, float g, float b);
  void setSliderColours(float r1, float g1, float b1, float r2, float g2, float b2);

  void update() override;
  void draw() override;
  void mouseDown(Point point, uint32_t modifiers, int clickCount) override;
  void mouseDragged(Point point, uint32_t modifiers) override;
  // The region of the bin under point, or null outside the box.
  UIElement* hitTest(Point point) override;
  // The regions share the display's parent, so their absolute boxes match.
  void setParent(Group* parent) override;

  // The per-frame work before the GL calls: new spectrum heights and the
  // level bars. draw() runs it; public so it can be checked without GL.
  void prepareFrame();

  // Axis and FFT size as the display block shows them now.
  spectrum::Axis axis() const;
  float cachedLevel(int bin) const { return levels_[static_cast<size_t>(bin)]; }
  const std::vector<RegionReceiver*>& regions() const { return regions_; }
  // Heights above the spectrum minimum of the bars (raw spectrum) and of the
  // segments (processed spectrum), in the layout of the current axis.
  float rawHeight(int bin) const { return rawHeights_[static_cast<size_t>(bin)]; }
  float processedHeight(int bin) const { return processedHeights_[static_cast<size_t>(bin)]; }
  const std::vector<SliderVertex>& sliderVertices() const { return sliders_; }

 private:
  struct ValueRange {
    float minimum;
    float maximum;
  };

  void makeLinearLayout();
  void makeLogLayout(int sizeIndex);
  void ensureLogLayout(const spectrum::Axis& axis);
  void refreshSpectra();
  // Smooths one spectrum into heights (its history from frame to frame).
  float refreshSpectrum(const float* packed, int fftSize, bool logY, ValueRange range,
                        float coefficient, std::vector<float>& heights);
  void rebuildSliders(const spectrum::Axis& axis);
  // Collects the vertex indices of the bars that can reach a pixel under
  // the current matrices; edges(k) gives bar k's left and right x. Answers
  // how many indices there are.
  template <class Edges>
  int collectDrawnBars(int nbins, Edges&& edges);
  ValueRange valueRange() const;
  void setBinLevel(int bin, float level);
  const ParameterDescriptor& binParameter(int bin) const { return bins_[static_cast<size_t>(bin)]; }

  ViewState* viewState_;
  std::vector<ParameterDescriptor> bins_;
  std::vector<float> levels_;
  ParameterDescriptor xAxisParameter_;
  ParameterDescriptor fftSizeParameter_;
  float lastXAxis_ = -1.0f;
  float lastFftSize_ = -1.0f;

  std::array<float, 3> fftColour_{{1.0f, 1.0f, 1.0f}};
  std::array<float, 3> pfftColour_{{1.0f, 1.0f, 1.0f}};
  std::array<uint8_t, 4> sliderBytes1_{{255, 128, 128, 160}};
  std::array<uint8_t, 4> sliderBytes2_{{255, 128, 160, 128}};

  // Four (x, y) vertices per bin for the bars, two per bin for the
  // segments; one set for each axis.
  std::vector<float> fftLinear_;
  std::vector<float> fftLog_;
  std::vector<float> pfftLinear_;
  std::vector<float> pfftLog_;
  std::vector<SliderVertex> sliders_;
  // Bars narrower than a pixel that fall between two pixel centres give no
  // fragment; with thousands of bins over a thousand pixels most of them are
  // such, and the rasterizer's cost of each tall thin bar is not small.
  std::vector<uint32_t> drawnBarIndices_;
  // What each spectrum's bins were last drawn at, above the minimum.
  std::vector<float> rawHeights_;
  std::vector<float> processedHeights_;
  // One spectrum as read this frame.
  std::vector<float> frame_;
  int logLayoutSizeIndex_ = -1;
  // What the last update saw of the display block's fields and of the
  // spectra, and whether the smoothed heights still moved in the last frame
  // drawn: the editor draws a frame only when one of them changed, and only
  // the spectra's part of the display when nothing but the spectra did.
  uint64_t shownFields_ = 0;
  uint64_t shownSpectra_ = 0;
  bool spectraMoving_ = true;
  // The frame whose spectra were last taken in.
  uint64_t preparedFrame_ = ~uint64_t{0};
  uint64_t fieldsSignature() const;
  uint64_t spectraSignature() const;
  // Where the spectra are drawn, in design pixels: the upper half.
  Bounds spectraBox() const;
  // The bars are rebuilt only when a level, colour or the axis changed.
  bool dirty_ = true;
  spectrum::Axis slidersAxis_;

  // The gesture in progress, in the parent group's coordinates.
  Point dragStart_;
  float dragStartLevel_ = 0.0f;
  int dragStartBin_ = 0;
  int lastBin_ = 0;
  float lastLevel_ = 0.0f;

  std::vector<RegionReceiver*> regions_;
  spectrum::Axis regionAxis_;
};

}  // namespace QW
