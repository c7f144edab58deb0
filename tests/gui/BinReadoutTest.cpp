#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "core/ParamIds.h"
#include "gui/BinReadout.h"
#include "gui/Ovmanager.h"
#include "support/ScopedEnv.h"
#include "tests/core/TestEffect.h"

namespace {

TEST(BinReadout, NamesFrequencyNoteOctaveAndCents) {
  EXPECT_EQ(QW::binReadout(0, 5, 44100.0f), "0Hz");
  // 44100 / 1024 = 43.07 Hz: 23 cents below F1.
  EXPECT_EQ(QW::binReadout(1, 5, 44100.0f), "  43.1Hz  F 1-23");
  // Exactly 440 Hz: bin 1 of 1024 points at 450560 Hz, bin 10 at 45056 Hz.
  EXPECT_EQ(QW::binReadout(1, 5, 450560.0f), " 440.0Hz  A 4+0");
  EXPECT_EQ(QW::binReadout(10, 5, 45056.0f), " 440.0Hz  A 4+0");
  // A little above a note rounds to it with positive cents; sharps print
  // their sign.
  EXPECT_EQ(QW::binReadout(100, 0, 150.0f), " 468.8Hz  A#4+10");
  // 1000 Hz is 21 cents above B5.
  EXPECT_EQ(QW::binReadout(256, 7, 16000.0f), "1000.0Hz  B 5+21");
  // Wide frequencies take more than six characters; two-digit octaves too.
  EXPECT_EQ(QW::binReadout(2048, 7, 44100.0f), "22050.0Hz  F 10-23");
}

TEST(BinReadout, NotesBelowTheScaleCountAsC) {
  // 0.5 Hz would be note -76; it reads as note 0, C of octave -1.
  const std::string low = QW::binReadout(1, 0, 16.0f);
  EXPECT_EQ(low, "   0.5Hz  C -1+0");
  // Out-of-range size indices and absurd rates do not crash.
  EXPECT_FALSE(QW::binReadout(1, -3, 44100.0f).empty());
  EXPECT_FALSE(QW::binReadout(1, 40, 1e30f).empty());
}

// Reaches the tooltip hook of the plug-in's manager.
class ProbeManager : public QW::Ovmanager {
 public:
  using QW::Ovmanager::drawParameterExtra;
  using QW::Ovmanager::Ovmanager;
};

class BinTooltip : public ::testing::Test {
 protected:
  void SetUp() override {
    const ScopedEnv noPreferences("XDG_CONFIG_HOME", "/nonexistent-veldrana-test");
    manager = std::make_unique<ProbeManager>(fixture.effect.get());
  }

  std::string extra(int32_t parameter) {
    std::string text = "name";
    manager->drawParameterExtra(nullptr, parameter, 0.0f, 0.0f, text);
    return text;
  }

  EffectFixture fixture;
  std::unique_ptr<ProbeManager> manager;
};

TEST_F(BinTooltip, AppendsTheReadoutOfBinLevelsOnly) {
  fixture.effect->setSampleRate(44100.0f);
  fixture.effect->setParameterPlain(kParamFftSize, 5.0f, false);
  EXPECT_EQ(extra(kParamBin0Level), "name 0Hz");
  EXPECT_EQ(extra(kParamBin0Level + 1), "name   43.1Hz  F 1-23");
  EXPECT_EQ(extra(kParamCount - 1), "name " + QW::binReadout(2048, 5, 44100.0f));
  // Other parameters get nothing.
  EXPECT_EQ(extra(kParamFftSize), "name");
  EXPECT_EQ(extra(kParamBin0Level - 1), "name");
  EXPECT_EQ(extra(kParamCount), "name");
}

TEST_F(BinTooltip, FollowsTheFftSizeAndTheSampleRate) {
  fixture.effect->setSampleRate(48000.0f);
  fixture.effect->setParameterPlain(kParamFftSize, 0.0f, false);
  EXPECT_EQ(extra(kParamBin0Level + 1), "name " + QW::binReadout(1, 0, 48000.0f));
  fixture.effect->setParameterPlain(kParamFftSize, 7.0f, false);
  EXPECT_EQ(extra(kParamBin0Level + 1), "name " + QW::binReadout(1, 7, 48000.0f));
}

}  // namespace
