// Whole-plug-in throughput through the shipped .so: stereo, 48 kHz, 512-frame
// host blocks, all levels 1, no script, at every FFT size; beside a plain
// FFTW-based STFT doing the same framing, windowing, levels and overlap-add.
// The "realtime" counter is seconds of audio per second of CPU.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fftw3.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

#include "core/VstAbi.h"

namespace {

constexpr int kBlock = 512;
constexpr double kRate = 48000.0;
constexpr double kPi = 3.14159265358979323846;

intptr_t benchHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

std::vector<float> noise(size_t n) {
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> d(-0.5f, 0.5f);
  std::vector<float> v(n);
  for (float& x : v) x = d(rng);
  return v;
}

struct Library {
  Library() : handle(dlopen(VELDRANA_SO_PATH, RTLD_NOW | RTLD_LOCAL)) {
    if (!handle) throw std::runtime_error(dlerror());
  }
  ~Library() { dlclose(handle); }
  void* handle;
};

void BM_Veldrana(benchmark::State& state) {
  static Library library;
  auto entry = reinterpret_cast<vst::PluginEntryProc>(dlsym(library.handle, "VSTPluginMain"));
  vst::AEffect* e = entry(benchHost);
  e->dispatcher(e, vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
  e->dispatcher(e, vst::effSetBlockSize, 0, kBlock, nullptr, 0);
  e->dispatcher(e, vst::effMainsChanged, 0, 1, nullptr, 0);
  e->setParameter(e, 3, static_cast<float>(state.range(0)) / 7.0f);
  const auto inL = noise(kBlock), inR = noise(kBlock);
  std::vector<float> outL(kBlock), outR(kBlock);
  float* ins[2] = {const_cast<float*>(inL.data()), const_cast<float*>(inR.data())};
  float* outs[2] = {outL.data(), outR.data()};
  for (auto _ : state) {
    e->processReplacing(e, ins, outs, kBlock);
    benchmark::DoNotOptimize(outL.data());
  }
  state.counters["realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kBlock / kRate, benchmark::Counter::kIsRate);
  state.SetLabel("N=" + std::to_string(32 << state.range(0)));
  e->dispatcher(e, vst::effClose, 0, 0, nullptr, 0);
}

// The yardstick: one channel of a textbook STFT with FFTW, same schedule of
// two half-overlapping frame streams, square-root Hann on both sides, levels.
class FftwStft {
 public:
  explicit FftwStft(int n)
      : n_(n),
        window_(static_cast<size_t>(n)),
        levels_(static_cast<size_t>(n / 2 + 1), 1.0f),
        frame_(fftwf_alloc_real(static_cast<size_t>(n))),
        spectrum_(fftwf_alloc_complex(static_cast<size_t>(n / 2 + 1))),
        forward_(fftwf_plan_dft_r2c_1d(n, frame_, spectrum_, FFTW_MEASURE)),
        inverse_(fftwf_plan_dft_c2r_1d(n, spectrum_, frame_, FFTW_MEASURE)),
        input_(static_cast<size_t>(2 * n)),
        output_(static_cast<size_t>(2 * n)) {
    for (int i = 0; i < n; ++i)
      window_[static_cast<size_t>(i)] =
          static_cast<float>(std::sqrt(0.5 - 0.5 * std::cos(2 * kPi * i / (n - 1))));
  }
  ~FftwStft() {
    fftwf_destroy_plan(forward_);
    fftwf_destroy_plan(inverse_);
    fftwf_free(frame_);
    fftwf_free(spectrum_);
  }
  FftwStft(const FftwStft&) = delete;
  FftwStft& operator=(const FftwStft&) = delete;

  void process(const float* in, float* out, int count) {
    const int hop = n_ / 2;
    for (int i = 0; i < count; ++i) {
      input_[static_cast<size_t>(position_)] = in[i];
      input_[static_cast<size_t>(position_ + n_)] = in[i];
      out[i] = output_[static_cast<size_t>(position_)];
      output_[static_cast<size_t>(position_)] = 0.0f;
      output_[static_cast<size_t>(position_ + n_)] = 0.0f;
      position_ = (position_ + 1) % n_;
      if (++sinceFrame_ == hop) {
        sinceFrame_ = 0;
        frame(position_);
      }
    }
  }

 private:
  void frame(int start) {
    // The last n samples, oldest first, start at `start` in the doubled ring.
    for (int i = 0; i < n_; ++i)
      frame_[i] = window_[static_cast<size_t>(i)] * input_[static_cast<size_t>(start + i)];
    fftwf_execute(forward_);
    for (int k = 0; k <= n_ / 2; ++k) {
      spectrum_[k][0] *= levels_[static_cast<size_t>(k)];
      spectrum_[k][1] *= levels_[static_cast<size_t>(k)];
    }
    fftwf_execute(inverse_);
    const float g = 1.0f / static_cast<float>(n_);
    for (int i = 0; i < n_; ++i) {
      const int at = (start + i) % n_;
      const float y = window_[static_cast<size_t>(i)] * frame_[i] * g;
      output_[static_cast<size_t>(at)] += y;
      output_[static_cast<size_t>(at + n_)] += y;
    }
  }

  int n_;
  std::vector<float> window_, levels_;
  float* frame_;
  fftwf_complex* spectrum_;
  fftwf_plan forward_, inverse_;
  std::vector<float> input_, output_;
  int position_ = 0;
  int sinceFrame_ = 0;
};

void BM_FftwStft(benchmark::State& state) {
  const int n = 32 << state.range(0);
  FftwStft left(n), right(n);
  const auto inL = noise(kBlock), inR = noise(kBlock);
  std::vector<float> outL(kBlock), outR(kBlock);
  for (auto _ : state) {
    left.process(inL.data(), outL.data(), kBlock);
    right.process(inR.data(), outR.data(), kBlock);
    benchmark::DoNotOptimize(outL.data());
  }
  state.counters["realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kBlock / kRate, benchmark::Counter::kIsRate);
  state.SetLabel("N=" + std::to_string(n));
}

BENCHMARK(BM_Veldrana)->DenseRange(0, 7);
BENCHMARK(BM_FftwStft)->DenseRange(0, 7);

}  // namespace

BENCHMARK_MAIN();
