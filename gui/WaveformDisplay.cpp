#include "gui/WaveformDisplay.h"

#include <GL/glew.h>

#include <cmath>
#include <cstring>
#include <utility>

#include "core/ParamIds.h"
#include "core/RelaxedAtomic.h"
#include "core/ViewState.h"
#include "gui/Manager.h"

namespace QW {

namespace {

using spectrum::kMaxBins;
static_assert(sizeof(GLuint) == sizeof(uint32_t), "bar indices are handed to GL as they are");

constexpr float kFineStepPerPixel = 0.0005f;

// A descriptor for parameters the manager does not know (no effect): it
// reads 0 and sets nothing.
ParameterDescriptor descriptorOf(const Manager* manager, int32_t index) {
  if (manager != nullptr) {
    if (const ParameterDescriptor* known = manager->parameter(index)) return *known;
  }
  ParameterDescriptor unknown;
  unknown.index = index;
  unknown.info.minValue = 0.0f;
  unknown.info.maxValue = 1.0f;
  unknown.info.defaultValue = 1.0f;
  return unknown;
}

// Into the parameter's range; NaN (a restored chunk may hold one) counts as
// the minimum.
float clampToRange(float value, const ParameterDescriptor& parameter) {
  if (!(value >= parameter.minimum())) return parameter.minimum();
  return value > parameter.maximum() ? parameter.maximum() : value;
}

uint8_t colourByte(float component) {
  // Truncated like the bytes the colour words always held; out-of-range
  // script values saturate instead of wrapping.
  const float scaled = spectrum::clampUnit(component) * 255.0f;
  return static_cast<uint8_t>(scaled);
}

void setQuadX(float* quad, float left, float right) {
  quad[0] = left;
  quad[2] = left;
  quad[4] = right;
  quad[6] = right;
}

void setQuadHeight(float* quad, float height) {
  quad[1] = 0.0f;
  quad[3] = height;
  quad[5] = height;
  quad[7] = 0.0f;
}

}  // namespace

// ---- RegionReceiver ----

WaveformDisplay::RegionReceiver::RegionReceiver(Manager* manager, WaveformDisplay* display, int bin)
    : UIElement(manager), display_(display), bin_(bin) {}

void WaveformDisplay::RegionReceiver::mouseDown(Point point, uint32_t modifiers, int clickCount) {
  display_->mouseDown(point, modifiers, clickCount);
}

void WaveformDisplay::RegionReceiver::mouseDragged(Point point, uint32_t modifiers) {
  display_->mouseDragged(point, modifiers);
}

void WaveformDisplay::RegionReceiver::mouseEntered() {
  manager_->setHoveredId(kParamBin0Level + bin_);
  manager_->setTooltipElement(display_);
}

void WaveformDisplay::RegionReceiver::mouseExited() {
  if (manager_->hoveredId() == kParamBin0Level + bin_) manager_->setHoveredId(Manager::kNoTooltip);
}

void WaveformDisplay::RegionReceiver::refreshBounds() {
  setBounds(spectrum::regionBounds(display_->bounds(), bin_, display_->axis()));
}

// ---- WaveformDisplay ----

WaveformDisplay::WaveformDisplay(Manager* manager, float x, float y, float width, float height,
                                 ViewState* viewState)
    : ControlBase(manager),
      viewState_(viewState),
      levels_(kMaxBins, 1.0f),
      xAxisParameter_(descriptorOf(manager, kParamViewXAxis)),
      fftSizeParameter_(descriptorOf(manager, kParamFftSize)),
      fftLinear_(kMaxBins * 8, 0.0f),
      fftLog_(kMaxBins * 8, 0.0f),
      pfftLinear_(kMaxBins * 4, 0.0f),
      pfftLog_(kMaxBins * 4, 0.0f),
      sliders_(kMaxBins * 4, SliderVertex{0, 0, 0, 0, 0.0f, 0.0f}),
      drawnBarIndices_(kMaxBins * 4, 0),
      rawHeights_(kMaxBins, 0.0f),
      processedHeights_(kMaxBins, 0.0f),
      frame_(4096, 0.0f) {
  box_ = Bounds::fromRect(x, y, width, height);
  bins_.reserve(kMaxBins);
  for (int k = 0; k < kMaxBins; ++k) bins_.push_back(descriptorOf(manager, kParamBin0Level + k));
  makeLinearLayout();

  regionAxis_ = axis();
  regions_.reserve(kMaxBins);
  for (int k = 0; k < kMaxBins; ++k) {
    RegionReceiver* region = manager->create<RegionReceiver>(this, k);
    region->refreshBounds();
    regions_.push_back(region);
  }
}

void WaveformDisplay::setFFTColour(float r, float g, float b) {
  fftColour_ = {{r, g, b}};
}

void WaveformDisplay::setPFFTColour(float r, float g, float b) {
  pfftColour_ = {{r, g, b}};
}

void WaveformDisplay::setSliderColours(float r1, float g1, float b1, float r2, float g2, float b2) {
  sliderBytes1_ = {{colourByte(r1), colourByte(g1), colourByte(b1), 255}};
  sliderBytes2_ = {{colourByte(r2), colourByte(g2), colourByte(b2), 255}};
  dirty_ = true;
}

spectrum::Axis WaveformDisplay::axis() const {
  spectrum::Axis current;
  if (viewState_ != nullptr) {
    current.logX = rt::relaxedLoad(viewState_->logX) != 0;
    current.sizeIndex = spectrum::clampSizeIndex(rt::relaxedLoad(viewState_->displaySizeIndex));
  }
  return current;
}

void WaveformDisplay::setParent(Group* parent) {
  UIElement::setParent(parent);
  for (RegionReceiver* region : regions_) region->setParent(parent);
}

// ---- Per frame ----

void WaveformDisplay::update() {
  for (int k = 0; k < kMaxBins; ++k) {
    const ParameterDescriptor& parameter = binParameter(k);
    const float level = clampToRange(parameter.plain(), parameter);
    float& cached = levels_[static_cast<size_t>(k)];
    if (level != cached) {
      cached = level;
      dirty_ = true;
    }
  }
  const float xAxis = xAxisParameter_.plain();
  if (xAxis != lastXAxis_) {
    lastXAxis_ = xAxis;
    dirty_ = true;
  }
  const float fftSize = fftSizeParameter_.plain();
  if (fftSize != lastFftSize_) {
    lastFftSize_ = fftSize;
    dirty_ = true;
  }

  const uint64_t fields = fieldsSignature();
  const uint64_t spectra = spectraSignature();
  if (dirty_ || fields != shownFields_) {
    manager_->notePictureChange();
  } else if (spectraMoving_ || spectra != shownSpectra_) {
    // Only the spectra moved: they lie in the upper half, above the bars.
    manager_->notePictureChangeIn(spectraBox());
  }
  shownFields_ = fields;
  shownSpectra_ = spectra;

  // The hover columns follow the axis the display block shows.
  const spectrum::Axis current = axis();
  if (current.logX != regionAxis_.logX || current.sizeIndex != regionAxis_.sizeIndex) {
    regionAxis_ = current;
    for (RegionReceiver* region : regions_) region->refreshBounds();
  }
}

namespace {

// FNV-1a over whole values rather than bytes: a change detector, not a
// hash to store, and four times fewer steps over the spectra.
class Fnv {
 public:
  template <class T>
  void add(T value) {
    static_assert(sizeof value <= sizeof(uint64_t), "one step per value");
    uint64_t word = 0;
    std::memcpy(&word, &value, sizeof value);
    h_ = (h_ ^ word) * 1099511628211ull;
  }
  uint64_t value() const { return h_; }

