#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "core/ViewState.h"
#include "gui/Manager.h"
#include "gui/WaveformDisplay.h"
#include "support/RecordingHost.h"

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
  // Leftwards: the press sets bin 10 at once, the step fills 5 ... 9.
  display->mouseDown(local(10, 0.2f), 0, 1);
  EXPECT_NEAR(level(10), 0.2f, 1e-5);
  EXPECT_NEAR(display->cachedLevel(10), 0.2f, 1e-5);
  display->mouseDragged(local(5, 0.7f), 0);
  const float left[] = {0.7f, 0.6f, 0.5f, 0.4f, 0.3f, 0.2f};
  for (int k = 5; k <= 10; ++k) EXPECT_NEAR(level(k), left[k - 5], 1e-4) << k;
  EXPECT_FLOAT_EQ(level(4), 1.0f);
  EXPECT_FLOAT_EQ(level(11), 1.0f);
  display->mouseDragged(local(5, 0.6f), 0);  // same bin: no new bracket
  EXPECT_EQ(manager->editedParameter(), kBin0 + 5);
  manager->mouseUp(local(5, 0.6f), 0);
  EXPECT_EQ(recorder.count(vst::audioMasterAutomate), 0);
  EXPECT_EQ(indices(vst::audioMasterBeginEdit), (std::vector<int32_t>{kBin0 + 10, kBin0 + 5}));
  EXPECT_EQ(indices(vst::audioMasterEndEdit), (std::vector<int32_t>{kBin0 + 10, kBin0 + 5}));
  EXPECT_EQ(manager->editedParameter(), -1);

  // Rightwards: 5 ... 10 on the straight line between the two positions.
  display->mouseDown(local(30, 0.2f), 0, 1);
  display->mouseDragged(local(35, 0.7f), 0);
  for (int k = 30; k <= 35; ++k) {
    EXPECT_NEAR(level(k), 0.2f + 0.1f * static_cast<float>(k - 30), 1e-4) << k;
    EXPECT_NEAR(display->cachedLevel(k), level(k), 1e-5) << k;
  }
  EXPECT_FLOAT_EQ(level(29), 1.0f);
  EXPECT_FLOAT_EQ(level(36), 1.0f);
  manager->mouseUp(local(35, 0.7f), 0);

  // The upper half of the box draws level 1.
  effect->setParameterPlain(kBin0 + 20, 0.0f, false);
  display->mouseDown(local(20, 1.5f), 0, 1);
  EXPECT_FLOAT_EQ(level(20), 1.0f);
}

TEST_F(WaveformDisplayFixture, AltClickResetsAndAnnouncesAltDragChangesNothing) {
  effect->setParameterPlain(kBin0 + 10, 0.25f, false);
  effect->setParameterPlain(kBin0 + 15, 0.5f, false);
  display->update();

  display->mouseDown(local(10, 0.3f), QW::kModifierAlt, 1);
  EXPECT_FLOAT_EQ(level(10), 1.0f);
  EXPECT_FLOAT_EQ(display->cachedLevel(10), 1.0f);
  const auto automated = recorder.calls(vst::audioMasterAutomate);
  ASSERT_EQ(automated.size(), 1u);
  EXPECT_EQ(automated[0].index, kBin0 + 10);
  EXPECT_FLOAT_EQ(automated[0].opt, 1.0f);

  display->mouseDragged(local(20, 0.1f), QW::kModifierAlt);
  EXPECT_FLOAT_EQ(level(15), 0.5f);
  for (int k = 11; k <= 20; ++k) {
    if (k != 15) {
      EXPECT_FLOAT_EQ(level(k), 1.0f) << k;
    }
  }
  EXPECT_EQ(recorder.count(vst::audioMasterAutomate), 1);
  EXPECT_EQ(recorder.count(vst::audioMasterBeginEdit), 0);
}

TEST_F(WaveformDisplayFixture, ShiftAdjustsFinelyFromThePress) {
  effect->setParameterPlain(kBin0 + 10, 0.25f, false);
  display->update();

  // The pointer's height does not matter, only its movement.
  const Point press = local(10, 0.9f);
  display->mouseDown(press, QW::kModifierShift, 1);
  EXPECT_NEAR(level(10), 0.25f, 1e-5);
  display->mouseDragged({press.x, press.y + 1000.0f}, QW::kModifierShift);
  EXPECT_NEAR(level(10), 0.75f, 1e-4);
  display->mouseDragged({press.x, press.y + 2000.0f}, QW::kModifierShift);
  EXPECT_FLOAT_EQ(level(10), 1.0f);
  display->mouseDragged({press.x, press.y - 1000.0f}, QW::kModifierShift);
  EXPECT_FLOAT_EQ(level(10), 0.0f);

  // 2000 pixels up from the press is a whole unit, clamped at 1.
  effect->setParameterPlain(kBin0 + 40, 0.0f, false);
  display->update();
  display->mouseDown(local(40, 0.5f), QW::kModifierShift, 1);
  display->mouseDragged({local(40, 0.5f).x, local(40, 0.5f).y + 2000.0f}, QW::kModifierShift);
  EXPECT_FLOAT_EQ(level(40), 1.0f);
}

