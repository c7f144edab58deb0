// RealFFT against FFTW's single-precision r2c + c2r (FFTW_MEASURE plans),
// forward plus inverse at every frame size the effect uses, for the public
// interface (best path for this processor) and for each instruction-set
// path on its own.
//
//   veldrana_bench_fft [--benchmark_repetitions=5]   Google Benchmark runs, then the table
//   veldrana_bench_fft --benchmark_filter='^$'       the table only
//
// The table of ratios (RealFFT time / FFTW time, lower is better) does not
// come from the Google Benchmark runs, which time each contender for half a
// second in turn and so compare different stretches of a shared machine's
// load. It alternates short batches of every contender many times over and
// keeps each one's fastest batch: the time it takes when nothing else
// interferes, measured within milliseconds of the yardstick's.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dsp/RealFFT.h"
#include "dsp/RealFFTInternal.h"

namespace {

constexpr int32_t kSmallest = 32;
constexpr int32_t kLargest = 4096;
constexpr int kRounds = 3000;
constexpr double kBatchSeconds = 20e-6;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using FloatBuffer = std::unique_ptr<float[], FreeDeleter>;

// 64-byte aligned; the effect's own buffers are at least 16-byte aligned.
FloatBuffer makeBuffer(int32_t n, uint32_t seed) {
  const size_t bytes = (static_cast<size_t>(n) * sizeof(float) + 63) / 64 * 64;
  auto* p = static_cast<float*>(std::aligned_alloc(64, bytes));
  if (p == nullptr) std::abort();
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  for (int32_t i = 0; i < n; ++i) p[i] = dist(rng);
  return FloatBuffer(p);
}

// One contender: `count` forward + inverse transforms of the same signal.
class Runner {
 public:
  virtual ~Runner() = default;
  virtual void run(int64_t count) = 0;
};

class FftwRunner : public Runner {
 public:
  explicit FftwRunner(int32_t n)
      : in_(fftwf_alloc_real(static_cast<size_t>(n))),
        out_(fftwf_alloc_real(static_cast<size_t>(n))),
        spectrum_(fftwf_alloc_complex(static_cast<size_t>(n / 2 + 1))),
        forward_(fftwf_plan_dft_r2c_1d(n, in_, spectrum_, FFTW_MEASURE)),
        inverse_(fftwf_plan_dft_c2r_1d(n, spectrum_, out_, FFTW_MEASURE)) {
    // Planning with FFTW_MEASURE overwrites the arrays.
    const FloatBuffer signal = makeBuffer(n, 1);
    std::copy(signal.get(), signal.get() + n, in_);
  }
  ~FftwRunner() override {
    fftwf_destroy_plan(forward_);
    fftwf_destroy_plan(inverse_);
    fftwf_free(spectrum_);
    fftwf_free(out_);
    fftwf_free(in_);
  }
  FftwRunner(const FftwRunner&) = delete;
  FftwRunner& operator=(const FftwRunner&) = delete;

  void run(int64_t count) override {
    for (int64_t i = 0; i < count; ++i) {
      // c2r may overwrite the spectrum; the next r2c writes it afresh.
      fftwf_execute(forward_);
      fftwf_execute(inverse_);
      benchmark::DoNotOptimize(out_);
      benchmark::ClobberMemory();
    }
  }

 private:
  float* in_;
  float* out_;
  fftwf_complex* spectrum_;
  fftwf_plan forward_;
  fftwf_plan inverse_;
};

// The public interface, which runs the best path for this processor.
class RealFftRunner : public Runner {
 public:
  explicit RealFftRunner(int32_t n)
      : fft_(n), x_(makeBuffer(n, 1)), f_(makeBuffer(n, 2)), y_(makeBuffer(n, 3)) {}

  void run(int64_t count) override {
    for (int64_t i = 0; i < count; ++i) {
      fft_.forward(f_.get(), x_.get());
      fft_.inverse(f_.get(), y_.get());
      benchmark::DoNotOptimize(y_.get());
      benchmark::ClobberMemory();
    }
  }

 private:
  RealFFT fft_;
  FloatBuffer x_;
  FloatBuffer f_;
  FloatBuffer y_;
};

class PathRunner : public Runner {
 public:
  PathRunner(int32_t n, RealFFTIsa isa)
      : fft_(n),
        isa_(isa),
        x_(makeBuffer(n, 1)),
        f_(makeBuffer(n, 2)),
        y_(makeBuffer(n, 3)),
        scratch_(makeBuffer(n, 4)) {}

