#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "core/ViewState.h"
#include "gui/BinReadout.h"
#include "gui/Manager.h"
#include "gui/Ovmanager.h"
#include "gui/WaveformDisplay.h"
#include "support/RecordingHost.h"
#include "support/ScopedEnv.h"

namespace {

using QW::Point;
using QW::WaveformDisplay;

constexpr int32_t kBin0 = kParamBin0Level;

// A display of 513 x 200 pixels at (10, 20) inside a group at (100, 50): on
// the linear axis at 1024 points every bin is one pixel wide, so bin k lies
// at x = 10 + k ... 11 + k and level l at y = 20 + 100 l in the group's
// coordinates (which elements are handed), 100 and 50 more in the window.
class WaveformDisplayFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    effect = std::make_unique<QwkTonalmire>(RecordingHost::callback());
    manager = std::make_unique<QW::Manager>(effect.get());
    manager->setWindowSize({1024, 512});
    manager->computeViewGeometry();
    QW::Manager::PlatformCallbacks callbacks;
    AudioEffectX* host = effect.get();
    callbacks.beginEdit = [host](int32_t index) { host->beginEdit(index); };
    callbacks.endEdit = [host](int32_t index) { host->endEdit(index); };
    manager->setPlatform(nullptr, std::move(callbacks));

    view = manager->viewState();
    group = manager->create<QW::Group>();
    group->setPosition(100.0f, 50.0f);
    manager->root()->add(group);
    display = manager->create<WaveformDisplay>(10.0f, 20.0f, 513.0f, 200.0f, view);
    group->add(display);

    effect->setParameterPlain(kParamViewXAxis, 1.0f, false);  // "Linear"
    view->displaySizeIndex = 5;
    display->update();
    recorder.clear();
  }

  static Point local(int bin, float level) {
    return {10.0f + static_cast<float>(bin) + 0.5f, 20.0f + 100.0f * level};
  }
  static Point window(int bin, float level) {
    const Point p = local(bin, level);
    return {p.x + 100.0f, p.y + 50.0f};
  }
  float level(int bin) const { return effect->getParameterPlain(kBin0 + bin); }
  std::vector<int32_t> indices(int32_t opcode) const {
    std::vector<int32_t> out;
    for (const HostCall& call : recorder.calls(opcode)) out.push_back(call.index);
    return out;
  }

  RecordingHost recorder;
  std::unique_ptr<QwkTonalmire> effect;
  std::unique_ptr<QW::Manager> manager;
  ViewState* view = nullptr;
  QW::Group* group = nullptr;
  WaveformDisplay* display = nullptr;
};

TEST_F(WaveformDisplayFixture, PressAndDragSetBinsWithoutGapsBracketedButNotAnnounced) {
  // Through the window, leftwards: the press sets bin 10, the step fills 5 ... 9.
  manager->mouseDown(window(10, 0.2f), 0, 1);
  manager->mouseDragged(window(5, 0.7f), 0);
  manager->mouseDragged(window(5, 0.6f), 0);  // same bin: no new bracket
  manager->mouseUp(window(5, 0.6f), 0);
  const float left[] = {1.0f, 0.6f, 0.6f, 0.5f, 0.4f, 0.3f, 0.2f, 1.0f};
  for (int k = 4; k <= 11; ++k) EXPECT_NEAR(level(k), left[k - 4], 1e-4) << k;
  EXPECT_EQ(recorder.count(vst::audioMasterAutomate), 0);
  EXPECT_EQ(indices(vst::audioMasterBeginEdit), (std::vector<int32_t>{kBin0 + 10, kBin0 + 5}));
  EXPECT_EQ(indices(vst::audioMasterEndEdit), (std::vector<int32_t>{kBin0 + 10, kBin0 + 5}));
}

TEST_F(WaveformDisplayFixture, ModifiersResetAdjustFinelyOrKeepTheStartBin) {
  const struct {
    uint32_t modifiers;
    int dragBin;
    float dragY;  // from the press
    float bin10, bin20;
    int automated;
  } cases[] = {
      {QW::kModifierAlt, 20, -10, 1.0f, 0.5f, 1},  // resets and announces; dragging does nothing
      {QW::kModifierShift, 10, 1000, 0.75f, 0.5f, 0},  // the pointer's height does not matter
      {QW::kModifierShift, 10, -1000, 0.0f, 0.5f, 0},
      {QW::kModifierCtrl, 20, 30, 0.6f, 0.5f, 0},  // the start bin takes the level
  };
  for (const auto& c : cases) {
    effect->setParameterPlain(kBin0 + 10, 0.25f, false);
    effect->setParameterPlain(kBin0 + 20, 0.5f, false);
    display->update();
    recorder.clear();
    const Point press = local(10, 0.3f);
    display->mouseDown(press, c.modifiers, 1);
    display->mouseDragged({local(c.dragBin, 0).x, press.y + c.dragY}, c.modifiers);
    EXPECT_NEAR(level(10), c.bin10, 1e-4) << c.modifiers;
    EXPECT_NEAR(level(20), c.bin20, 1e-4) << c.modifiers;
    EXPECT_FLOAT_EQ(level(15), 1.0f) << c.modifiers;
    EXPECT_EQ(recorder.count(vst::audioMasterAutomate), c.automated) << c.modifiers;
    manager->mouseUp(press, 0);
  }
}