TEST_F(WaveformDisplayFixture, CtrlKeepsTheStartBin) {
  display->mouseDown(local(10, 0.3f), QW::kModifierCtrl, 1);
  display->mouseDragged(local(30, 0.6f), QW::kModifierCtrl);
  EXPECT_NEAR(level(10), 0.6f, 1e-4);
  for (int k = 11; k <= 30; ++k) EXPECT_FLOAT_EQ(level(k), 1.0f) << k;
  EXPECT_EQ(manager->editedParameter(), kBin0 + 10);
}

TEST_F(WaveformDisplayFixture, LevelCacheFollowsChangesMadeElsewhere) {
  effect->setParameterPlain(kBin0 + 100, 0.4f, true);
  effect->setParameterPlain(kBin0 + 2048, 0.0f, false);
  EXPECT_FLOAT_EQ(display->cachedLevel(100), 1.0f);
  display->update();
  EXPECT_NEAR(display->cachedLevel(100), 0.4f, 1e-5);
  EXPECT_FLOAT_EQ(display->cachedLevel(2048), 0.0f);

  // The bars show the cache: bin 100's bar has that height.
  display->prepareFrame();
  const auto& bar = display->sliderVertices();
  EXPECT_NEAR(bar[100 * 4 + 1].y, 0.4f, 1e-5);
  EXPECT_NEAR(bar[100 * 4 + 2].y, 0.4f, 1e-5);
  EXPECT_FLOAT_EQ(bar[100 * 4].y, 0.0f);
}

TEST_F(WaveformDisplayFixture, DragsFarOutsideKeepLevelsInRange) {
  display->mouseDown(local(10, 0.5f), 0, 1);
  for (const Point p : {Point{-5000.0f, -5000.0f}, Point{5000.0f, 5000.0f}, Point{-1e6f, 1e6f},
                        Point{1e6f, -1e6f}}) {
    display->mouseDragged(p, 0);
    display->mouseDragged(p, QW::kModifierShift);
  }
  for (int k = 0; k < 2049; ++k) {
    ASSERT_GE(level(k), 0.0f) << k;
    ASSERT_LE(level(k), 1.0f) << k;
    ASSERT_GE(display->cachedLevel(k), 0.0f) << k;
    ASSERT_LE(display->cachedLevel(k), 1.0f) << k;
  }
  // The far lower left is bin 0 at level 0.
  display->mouseDown({-1e6f, -1e6f}, 0, 1);
  EXPECT_FLOAT_EQ(level(0), 0.0f);
}

TEST_F(WaveformDisplayFixture, HoverSeesTheRegionOfTheBinUnderThePointer) {
  ASSERT_EQ(display->regions().size(), 2049u);

  // The hit test works in the group's coordinates.
  QW::UIElement* hit = display->hitTest({10.0f + 7.5f, 20.0f + 150.0f});
  ASSERT_NE(hit, nullptr);
  EXPECT_EQ(hit, display->regions()[7]);
  EXPECT_EQ(display->hitTest({5.0f, 50.0f}), nullptr);
  EXPECT_EQ(display->hitTest({30.0f, 221.0f}), nullptr);

  // Its window box is the bin's column of the display.
  const QW::Bounds box = hit->absoluteBounds();
  EXPECT_FLOAT_EQ(box.minX, 117.0f);
  EXPECT_FLOAT_EQ(box.maxX, 118.0f);
  EXPECT_FLOAT_EQ(box.minY, 70.0f);
  EXPECT_FLOAT_EQ(box.maxY, 270.0f);

  hit->mouseEntered();
  EXPECT_EQ(manager->hoveredId(), kBin0 + 7);
  EXPECT_EQ(manager->tooltipElement(), display);
  display->regions()[8]->mouseExited();
  EXPECT_EQ(manager->hoveredId(), kBin0 + 7);
  hit->mouseExited();
  EXPECT_EQ(manager->hoveredId(), -1);

  // A press on a region edits like a press on the display.
  hit->mouseDown(local(7, 0.4f), 0, 1);
  EXPECT_NEAR(level(7), 0.4f, 1e-5);
}