  void run(int64_t count) override {
    for (int64_t i = 0; i < count; ++i) {
      RealFFTKernels::forward(isa_, fft_, f_.get(), x_.get(), scratch_.get());
      RealFFTKernels::inverse(isa_, fft_, f_.get(), y_.get(), scratch_.get());
      benchmark::DoNotOptimize(y_.get());
      benchmark::ClobberMemory();
    }
  }

 private:
  const RealFFT fft_;
  const RealFFTIsa isa_;
  FloatBuffer x_;
  FloatBuffer f_;
  FloatBuffer y_;
  FloatBuffer scratch_;
};

struct Contender {
  std::string name;
  std::unique_ptr<Runner> (*make)(int32_t n);
};

// FFTW first: it is the yardstick of the table.
std::vector<Contender> contenders() {
  std::vector<Contender> list;
  list.push_back({"FFTW", [](int32_t n) -> std::unique_ptr<Runner> {
                    return std::make_unique<FftwRunner>(n);
                  }});
  list.push_back({"RealFFT", [](int32_t n) -> std::unique_ptr<Runner> {
                    return std::make_unique<RealFftRunner>(n);
                  }});
  if (RealFFTKernels::supported(RealFFTIsa::kAvx2)) {
    list.push_back({"RealFFT-avx2", [](int32_t n) -> std::unique_ptr<Runner> {
                      return std::make_unique<PathRunner>(n, RealFFTIsa::kAvx2);
                    }});
  }
  if (RealFFTKernels::supported(RealFFTIsa::kSse2)) {
    list.push_back({"RealFFT-sse2", [](int32_t n) -> std::unique_ptr<Runner> {
                      return std::make_unique<PathRunner>(n, RealFFTIsa::kSse2);
                    }});
  }
  list.push_back({"RealFFT-scalar", [](int32_t n) -> std::unique_ptr<Runner> {
                    return std::make_unique<PathRunner>(n, RealFFTIsa::kScalar);
                  }});
  return list;
}

void registerAll() {
  for (int32_t n = kSmallest; n <= kLargest; n *= 2) {
    for (const Contender& c : contenders()) {
      const auto make = c.make;
      benchmark::RegisterBenchmark((c.name + "/" + std::to_string(n)).c_str(),
                                   [make, n](benchmark::State& state) {
                                     const std::unique_ptr<Runner> runner = make(n);
                                     for (auto _ : state) runner->run(1);
                                   });
    }
  }
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Fastest time per forward + inverse, in ns, of each contender at size n,
// over interleaved batches of about 20 µs.
std::vector<double> fastestInterleaved(const std::vector<Contender>& list, int32_t n) {
  std::vector<std::unique_ptr<Runner>> runners;
  std::vector<int64_t> batch;
  for (const Contender& c : list) {
    runners.push_back(c.make(n));
    // Size the batch from a warm-up of a few milliseconds.
    int64_t count = 1;
    double seconds = 0.0;
    while (seconds < 2e-3) {
      count *= 2;
      const auto start = std::chrono::steady_clock::now();
      runners.back()->run(count);
      seconds = secondsSince(start);
    }
    batch.push_back(std::max<int64_t>(1, static_cast<int64_t>(kBatchSeconds * count / seconds)));
  }
  std::vector<double> fastest(list.size(), std::numeric_limits<double>::infinity());
  for (int round = 0; round < kRounds; ++round) {
    for (size_t i = 0; i < runners.size(); ++i) {
      const auto start = std::chrono::steady_clock::now();
      runners[i]->run(batch[i]);
      const double ns = secondsSince(start) * 1e9 / static_cast<double>(batch[i]);
      fastest[i] = std::min(fastest[i], ns);
    }
  }
  return fastest;
}

void printRatioTable() {
  const std::vector<Contender> list = contenders();
  std::printf("\nforward + inverse, time relative to FFTW r2c + c2r (lower is better)\n");
  std::printf("fastest of %d interleaved batches of ~%.0f us each\n", kRounds, kBatchSeconds * 1e6);
  std::printf("%6s %10s", "N", "FFTW ns");
  for (size_t i = 1; i < list.size(); ++i) std::printf(" %15s", list[i].name.c_str());
  std::printf("\n");
  for (int32_t n = kSmallest; n <= kLargest; n *= 2) {
    const std::vector<double> ns = fastestInterleaved(list, n);
    std::printf("%6d %10.1f", n, ns[0]);
    for (size_t i = 1; i < ns.size(); ++i) std::printf(" %15.2f", ns[i] / ns[0]);
    std::printf("\n");
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  printRatioTable();
  return 0;
}
