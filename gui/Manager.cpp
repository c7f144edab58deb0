#include "gui/Manager.h"

#include <algorithm>
#include <string>

#include "core/AudioEffectX.h"
#include "core/GlobalSettings.h"
#include "core/ParamSpec.h"
#include "core/ParameterInfo.h"
#include "core/PreferencesDialog.h"
#include "core/QwkAuBase.h"
#include "platform/Preferences.h"

namespace QW {

namespace {

std::atomic<int> managerCounter{0};

// Process-wide: while set, a group under the pointer but off its children
// reports itself as hit (hover tracking lights group outlines).
std::atomic<bool> groupHitMode{false};

// Sets the group hit mode for one hit test.
class GroupHitScope {
 public:
  GroupHitScope() { groupHitMode.store(true, std::memory_order_relaxed); }
  ~GroupHitScope() { groupHitMode.store(false, std::memory_order_relaxed); }
  GroupHitScope(const GroupHitScope&) = delete;
  GroupHitScope& operator=(const GroupHitScope&) = delete;
};

}  // namespace

Manager::Manager(QwkAuBase* effect)
    : effect_(effect),
      instanceNumber_(managerCounter.fetch_add(1) + 1),
      tooltipName_(&textRuns_),
      tooltipValue_(&textRuns_),
      tooltipLabel_(&textRuns_),
      tooltipString_(&textRuns_),
      floatingTooltip_(&textRuns_) {
  loadEditorPreferences(platform::Preferences());
  if (effect_ != nullptr) {
    uint32_t count = 0;
    const ParamSpec* rows = nullptr;
    effect_->GetProperty(kQwkProperty_ParameterCount, 0, 0, &count);
    effect_->GetProperty(kQwkProperty_ParameterTable, 0, 0, &rows);
    if (rows != nullptr) {
      parameters_.reserve(count);
      for (uint32_t i = 0; i < count; ++i) {
        const ParameterInfo info(effect_, static_cast<int32_t>(i), rows[i]);
        parameters_.push_back({static_cast<int32_t>(i), info.info, effect_});
      }
    }
    viewState_ = effect_->ViewStateAddress();
  }
  root_ = create<Group>();
  bannerText_ = addRenderer(std::make_unique<StaticText>(this, StaticText::kMainFont));
  labelText_ = addRenderer(std::make_unique<StaticText>(this, StaticText::kLabelFont));
  tooltips_[kPreferencesTooltip] = "Preferences";
  tooltips_[kCapturePresetTooltip] = "Capture preset";
}

Manager::~Manager() {
  StopRenderTask();
  // Elements may refer to renderers, fonts and text runs while they go:
  // they go first.
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  // Closed in the middle of a gesture (the release not handled yet): the
  // host saw it begin and must see it end.
  if (editedParameter_ >= 0) endParameterEdit(editedParameter_);
  keyFocus_ = tracked_ = hoverElement_ = tooltipElement_ = nullptr;
  hovered_.clear();
  elements_.clear();
}

bool Manager::hitTestingGroups() {
  return groupHitMode.load(std::memory_order_relaxed);
}

// ---- Ownership ----

const ParameterDescriptor* Manager::parameter(int32_t index) const {
  if (index < 0 || index >= parameterCount()) return nullptr;
  return &parameters_[static_cast<size_t>(index)];
}

Texture* Manager::addTexture(std::unique_ptr<Texture> texture) {
  Texture* raw = texture.get();
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  if (texture) textures_.push_back(std::move(texture));
  return raw;
}

Font* Manager::addFont(std::unique_ptr<Font> font) {
  Font* raw = font.get();
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  if (font) fonts_.push_back(std::move(font));
  return raw;
}

void Manager::setMainFont(std::unique_ptr<Font> font) {
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  mainFont_ = std::move(font);
}

void Manager::setLabelFont(std::unique_ptr<Font> font) {
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  labelFont_ = std::move(font);
}

void Manager::setTextFieldFont(std::unique_ptr<Font> font) {
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  textFieldFont_ = std::move(font);
}

void Manager::update() {
  root_->update();
  for (auto& renderer : renderers_) renderer->update();
}

std::unique_ptr<Manager::RenderingShutdowner> Manager::createRenderingShutdowner() {
  return std::make_unique<RenderingShutdowner>();
}

// ---- Layout ----

void Manager::setWindowSize(Size size) {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  windowSize_ = clampWindowSize(size);
  pixelSize_ = windowSize_;
}

Size Manager::windowSize() const {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  return windowSize_;
}

Size Manager::pixelSize() const {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  return pixelSize_;
}

Size Manager::designSize() const {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  return designSize_;
}

Size Manager::designPixelSize() const {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  return designPixelSize_;
}

void Manager::setBackgroundColour(float r, float g, float b) {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  background_ = {r, g, b, 1.0f};
}

Colour Manager::backgroundColour() const {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  return background_;
}

void Manager::setBannerColour(float r, float g, float b, float a) {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  banner_ = {r, g, b, a};
}

void Manager::setBannerPosition(float y) {
  const float height = mainFont_ ? mainFont_->lineHeight() : 5.0f;
  std::lock_guard<std::mutex> lock(layoutMutex_);
  bannerBox_ = {20.0f, y, 0.0f, static_cast<float>(windowSize_.width) - 20.0f, y + height, 0.0f};
}

void Manager::setBannerBounds(float x0, float y0, float x1, float y1) {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  bannerBox_ = {x0, y0, 0.0f, x1, y1, 0.0f};
}

Bounds Manager::bannerBounds() const {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  return bannerBox_;
}

void Manager::setBannerContent(int kind) {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  bannerContent_ = kind;
}

void Manager::setBannerContent(int kind, float textX, float tooltipX) {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  bannerContent_ = kind;
  bannerTextX_ = textX;
  tooltipX_ = tooltipX;
}

int Manager::bannerContent() const {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  return bannerContent_;
}

int32_t Manager::addTooltip(const std::string& text) {
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  int32_t smallest = kNoTooltip;
  for (const auto& [id, existing] : tooltips_) {
    if (existing == text) return id;
    smallest = std::min(smallest, id);
  }
  tooltips_[smallest - 1] = text;
  return smallest - 1;
}

std::string Manager::tooltipString(int32_t id) const {
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  const auto it = tooltips_.find(id);
  return it == tooltips_.end() ? std::string() : it->second;
}

std::string Manager::parameterTooltipText(int32_t index) {
  const ParameterDescriptor* p = parameter(index);
  if (p == nullptr) return {};
  std::string text = std::string(p->name()) + " " + p->display() + " " + p->label();
  drawParameterExtra(nullptr, index, 0.0f, 0.0f, text);
  return text;
}

// ---- Geometry ----

void Manager::computeViewGeometry() {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  geometry_ = ViewGeometry::compute(windowSize_);
  designSize_ = windowSize_;
  designPixelSize_ = pixelSize_;
}

vst::ERect Manager::rect() const {
  const Size size = windowSize();
  return {0, 0, static_cast<int16_t>(size.height), static_cast<int16_t>(size.width)};
}

Point Manager::toDesign(Point windowPoint) const {
  std::lock_guard<std::mutex> lock(layoutMutex_);
  return toDesignCoordinates(windowPoint, windowSize_, designSize_);
}

void Manager::setPlatform(std::unique_ptr<ManagerPlatformBridge> bridge,
                          PlatformCallbacks callbacks) {
  bridge_ = std::move(bridge);
  callbacks_ = std::move(callbacks);
}

// ---- Input ----

Bounds Manager::hoverBox(const UIElement* element) {
  Bounds own;
  element->extendBounds(own);
  if (own.empty()) return element->absoluteBounds();
  const Point offset = element->parentOffset();
  return own.offset(offset.x, offset.y);
}

Point Manager::toParent(const UIElement* element, Point designPoint) {
  const Point offset = element->parentOffset();
  return {designPoint.x - offset.x, designPoint.y - offset.y};
}

void Manager::mouseMoved(Point point) {
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  const Point p = toDesign(point);
  UIElement* hit = nullptr;
  {
    const GroupHitScope groupsCount;
    hit = root_->hitTest(p);
  }
  // The root covers everything: being over it is being over nothing.
  if (hit == root_) hit = nullptr;

  for (auto it = hovered_.begin(); it != hovered_.end();) {
    if (it->box.contains(p)) {
      ++it;
      continue;
    }
    UIElement* left = it->element;
    it = hovered_.erase(it);
    left->mouseExited();
  }
  if (hit != nullptr && hovered_.find(Hovered{hit, {}}) == hovered_.end()) {
    hovered_.insert(Hovered{hit, hoverBox(hit)});
    hit->mouseEntered();
  }
  hoverElement_ = hit;
}

void Manager::pointerLeft() {
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  // Exits one at a time: an element's mouseExited may look at the others.
  while (!hovered_.empty()) {
    UIElement* left = hovered_.begin()->element;
    hovered_.erase(hovered_.begin());
    left->mouseExited();
  }
  hoverElement_ = nullptr;
  hoveredId_ = kNoTooltip;
  tooltipElement_ = nullptr;
}

void Manager::mouseDown(Point point, uint32_t modifiers, int clickCount) {
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  if (keyFocus_ != nullptr) setKeyFocus(nullptr);
  const Size size = windowSize();
  const Point p = toDesign(point);
  // A second button pressed while the first is held: the first gesture
  // ends here rather than being left half done.
  if (tracked_ != nullptr) finishGesture(p, trackedModifiers_);
  UIElement* hit = root_->hitTest(p);
  // A modal panel would otherwise watch the window change size under it.
  if (inResizeCorner(point, size.width) && (hit == nullptr || !hit->isModal())) {
    resizing_ = true;
    resizeStartX_ = point.x;
    resizeStartTop_ = static_cast<float>(size.height) - point.y;
    resizeStartSize_ = size;
  } else {
    tracked_ = hit;
    trackedModifiers_ = modifiers;
    if (tracked_ != nullptr) tracked_->mouseDown(toParent(tracked_, p), modifiers, clickCount);
  }
  if (callbacks_.setCapture) callbacks_.setCapture();
}

void Manager::mouseDragged(Point point, uint32_t modifiers) {
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  if (resizing_) {
    const float currentHeight =
        static_cast<float>(bridge_ ? bridge_->windowHeight() : windowSize().height);
    const float dx = point.x - resizeStartX_;
    const float dy = (currentHeight - point.y) - resizeStartTop_;
    const Size size = resizeForDrag(dx, dy, resizeStartSize_, geometry_.aspect);
    if (bridge_) bridge_->setWindowSize(size.width, size.height);
    {
      std::lock_guard<std::mutex> layout(layoutMutex_);
      windowSize_ = size;
      pixelSize_ = scaledPixelSize(designPixelSize_, size, designSize_);
    }
    events_.signal(RenderEvents::kResized);
    return;
  }
  if (tracked_ == nullptr) return;
  const Point local = toParent(tracked_, toDesign(point));
  if (modifiers != trackedModifiers_) {
    // Fine adjustment (or snapping) takes over from where the value is now
    // instead of recomputing from where the press began.
    tracked_->mouseUp(local, trackedModifiers_);
    tracked_->mouseDown(local, modifiers, 1);
    trackedModifiers_ = modifiers;
  }
  tracked_->mouseDragged(local, modifiers);
}

void Manager::mouseUp(Point point, uint32_t modifiers) {
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  if (resizing_) {
    resizing_ = false;
    if (callbacks_.releaseCapture) callbacks_.releaseCapture();
    return;
  }
  finishGesture(toDesign(point), modifiers);
}

void Manager::finishGesture(Point designPoint, uint32_t modifiers) {
  UIElement* element = tracked_;
  tracked_ = nullptr;
  if (callbacks_.releaseCapture) callbacks_.releaseCapture();
  if (element != nullptr) element->mouseUp(toParent(element, designPoint), modifiers);
  // The host's gesture never stays open past the release, whoever began it.
  if (editedParameter_ >= 0) endParameterEdit(editedParameter_);
}

bool Manager::keyPressed(int key) {
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  return keyFocus_ != nullptr && keyFocus_->keyPressed(key);
}

bool Manager::dispatch(const InputRecord& record) {
  using Kind = InputRecord::Kind;
  switch (record.kind) {
    case Kind::kMouseMoved:
      mouseMoved(record.point);
      return true;
    case Kind::kMouseDown:
      mouseDown(record.point, record.modifiers, record.clickCount);
      return true;
    case Kind::kMouseDragged:
      mouseDragged(record.point, record.modifiers);
      return true;
    case Kind::kMouseUp:
      mouseUp(record.point, record.modifiers);
      return true;
    case Kind::kKey:
      return keyPressed(record.key);
    case Kind::kFocusLost:
      dropKeyFocus();
      return true;
    case Kind::kPointerLeft:
      pointerLeft();
      return true;
    case Kind::kTakeFocus:
      if (bridge_) bridge_->takeFocus();
      return true;
  }
  return false;
}

// ---- Interaction state ----

void Manager::setKeyFocus(UIElement* element) {
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  if (keyFocus_ != nullptr && keyFocus_ != element) keyFocus_->focusLost(element);
  keyFocus_ = element;
}

void Manager::beginParameterEdit(int32_t index) {
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  if (editedParameter_ == index) return;
  const int32_t previous = editedParameter_;
  editedParameter_ = index;
  if (previous >= 0 && callbacks_.endEdit) callbacks_.endEdit(previous);
  if (index >= 0 && callbacks_.beginEdit) callbacks_.beginEdit(index);
}

void Manager::endParameterEdit(int32_t index) {
  std::lock_guard<SceneMutex> lock(sceneMutex_);
  if (index < 0 || editedParameter_ != index) return;
  editedParameter_ = -1;
  if (callbacks_.endEdit) callbacks_.endEdit(index);
}

}  // namespace QW