TEST_F(WaveformDisplayFixture, HoverSeesTheRegionOfTheBinUnderThePointer) {
  manager->mouseMoved(window(7, 0.5f));
  EXPECT_EQ(manager->hoveredId(), kBin0 + 7);
  EXPECT_EQ(manager->tooltipElement(), display);
  const QW::Bounds box = display->regions()[7]->absoluteBounds();
  EXPECT_EQ((std::vector<float>{box.minX, box.maxX, box.minY, box.maxY}),
            (std::vector<float>{117, 118, 70, 270}));
  manager->mouseMoved({5.0f, 5.0f});
  EXPECT_EQ(manager->hoveredId(), -1);
}

TEST_F(WaveformDisplayFixture, SpectraAreSmoothedClampedAndKeptWithoutData) {
  effect->setParameterPlain(kParamViewSmoothing, 0.0f, false);
  view->displaySizeIndex = 0;  // 32 points, 17 bins
  std::vector<float> raw(4096, 0.0f);
  std::vector<float> processed(4096, 0.0f);
  raw[3] = 16.0f;          // 0 dB
  raw[4] = 1e30f;          // far above the maximum
  raw[5] = std::nanf("");  // a torn value
  processed[3] = 1.6f;     // 20 ln 0.1 dB
  view->rawSpectrum[0] = raw.data();
  view->processedSpectrum[0] = processed.data();
  display->prepareFrame();
  const float heights[] = {160.0f, 160.0f, 0.0f, 0.0f};
  for (int k = 3; k <= 6; ++k) EXPECT_NEAR(display->rawHeight(k), heights[k - 3], 1e-3) << k;
  EXPECT_NEAR(display->processedHeight(3), 160.0f - 46.0517f, 1e-3);

  // With smoothing, a silent frame lets the bars fall by the coefficient;
  // without spectra (before the first block) they stay where they were.
  effect->setParameterPlain(kParamViewSmoothing, 500.0f, false);
  std::fill(raw.begin(), raw.end(), 0.0f);
  display->prepareFrame();
  EXPECT_NEAR(display->rawHeight(3), 160.0f * 0.7071f, 0.1f);
  view->rawSpectrum[0] = view->processedSpectrum[0] = nullptr;
  display->prepareFrame();
  EXPECT_NEAR(display->rawHeight(3), 160.0f * 0.7071f, 0.1f);
  // The bars show the level cache, shaded from left to right.
  const auto& bars = display->sliderVertices();
  EXPECT_EQ((std::vector<int>{bars[0].b, bars[1].a, bars[2].b, bars[3].a}),
            (std::vector<int>{128, 160, 160, 128}));
  EXPECT_FLOAT_EQ(bars[7 * 4 + 1].y, 1.0f);
}

TEST(BinReadout, NamesFrequencyNoteOctaveAndCents) {
  const struct {
    int bin, sizeIndex;
    float rate;
    const char* text;
  } cases[] = {
      {0, 5, 44100, "0Hz"},
      {1, 5, 44100, "  43.1Hz  F 1-23"},  // 44100 / 1024: 23 cents below F1
      {10, 5, 45056, " 440.0Hz  A 4+0"},
      {100, 0, 150, " 468.8Hz  A#4+10"},  // sharps print their sign
      {256, 7, 16000, "1000.0Hz  B 5+21"},
      {2048, 7, 44100, "22050.0Hz  F 10-23"},  // wider than six characters
      {1, 0, 16, "   0.5Hz  C -1+0"},          // below the scale counts as C of octave -1
  };
  for (const auto& c : cases) EXPECT_EQ(QW::binReadout(c.bin, c.sizeIndex, c.rate), c.text);
  EXPECT_FALSE(QW::binReadout(1, 40, 1e30f).empty());
}

// Reaches the tooltip hook of the plug-in's manager.
class ProbeManager : public QW::Ovmanager {
 public:
  using QW::Ovmanager::drawParameterExtra;
  using QW::Ovmanager::Ovmanager;
};

TEST_F(WaveformDisplayFixture, BinTooltipsAppendTheReadoutAtTheCurrentSizeAndRate) {
  auto plugin = makeWithoutPreferences<ProbeManager>(effect.get());
  const auto extra = [&](int32_t parameter) {
    std::string text = "name";
    plugin.drawParameterExtra(nullptr, parameter, 0.0f, 0.0f, text);
    return text;
  };
  effect->setSampleRate(48000.0f);
  effect->setParameterPlain(kParamFftSize, 7.0f, false);
  EXPECT_EQ(extra(kBin0 + 1), "name " + QW::binReadout(1, 7, 48000.0f));
  EXPECT_EQ(extra(kParamCount - 1), "name " + QW::binReadout(2048, 7, 48000.0f));
  for (const int32_t other : {int32_t{kParamFftSize}, kBin0 - 1, int32_t{kParamCount}})
    EXPECT_EQ(extra(other), "name") << other;
}

}  // namespace
