#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "tests/so/PluginLoader.h"

namespace {

// A host callback that remembers what the plug-in told it.
struct HostLog {
  int ioChanged = 0;
  int automate = 0;
  int wantMidi = 0;
  intptr_t version = 2400;
};
HostLog* hostLog = nullptr;

intptr_t host(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  if (!hostLog) return 0;
  switch (opcode) {
    case vst::audioMasterVersion:
      return hostLog->version;
    case vst::audioMasterIOChanged:
      ++hostLog->ioChanged;
      return 1;
    case vst::audioMasterAutomate:
      ++hostLog->automate;
      return 0;
    case vst::audioMasterWantMidi:
      ++hostLog->wantMidi;
      return 1;
    default:
      return 0;
  }
}

class PluginSo : public ::testing::Test {
 protected:
  void SetUp() override {
    hostLog = &log;
    effect = library.entry()(host);
    ASSERT_NE(effect, nullptr);
  }
  void TearDown() override {
    if (effect) {
      EXPECT_EQ(dispatch(effect, vst::effClose), 1);
    }
    hostLog = nullptr;
  }
  std::string text(int32_t opcode, int32_t index = 0) {
    char buffer[256] = {};
    dispatch(effect, opcode, index, 0, buffer);
    return buffer;
  }

  PluginLibrary library;
  HostLog log;
  vst::AEffect* effect = nullptr;
};

TEST_F(PluginSo, DescribesItselfToTheHost) {
  EXPECT_EQ(effect->magic, vst::kEffectMagic);
  EXPECT_EQ(effect->uniqueID, vst::fourCC('Q', 'W', 'v', 'd'));
  EXPECT_EQ(effect->numParams, 2081);
  EXPECT_EQ(effect->numPrograms, 1);
  EXPECT_EQ(effect->numInputs, 2);
  EXPECT_EQ(effect->numOutputs, 2);
  EXPECT_EQ(effect->flags, 57);
  EXPECT_EQ(effect->initialDelay, 1024);
  EXPECT_EQ(effect->version, 1);
  EXPECT_EQ(effect->ioRatio, 1.0f);
  EXPECT_EQ(text(vst::effGetEffectName), "Veldrana");
  EXPECT_EQ(text(vst::effGetVendorString), "Quillworks");
  EXPECT_EQ(text(vst::effGetProductString), "Veldrana");
  EXPECT_EQ(dispatch(effect, vst::effGetVendorVersion), 65541);
  EXPECT_EQ(dispatch(effect, vst::effGetVstVersion), 2400);
  EXPECT_EQ(text(vst::effGetParamName, 2080), "Bin 2048 Level");
  EXPECT_EQ(text(vst::effGetParamDisplay, 3), "1024");
  EXPECT_EQ(text(vst::effGetParamDisplay, 11), "0.000");
  EXPECT_EQ(text(vst::effGetParamLabel, 11), "dB");
  char midi[] = "receiveVstMidiEvent";
  EXPECT_EQ(dispatch(effect, vst::effCanDo, 0, 0, midi), 1);
}

TEST_F(PluginSo, HostLifecycleAndLatency) {
  dispatch(effect, vst::effOpen);
  dispatch(effect, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
  dispatch(effect, vst::effSetBlockSize, 0, 512);
  dispatch(effect, vst::effMainsChanged, 0, 1);
  EXPECT_GE(log.wantMidi, 1);
  effect->setParameter(effect, 3, 6.0f / 7.0f);
  EXPECT_EQ(effect->initialDelay, 2048);
  EXPECT_EQ(log.ioChanged, 1);
  effect->setParameter(effect, 3, 6.0f / 7.0f);
  EXPECT_EQ(log.ioChanged, 1);
  EXPECT_NEAR(effect->getParameter(effect, 3), 6.0f / 7.0f, 1e-6f);

  std::vector<float> in(512, 0.25f), out(512, 9.0f);
  float* ins[2] = {in.data(), in.data()};
  std::vector<float> out2(512, 9.0f);
  float* outs[2] = {out.data(), out2.data()};
  for (int i = 0; i < 8; ++i) effect->processReplacing(effect, ins, outs, 512);
  for (float v : out) ASSERT_TRUE(std::isfinite(v));
  dispatch(effect, vst::effMainsChanged, 0, 0);
}

TEST_F(PluginSo, ChunkRoundTripThroughTheDispatcher) {
  effect->setParameter(effect, 40, 0.25f);
  effect->setParameter(effect, 3, 1.0f);
  void* data = nullptr;
  const intptr_t size = dispatch(effect, vst::effGetChunk, 0, 0, &data);
  ASSERT_EQ(size, 8500);
  std::vector<uint8_t> saved(static_cast<const uint8_t*>(data),
                             static_cast<const uint8_t*>(data) + size);

  vst::AEffect* other = library.entry()(host);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->initialDelay, 1024);
  const int before = log.ioChanged;
  EXPECT_EQ(dispatch(other, vst::effSetChunk, 0, size, saved.data()), 1);
  EXPECT_EQ(other->getParameter(other, 40), 0.25f);
  EXPECT_EQ(other->initialDelay, 4096);
  EXPECT_EQ(log.ioChanged, before + 1);
  // The first instance is untouched by the second.
  effect->setParameter(effect, 40, 0.75f);
  EXPECT_EQ(other->getParameter(other, 40), 0.25f);
  EXPECT_EQ(dispatch(other, vst::effClose), 1);
}

TEST_F(PluginSo, HostileIndicesAndPointers) {
  for (int32_t index : {-1, 2081, 1000000}) {
    effect->setParameter(effect, index, 0.5f);
    EXPECT_EQ(effect->getParameter(effect, index), 0.0f);
    EXPECT_EQ(text(vst::effGetParamName, index), "");
    EXPECT_EQ(text(vst::effGetParamDisplay, index), "");
    EXPECT_EQ(dispatch(effect, vst::effGetParamDisplay, index, 0, nullptr), 0);
  }
  EXPECT_EQ(dispatch(effect, vst::effGetChunk, 0, 0, nullptr), 0);
  EXPECT_EQ(dispatch(effect, vst::effSetChunk, 0, 0, nullptr), 1);
  EXPECT_EQ(dispatch(effect, vst::effProcessEvents, 0, 0, nullptr), 0);
  EXPECT_EQ(dispatch(effect, 12345), 0);
  float* none[2] = {nullptr, nullptr};
  effect->processReplacing(effect, none, none, 64);
  effect->processReplacing(effect, nullptr, nullptr, 64);
}

TEST(PluginSoEntry, RefusesHostsWithoutAVersion) {
  PluginLibrary library;
  HostLog log;
  log.version = 0;
  hostLog = &log;
  EXPECT_EQ(library.entry()(host), nullptr);
  EXPECT_EQ(library.entry()(nullptr), nullptr);
  hostLog = nullptr;
}

}  // namespace