 private:
  uint64_t h_ = 14695981039346656037ull;
};

}  // namespace

uint64_t WaveformDisplay::fieldsSignature() const {
  if (viewState_ == nullptr) return 0;
  const ViewState& v = *viewState_;
  Fnv h;
  h.add(rt::relaxedLoad(v.displaySizeIndex));
  h.add(rt::relaxedLoad(v.logX));
  h.add(rt::relaxedLoad(v.logY));
  for (const float* f : {&v.minDb, &v.maxDb, &v.minLinear, &v.maxLinear, &v.smoothing})
    h.add(rt::relaxedLoad(*f));
  return h.value();
}

uint64_t WaveformDisplay::spectraSignature() const {
  if (viewState_ == nullptr) return 0;
  const ViewState& v = *viewState_;
  Fnv h;
  const int n = spectrum::fftSize(spectrum::clampSizeIndex(rt::relaxedLoad(v.displaySizeIndex)));
  for (const float* values :
       {rt::relaxedLoad(v.rawSpectrum[0]), rt::relaxedLoad(v.processedSpectrum[0])}) {
    h.add(values);
    if (values == nullptr) continue;
    for (int i = 0; i < n; ++i) h.add(rt::relaxedLoad(values[i]));
  }
  return h.value();
}

Bounds WaveformDisplay::spectraBox() const {
  const Bounds upper{box_.minX, box_.minY + box_.height() * 0.5f, 0.0f, box_.maxX, box_.maxY, 0.0f};
  const Point offset = parentOffset();
  return upper.offset(offset.x, offset.y);
}

void WaveformDisplay::makeLinearLayout() {
  for (int k = 0; k < kMaxBins; ++k) {
    const float left = static_cast<float>(k);
    const float right = left + 1.0f;
    setQuadX(&fftLinear_[static_cast<size_t>(k) * 8], left, right);
    float* segment = &pfftLinear_[static_cast<size_t>(k) * 4];
    segment[0] = left;
    segment[2] = right;
  }
}

void WaveformDisplay::makeLogLayout(int sizeIndex) {
  for (int k = 0; k < kMaxBins; ++k) {
    const float left = spectrum::logBinLeft(k, sizeIndex);
    const float right = spectrum::logBinRight(k, sizeIndex);
    setQuadX(&fftLog_[static_cast<size_t>(k) * 8], left, right);
    float* segment = &pfftLog_[static_cast<size_t>(k) * 4];
    segment[0] = left;
    segment[2] = right;
  }
  logLayoutSizeIndex_ = sizeIndex;
}

void WaveformDisplay::ensureLogLayout(const spectrum::Axis& current) {
  if (current.logX && current.sizeIndex != logLayoutSizeIndex_) makeLogLayout(current.sizeIndex);
}

WaveformDisplay::ValueRange WaveformDisplay::valueRange() const {
  if (viewState_ == nullptr) return {0.0f, 1.0f};
  if (rt::relaxedLoad(viewState_->logY) != 0) {
    return {rt::relaxedLoad(viewState_->minDb), rt::relaxedLoad(viewState_->maxDb)};
  }
  return {rt::relaxedLoad(viewState_->minLinear), rt::relaxedLoad(viewState_->maxLinear)};
}

float WaveformDisplay::refreshSpectrum(const float* packed, int fftSize, bool logY,
                                       ValueRange range, float coefficient,
                                       std::vector<float>& heights) {
  float largestStep = 0.0f;
  // The audio thread may be rewriting the frame: take every value once.
  for (int i = 0; i < fftSize; ++i) frame_[static_cast<size_t>(i)] = rt::relaxedLoad(packed[i]);
  const int maxBin = fftSize / 2;
  for (int k = 0; k <= maxBin; ++k) {
    const float current = logY ? spectrum::binDecibels(frame_.data(), fftSize, k, range.minimum)
                               : spectrum::binLinear(frame_.data(), fftSize, k);
    float& height = heights[static_cast<size_t>(k)];
    const float previous = height + range.minimum;
    const float next =
        spectrum::smoothedValue(current, previous, coefficient, range.minimum, range.maximum) -
        range.minimum;
    largestStep = std::fmax(largestStep, std::fabs(next - height));
    height = next;
  }
  return largestStep;
}

void WaveformDisplay::refreshSpectra() {
  spectraMoving_ = false;
  if (viewState_ == nullptr) return;
  const float* raw = rt::relaxedLoad(viewState_->rawSpectrum[0]);
  const float* processed = rt::relaxedLoad(viewState_->processedSpectrum[0]);
  if (raw == nullptr || processed == nullptr) return;

  const spectrum::Axis current = axis();
  ensureLogLayout(current);
  const int n = spectrum::fftSize(current.sizeIndex);
  const bool logY = rt::relaxedLoad(viewState_->logY) != 0;
  const ValueRange range = valueRange();
  const float coefficient = spectrum::smoothingCoefficient(rt::relaxedLoad(viewState_->smoothing));
  const float step =
      std::fmax(refreshSpectrum(raw, n, logY, range, coefficient, rawHeights_),
                refreshSpectrum(processed, n, logY, range, coefficient, processedHeights_));
  // Smoothing eases towards a spectrum that stopped changing. It is drawn
  // until it all but stands still: a bar's edge a fraction of a pixel short
  // of where drawing afresh would put it can still cross a pixel's centre.
  spectraMoving_ = step > 1e-6f * std::fabs(range.maximum - range.minimum);

  std::vector<float>& quads = current.logX ? fftLog_ : fftLinear_;
  std::vector<float>& segments = current.logX ? pfftLog_ : pfftLinear_;
  for (int k = 0; k <= n / 2; ++k) {
    setQuadHeight(&quads[static_cast<size_t>(k) * 8], rawHeights_[static_cast<size_t>(k)]);
    float* segment = &segments[static_cast<size_t>(k) * 4];
    segment[1] = processedHeights_[static_cast<size_t>(k)];
    segment[3] = segment[1];
  }
}

void WaveformDisplay::rebuildSliders(const spectrum::Axis& current) {
  ensureLogLayout(current);
  const std::vector<float>& positions = current.logX ? fftLog_ : fftLinear_;
  for (int k = 0; k < kMaxBins; ++k) {
    const float left = positions[static_cast<size_t>(k) * 8];
    const float right = positions[static_cast<size_t>(k) * 8 + 4];
    const float level = spectrum::clampUnit(levels_[static_cast<size_t>(k)]);
    SliderVertex* quad = &sliders_[static_cast<size_t>(k) * 4];
    const auto& c1 = sliderBytes1_;
    const auto& c2 = sliderBytes2_;
    quad[0] = {c1[0], c1[1], c1[2], c1[3], left, 0.0f};
    quad[1] = {c1[0], c1[1], c1[2], c1[3], left, level};
    quad[2] = {c2[0], c2[1], c2[2], c2[3], right, level};
    quad[3] = {c2[0], c2[1], c2[2], c2[3], right, 0.0f};
  }
  slidersAxis_ = current;
  dirty_ = false;
}

template <class Edges>
int WaveformDisplay::collectDrawnBars(int nbins, Edges&& edges) {
  // Window x of a bar's x under the current matrices, which must keep x
  // apart from y and need no perspective division; anything else draws
  // every bar.
  GLfloat projection[16];
  GLfloat modelview[16];
  GLint viewport[4];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
  glGetIntegerv(GL_VIEWPORT, viewport);
  // Column-major: element (row, column) is m[column * 4 + row].
  const auto combined = [&](int row, int column) {
    double sum = 0.0;
    for (int i = 0; i < 4; ++i)
      sum += static_cast<double>(projection[i * 4 + row]) * modelview[column * 4 + i];
    return sum;
  };
  const double xFromY = combined(0, 1);
  const double wFromX = combined(3, 0);
  const double wFromY = combined(3, 1);
  const double w = combined(3, 3);
  const bool affine = xFromY == 0.0 && wFromX == 0.0 && wFromY == 0.0 && w > 0.0;
  const double halfWidth = 0.5 * static_cast<double>(viewport[2]);
  const double scale = combined(0, 0) / w * halfWidth;
  const double offset = static_cast<double>(viewport[0]) + (combined(0, 3) / w + 1.0) * halfWidth;

  int count = 0;
  for (int k = 0; k < nbins; ++k) {
    const std::pair<float, float> x = edges(static_cast<size_t>(k));
    const double left = offset + scale * static_cast<double>(x.first);
    const double right = offset + scale * static_cast<double>(x.second);
    if (affine && !spectrum::mayCoverPixelCentre(left, right)) continue;
    for (uint32_t v = 0; v < 4; ++v)
      drawnBarIndices_[static_cast<size_t>(count++)] = static_cast<uint32_t>(k) * 4 + v;
  }
  return count;
}

void WaveformDisplay::prepareFrame() {
  refreshSpectra();
  // The display block may switch axis or size after the parameters that
  // marked the bars did, so the axis drawn is watched as well.
  const spectrum::Axis current = axis();
  if (dirty_ || current.logX != slidersAxis_.logX || current.sizeIndex != slidersAxis_.sizeIndex)
    rebuildSliders(current);
}

void WaveformDisplay::draw() {
  if (!visible_) return;
  // A frame that redraws parts of the window draws the display once per
  // part: the spectra ease once a frame all the same.
  const uint64_t frame = manager_->frameNumber();
  if (frame != preparedFrame_) {
    preparedFrame_ = frame;
    prepareFrame();
  }
  const Point offset = parentOffset();
  const Bounds designBox = box_.offset(offset.x, offset.y);
  if (!manager_->passMeets(designBox)) return;

  const spectrum::Axis current = axis();
  const GLsizei nbins = spectrum::binCount(current.sizeIndex);
  const ValueRange values = valueRange();
  const float range = values.maximum - values.minimum;
  const float w = box_.width();
  const float h = box_.height();
  const float xScale = current.logX ? w / spectrum::logWidth() : w / static_cast<float>(nbins);

  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

  const GLfloat boxQuad[8] = {box_.minX, box_.minY, box_.minX, box_.maxY,
                              box_.maxX, box_.maxY, box_.maxX, box_.minY};
  glEnableClientState(GL_VERTEX_ARRAY);
  // The backing box and the level bars stay while the spectra move: a
  // frame that redraws only the spectra puts them back as they were kept.
  // The bars lie below the middle line and the spectra above it, so which
  // comes first only shows where a spectrum's line at the minimum touches
  // the row below the line.
  if (!manager_->restoreUnderlay(this)) {
    glColor4f(0.1f, 0.1f, 0.1f, 0.7f);
    glVertexPointer(2, GL_FLOAT, 0, boxQuad);
    glDrawArrays(GL_QUADS, 0, 4);

    // Levels: 0 at the bottom edge, 1 at the middle line.
    glPushMatrix();
    glTranslatef(box_.minX, box_.minY + h * 0.5f, 0.0f);
    glScalef(xScale, h * 0.5f, 1.0f);
    glTranslatef(0.0f, -1.0f, 0.0f);
    glInterleavedArrays(GL_C4UB_V2F, 0, sliders_.data());
    const int drawnSliders = collectDrawnBars(nbins, [this](size_t k) {
      return std::make_pair(sliders_[k * 4].x, sliders_[k * 4 + 2].x);
    });
    glDrawElements(GL_QUADS, drawnSliders, GL_UNSIGNED_INT, drawnBarIndices_.data());
    glDisableClientState(GL_COLOR_ARRAY);
    glPopMatrix();
    manager_->keepUnderlay(this, designBox);
  }

  // Spectrum values sit on the middle line, the range spanning the upper
  // half; a collapsed or inverted range has nothing to show.
  if (range > 0.0f && std::isfinite(range)) {
    glPushMatrix();
    glTranslatef(box_.minX, box_.minY + h * 0.5f, 0.0f);
    glScalef(xScale, h / range * 0.5f, 1.0f);
    glColor3f(fftColour_[0], fftColour_[1], fftColour_[2]);
    const std::vector<float>& quads = current.logX ? fftLog_ : fftLinear_;
    glVertexPointer(2, GL_FLOAT, 0, quads.data());
    const int drawn = collectDrawnBars(
        nbins, [&quads](size_t k) { return std::make_pair(quads[k * 8], quads[k * 8 + 4]); });
    glDrawElements(GL_QUADS, drawn, GL_UNSIGNED_INT, drawnBarIndices_.data());
    glColor3f(pfftColour_[0], pfftColour_[1], pfftColour_[2]);
    glVertexPointer(2, GL_FLOAT, 0, current.logX ? pfftLog_.data() : pfftLinear_.data());
    glDrawArrays(GL_LINES, 0, nbins * 2);
    glPopMatrix();
  }

  glPopClientAttrib();
  glPopAttrib();
}

// ---- Mouse ----
//
// The manager hands the display (and its regions, which share its parent)
// points in the parent group's coordinates, the same as its own box.

void WaveformDisplay::setBinLevel(int bin, float level) {
  levels_[static_cast<size_t>(bin)] = level;
  dirty_ = true;
  binParameter(bin).setPlain(level, false);
}

void WaveformDisplay::mouseDown(Point point, uint32_t modifiers, int /*clickCount*/) {
  const spectrum::BinLevel under = spectrum::pointToBin(point, box_, axis());
  const int k = under.bin;
  if ((modifiers & kModifierAlt) != 0) {
    const ParameterDescriptor& parameter = binParameter(k);
    const float reset = clampToRange(parameter.defaultValue(), parameter);
    parameter.setPlain(reset, true);
    levels_[static_cast<size_t>(k)] = reset;
    dirty_ = true;
  }
  dragStart_ = point;
  dragStartLevel_ = levels_[static_cast<size_t>(k)];
  lastLevel_ = dragStartLevel_;
  dragStartBin_ = k;
  lastBin_ = k;
  mouseDragged(point, modifiers);
}

void WaveformDisplay::mouseDragged(Point point, uint32_t modifiers) {
  if ((modifiers & kModifierAlt) != 0) return;
  spectrum::BinLevel target = spectrum::pointToBin(point, box_, axis());
  if ((modifiers & kModifierCtrl) != 0) target.bin = dragStartBin_;
  if ((modifiers & kModifierShift) != 0) {
    target.level =
        spectrum::clampUnit(dragStartLevel_ + (point.y - dragStart_.y) * kFineStepPerPixel);
  }
  const int lastBin = lastBin_;
  const float lastLevel = lastLevel_;
  lastLevel_ = target.level;
  spectrum::forEachDraggedBin(lastBin, lastLevel, target.bin, target.level,
                              [this](int j, float level) { setBinLevel(j, level); });
  lastBin_ = target.bin;

  const int32_t parameter = kParamBin0Level + target.bin;
  if (manager_->editedParameter() != parameter) manager_->beginParameterEdit(parameter);
}

UIElement* WaveformDisplay::hitTest(Point point) {
  if (!visible_ || !box_.contains(point)) return nullptr;
  const int bin = spectrum::pointToBin(point, box_, axis()).bin;
  RegionReceiver* region = regions_[static_cast<size_t>(bin)];
  region->refreshBounds();
  return region;
}

}  // namespace QW
