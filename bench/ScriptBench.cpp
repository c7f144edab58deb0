// Spectral scripts and MIDI dispatch: whole-plug-in throughput with each
// built-in script selected (stereo, 48 kHz, 512-frame blocks), beside the
// same plug-in with no script in the same run; and the cost of handing one
// controller message to the scripts.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/MessageQueue.h"
#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "scripting/LuaMIDIHelper.h"

namespace {

constexpr int kBlock = 512;
constexpr double kRate = 48000.0;

intptr_t benchHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

const char* const kScripts[] = {"Off",       "Shift",     "Reverse", "Low Pass",
                                "High Pass", "Band Pass", "Gate"};

void BM_ScriptThroughput(benchmark::State& state) {
  const int script = static_cast<int>(state.range(0));
  const int sizeIndex = static_cast<int>(state.range(1));
  QwkTonalmire effect(benchHost);
  vst::AEffect* e = effect.getAeffect();
  e->dispatcher(e, vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
  e->dispatcher(e, vst::effMainsChanged, 0, 1, nullptr, 0);
  effect.setParameterPlain(kParamFftSize, static_cast<float>(sizeIndex), false);
  effect.setParameterPlain(kParamScriptIndex, static_cast<float>(script), false);
  effect.setParameterPlain(kParamScripted1, 7.0f, false);
  effect.setParameterPlain(kParamScripted2, 0.37f, false);
  effect.setParameterPlain(kParamScripted3, 0.6f, false);
  effect.setParameterPlain(kParamScripted4, 0.2f, false);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> d(-0.5f, 0.5f);
  std::vector<float> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
  for (int i = 0; i < kBlock; ++i) {
    inL[static_cast<size_t>(i)] = d(rng);
    inR[static_cast<size_t>(i)] = d(rng);
  }
  float* ins[2] = {inL.data(), inR.data()};
  float* outs[2] = {outL.data(), outR.data()};
  for (auto _ : state) {
    e->processReplacing(e, ins, outs, kBlock);
    benchmark::DoNotOptimize(outL.data());
  }
  state.counters["realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kBlock / kRate, benchmark::Counter::kIsRate);
  state.SetLabel(std::string(kScripts[script]) + " N=" + std::to_string(32 << sizeIndex));
}

void BM_ControllerDispatch(benchmark::State& state) {
  QwkTonalmire effect(benchHost);
  QW::MessageQueueItem item;
  item.type = QW::MessageQueueItem::kShort;
  item.status = 0xB0;
  item.channel = 0;
  item.data1 = 2;  // mapped to "Dry Level" by the built-in map
  int value = 0;
  for (auto _ : state) {
    item.data2 = static_cast<uint8_t>(value++ & 127);
    effect.luaHelper()->HandleMessage(item);
  }
}

void scriptArguments(benchmark::internal::Benchmark* b) {
  for (int script = 0; script <= 6; ++script)
    for (int size : {0, 5, 7}) b->Args({script, size});
}

BENCHMARK(BM_ScriptThroughput)->Apply(scriptArguments);
BENCHMARK(BM_ControllerDispatch);

}  // namespace

BENCHMARK_MAIN();
