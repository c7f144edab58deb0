#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "CountingAllocator.h"
#include "core/ParamIds.h"
#include "core/ViewState.h"
#include "dsp/BrevikKernel.h"
#include "dsp/DenormalGuard.h"
#include "dsp/KernelSettings.h"
#include "dsp/SpectralContext.h"
#include "dsp/SpectralTables.h"

namespace {

using alloc_test::AllocationCounts;
using alloc_test::CountingScope;

// Stores the result where the optimiser cannot see it go unused, so the
// allocations in the self-check below really happen.
void* volatile gSink = nullptr;

TEST(CountingAllocator, SeesNewAndMallocOnlyInsideTheScope) {
  AllocationCounts counts;
  {
    CountingScope scope;
    gSink = ::operator new(24);
    ::operator delete(gSink);
    gSink = std::malloc(24);
    std::free(gSink);
    gSink = std::aligned_alloc(64, 128);
    std::free(gSink);
    { auto v = std::make_unique<std::vector<int>>(100); }
    counts = scope.counts();
  }
  EXPECT_EQ(counts.allocations, 5u);
  EXPECT_EQ(counts.releases, 5u);

  CountingScope scope;
  EXPECT_EQ(scope.counts().allocations, 0u);
}

TEST(CountingAllocator, IgnoresOtherThreads) {
  std::atomic<int> stage{0};
  std::thread other([&] {
    while (stage.load() != 1) std::this_thread::yield();
    void* p = std::malloc(32);
    gSink = p;
    std::free(p);
    stage.store(2);
  });
  AllocationCounts counts;
  {
    CountingScope scope;
    stage.store(1);
    while (stage.load() != 2) std::this_thread::yield();
    counts = scope.counts();
  }
  other.join();
  EXPECT_EQ(counts.allocations, 0u);
  EXPECT_EQ(counts.releases, 0u);
}

// Records nothing and allocates nothing: a stand-in for the script layer, so
// the virtual hook is exercised on every frame.
class QuietScripts : public SpectralScriptHost {
 public:
  void RunSpectralScript(int32_t, float* spectrum, int32_t) override { spectrum[1] *= 0.5f; }
};

struct alignas(16) ProgramValues {
  float v[kParamCount];
};

TEST(KernelAllocation, ProcessingAcrossSizeChangesNeverAllocates) {
  // Everything the effect builds up front.
  const SpectralTables tables;
  SpectralContext context;
  tables.attach(context);
  QuietScripts scripts;
  context.scripts = &scripts;
  auto values = std::make_unique<ProgramValues>();
  for (float& v : values->v) v = 0.0f;
  values->v[kParamDryLevel] = 0.5f;
  values->v[kParamWetLevel] = 1.0f;
  values->v[kParamScriptIndex] = 1.0f;
  for (int b = 0; b < kBinCount; ++b) values->v[kParamBin0Level + b] = 0.9f;
  std::vector<std::unique_ptr<CBrevikKernel>> kernels;
  for (uint32_t c = 0; c < 2; ++c)
    kernels.push_back(std::make_unique<CBrevikKernel>(nullptr, &context, c));
  CBrevikKernel* const pointers[] = {kernels[0].get(), kernels[1].get()};
  ViewState view{};

  constexpr uint32_t kMaxBlock = 3000;
  std::vector<float> in(kMaxBlock), out(kMaxBlock);
  std::mt19937 rng(42);
  std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
  for (float& v : in) v = sample(rng);
  const float sizes[] = {5, 0, 7, 3, 7, 1, 6, 2, 4, 0};
  std::vector<uint32_t> blocks;
  for (int i = 0; i < 40; ++i) blocks.push_back(1 + rng() % kMaxBlock);

  AllocationCounts counts;
  {
    CountingScope scope;
    size_t round = 0;
    for (const float size : sizes) {
      values->v[kParamFftSize] = size;
      values->v[kParamScriptPosition] = static_cast<float>(round % 2);
      for (int b = 0; b < 4; ++b) {
        const uint32_t frames = blocks[(round * 4 + b) % blocks.size()];
        const DenormalGuard guard;
        // Pieces as the effect cuts a block at its MIDI events.
        uint32_t offset = 0;
        while (offset < frames) {
          const uint32_t piece = std::min<uint32_t>(frames - offset, 1 + frames / 3);
          context.blockPosition = offset;
          refreshKernelSettings(context.settings, values->v);
          for (auto& kernel : kernels) {
            bool silence = false;
            kernel->Process(in.data(), out.data(), piece, 1, silence);
          }
          offset += piece;
        }
        updateMeters(view, pointers, 2, frames, 44100.0f);
      }
      kernels[1]->Reset();
      ++round;
    }
    counts = scope.counts();
  }
  EXPECT_EQ(counts.allocations, 0u);
  EXPECT_EQ(counts.releases, 0u);
  EXPECT_EQ(kernels[0]->currentSize(), 32u);
}

}  // namespace
