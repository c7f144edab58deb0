// RealFFT against FFTW's single-precision r2c + c2r (FFTW_MEASURE plans),
// forward plus inverse at every frame size the effect uses. Each size runs
// the yardstick and every RealFFT path back to back, and a table of time
// ratios (RealFFT / FFTW, lower is better) is printed after the runs.
//
//   veldrana_bench_fft [--benchmark_repetitions=5] [--benchmark_filter=...]
//
// With repetitions, the fastest repetition of each benchmark is compared,
// which is what least depends on other work on a shared machine (the median
// when only aggregates are reported).
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dsp/RealFFT.h"
#include "dsp/RealFFTInternal.h"

namespace {

constexpr int32_t kSmallest = 32;
constexpr int32_t kLargest = 4096;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using FloatBuffer = std::unique_ptr<float[], FreeDeleter>;

// 64-byte aligned, as the effect's buffers are at least 16-byte aligned.
FloatBuffer makeBuffer(int32_t n, uint32_t seed) {
  const size_t bytes = (static_cast<size_t>(n) * sizeof(float) + 63) / 64 * 64;
  auto* p = static_cast<float*>(std::aligned_alloc(64, bytes));
  if (p == nullptr) std::abort();
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  for (int32_t i = 0; i < n; ++i) p[i] = dist(rng);
  return FloatBuffer(p);
}

void benchFftw(benchmark::State& state, int32_t n) {
  float* in = fftwf_alloc_real(static_cast<size_t>(n));
  float* out = fftwf_alloc_real(static_cast<size_t>(n));
  fftwf_complex* spectrum = fftwf_alloc_complex(static_cast<size_t>(n / 2 + 1));
  const fftwf_plan forward = fftwf_plan_dft_r2c_1d(n, in, spectrum, FFTW_MEASURE);
  const fftwf_plan inverse = fftwf_plan_dft_c2r_1d(n, spectrum, out, FFTW_MEASURE);
  // Planning with FFTW_MEASURE overwrites the arrays.
  const FloatBuffer signal = makeBuffer(n, 1);
  std::copy(signal.get(), signal.get() + n, in);
  for (auto _ : state) {
    fftwf_execute(forward);
    fftwf_execute(inverse);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  fftwf_destroy_plan(forward);
  fftwf_destroy_plan(inverse);
  fftwf_free(spectrum);
  fftwf_free(out);
  fftwf_free(in);
}

// The public interface, which runs the best path for this processor.
void benchRealFft(benchmark::State& state, int32_t n) {
  RealFFT fft(n);
  const FloatBuffer x = makeBuffer(n, 1);
  const FloatBuffer f = makeBuffer(n, 2);
  const FloatBuffer y = makeBuffer(n, 3);
  for (auto _ : state) {
    fft.forward(f.get(), x.get());
    fft.inverse(f.get(), y.get());
    benchmark::DoNotOptimize(y.get());
    benchmark::ClobberMemory();
  }
}

void benchPath(benchmark::State& state, int32_t n, RealFFTIsa isa) {
  const RealFFT fft(n);
  const FloatBuffer x = makeBuffer(n, 1);
  const FloatBuffer f = makeBuffer(n, 2);
  const FloatBuffer y = makeBuffer(n, 3);
  const FloatBuffer scratch = makeBuffer(n, 4);
  for (auto _ : state) {
    RealFFTKernels::forward(isa, fft, f.get(), x.get(), scratch.get());
    RealFFTKernels::inverse(isa, fft, f.get(), y.get(), scratch.get());
    benchmark::DoNotOptimize(y.get());
    benchmark::ClobberMemory();
  }
}

struct Contender {
  std::string name;
  RealFFTIsa isa;
};

std::vector<Contender> pathsHere() {
  std::vector<Contender> paths;
  if (RealFFTKernels::supported(RealFFTIsa::kAvx2))
    paths.push_back({"RealFFT-avx2", RealFFTIsa::kAvx2});
  if (RealFFTKernels::supported(RealFFTIsa::kSse2))
    paths.push_back({"RealFFT-sse2", RealFFTIsa::kSse2});
  paths.push_back({"RealFFT-scalar", RealFFTIsa::kScalar});
  return paths;
}

void registerAll() {
  for (int32_t n = kSmallest; n <= kLargest; n *= 2) {
    const std::string size = "/" + std::to_string(n);
    benchmark::RegisterBenchmark(("FFTW" + size).c_str(), benchFftw, n);
    benchmark::RegisterBenchmark(("RealFFT" + size).c_str(), benchRealFft, n);
    for (const Contender& c : pathsHere()) {
      benchmark::RegisterBenchmark((c.name + size).c_str(), benchPath, n, c.isa);
    }
  }
}

// Prints the usual console output and keeps each benchmark's fastest
// repetition for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const double ns = run.GetAdjustedRealTime();
      if (run.run_type == Run::RT_Iteration) {
        const std::string name = run.run_name.str();
        const auto it = fastest_.find(name);
        if (it == fastest_.end() || ns < it->second) fastest_[name] = ns;
      } else if (run.aggregate_name == "median") {
        // All there is with --benchmark_report_aggregates_only.
        median_[run.run_name.str()] = ns;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void printSummary() const {
    std::vector<std::string> columns = {"RealFFT"};
    for (const Contender& c : pathsHere()) columns.push_back(c.name);
    std::printf("\nforward + inverse, time relative to FFTW r2c + c2r (lower is better)\n");
    std::printf("%6s %10s", "N", "FFTW ns");
    for (const std::string& c : columns) std::printf(" %15s", c.c_str());
    std::printf("\n");
    for (int32_t n = kSmallest; n <= kLargest; n *= 2) {
      const std::string size = "/" + std::to_string(n);
      const double yardstick = timeOf("FFTW" + size);
      if (yardstick <= 0.0) continue;
      std::printf("%6d %10.1f", n, yardstick);
      for (const std::string& c : columns) {
        const double ns = timeOf(c + size);
        if (ns <= 0.0) {
          std::printf(" %15s", "-");
        } else {
          std::printf(" %15.2f", ns / yardstick);
        }
      }
      std::printf("\n");
    }
  }

 private:
  double timeOf(const std::string& name) const {
    const auto fastest = fastest_.find(name);
    if (fastest != fastest_.end()) return fastest->second;
    const auto median = median_.find(name);
    return median != median_.end() ? median->second : 0.0;
  }

  std::map<std::string, double> fastest_;
  std::map<std::string, double> median_;
};

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printSummary();
  benchmark::Shutdown();
  return 0;
}
