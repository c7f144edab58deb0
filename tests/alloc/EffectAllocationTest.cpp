#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "CountingAllocator.h"
#include "MidiList.h"
#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "core/VstAbi.h"

namespace {

using alloc_test::MidiList;

intptr_t quietHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

TEST(EffectAllocation, SteadyStateAudioAndShortMidiNeverAllocate) {
  QwkTonalmire effect(quietHost);
  vst::AEffect* e = effect.getAeffect();
  e->dispatcher(e, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
  e->dispatcher(e, vst::effMainsChanged, 0, 1, nullptr, 0.0f);

  constexpr int kBlock = 512;
  std::vector<float> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
  for (int i = 0; i < kBlock; ++i) {
    inL[static_cast<size_t>(i)] = sample(rng);
    inR[static_cast<size_t>(i)] = sample(rng);
  }
  float* ins[2] = {inL.data(), inR.data()};
  float* outs[2] = {outL.data(), outR.data()};

  MidiList notes(8);
  for (size_t i = 0; i < 8; ++i)
    notes.set(i, i % 2 ? 0x80 : 0x90, static_cast<uint8_t>(60 + i), 100,
              static_cast<int32_t>(i * 60));

  // Warm up: the first blocks may settle lazily built state off the
  // counted path (every size once, every message kind once).
  for (int k = 0; k < 8; ++k) {
    e->setParameter(e, kParamFftSize, static_cast<float>(k) / 7.0f);
    e->dispatcher(e, vst::effProcessEvents, 0, 0, notes.list, 0.0f);
    for (int b = 0; b < 20; ++b) e->processReplacing(e, ins, outs, kBlock);
  }

  alloc_test::AllocationCounts counts;
  {
    alloc_test::CountingScope scope;
    for (int round = 0; round < 3; ++round) {
      for (int k = 7; k >= 0; --k) {
        e->setParameter(e, kParamFftSize, static_cast<float>(k) / 7.0f);
        for (int b = 0; b < 20; ++b) {
          e->dispatcher(e, vst::effProcessEvents, 0, 0, notes.list, 0.0f);
          e->processReplacing(e, ins, outs, kBlock);
        }
      }
    }
    counts = scope.counts();
  }
  EXPECT_EQ(counts.allocations, 0u);
  EXPECT_EQ(counts.releases, 0u);
  for (float v : outL) ASSERT_TRUE(std::isfinite(v));
}

}  // namespace