TEST_F(WaveformDisplayFixture, RegionsFollowTheLogarithmicAxis) {
  effect->setParameterPlain(kParamViewXAxis, 0.0f, false);  // "Log"
  view->displaySizeIndex = 0;                               // 32 points
  display->update();

  const float scale = 513.0f / std::log(2051.0f);
  const float x =
      10.0f + 0.5f * (std::log(128.0f * 4 + 2.0f) + std::log(128.0f * 5 + 2.0f)) * scale;
  QW::UIElement* hit = display->hitTest({x, 30.0f});
  ASSERT_EQ(hit, display->regions()[5]);
  const QW::Bounds box = hit->absoluteBounds();
  EXPECT_NEAR(box.minX, 110.0f + std::log(128.0f * 4 + 2.0f) * scale, 1e-3);
  EXPECT_NEAR(box.maxX, 110.0f + std::log(128.0f * 5 + 2.0f) * scale, 1e-3);

  // The last of the 17 bins ends short of the right edge.
  EXPECT_NEAR(display->regions()[16]->absoluteBounds().maxX, 110.0f + std::log(2050.0f) * scale,
              1e-3);
  EXPECT_EQ(display->hitTest({522.9f, 30.0f}), display->regions()[16]);
}

TEST_F(WaveformDisplayFixture, WindowInputReachesTheBinsThroughTheManager) {
  manager->mouseMoved(window(7, 0.5f));
  EXPECT_EQ(manager->hoveredId(), kBin0 + 7);
  manager->mouseMoved(window(9, 0.5f));
  EXPECT_EQ(manager->hoveredId(), kBin0 + 9);
  manager->mouseMoved({5.0f, 5.0f});
  EXPECT_EQ(manager->hoveredId(), -1);

  manager->mouseDown(window(10, 0.2f), 0, 1);
  manager->mouseDragged(window(5, 0.7f), 0);
  manager->mouseUp(window(5, 0.7f), 0);
  for (int k = 5; k <= 10; ++k) EXPECT_NEAR(level(k), 0.7f - 0.1f * (k - 5), 1e-4) << k;
  EXPECT_FLOAT_EQ(level(4), 1.0f);
  EXPECT_EQ(indices(vst::audioMasterEndEdit), (std::vector<int32_t>{kBin0 + 10, kBin0 + 5}));
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
  EXPECT_NEAR(display->rawHeight(3), 160.0f, 1e-3);
  EXPECT_FLOAT_EQ(display->rawHeight(4), 160.0f);
  EXPECT_FLOAT_EQ(display->rawHeight(5), 0.0f);
  EXPECT_FLOAT_EQ(display->rawHeight(6), 0.0f);  // no energy: the minimum
  EXPECT_NEAR(display->processedHeight(3), 160.0f - 46.0517f, 1e-3);

  // With smoothing, a silent frame lets the bars fall by the coefficient.
  effect->setParameterPlain(kParamViewSmoothing, 500.0f, false);
  std::fill(raw.begin(), raw.end(), 0.0f);
  display->prepareFrame();
  EXPECT_NEAR(display->rawHeight(3), 160.0f * 0.7071f, 0.1f);

  // Without spectra (before the first block) the bars stay where they were.
  const float before = display->rawHeight(3);
  view->rawSpectrum[0] = nullptr;
  display->prepareFrame();
  EXPECT_FLOAT_EQ(display->rawHeight(3), before);
  view->processedSpectrum[0] = nullptr;
}

TEST_F(WaveformDisplayFixture, SliderColoursShadeEachBarFromLeftToRight) {
  display->prepareFrame();
  const auto& bars = display->sliderVertices();
  EXPECT_EQ(bars[0].r, 255);
  EXPECT_EQ(bars[0].b, 128);
  EXPECT_EQ(bars[1].a, 160);
  EXPECT_EQ(bars[2].b, 160);
  EXPECT_EQ(bars[3].a, 128);
  // Linear axis: bin k spans k ... k + 1.
  EXPECT_FLOAT_EQ(bars[7 * 4].x, 7.0f);
  EXPECT_FLOAT_EQ(bars[7 * 4 + 2].x, 8.0f);

  display->setSliderColours(1.0f, 0.0f, 0.5f, 0.0f, 1.0f, 0.25f);
  display->prepareFrame();
  EXPECT_EQ(bars[1].r, 255);
  EXPECT_EQ(bars[1].g, 0);
  EXPECT_EQ(bars[1].b, 127);
  EXPECT_EQ(bars[1].a, 255);
  EXPECT_EQ(bars[3].r, 0);
  EXPECT_EQ(bars[3].g, 255);
  EXPECT_EQ(bars[3].b, 63);
  EXPECT_EQ(bars[3].a, 255);
}

}  // namespace
