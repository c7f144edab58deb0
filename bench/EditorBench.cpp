// The editor's cost on a private Xvfb with Mesa's software renderer: the
// render thread's work per frame (update, draw and swap, without the wait)
// and the whole process's CPU time per second of wall time with the editor
// open, beside the same process with the editor closed as the yardstick.
// The same again with the plug-in's own editor and its built-in layout,
// while an audio thread keeps the spectra live.
// Figures, not verdicts: software GL on a shared machine varies a lot.
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "gui/CarbonVSTEditor.h"
#include "gui/Manager.h"
#include "support/PrivateXvfb.h"
#include "support/TestLayout.h"

namespace {

using namespace std::chrono_literals;

intptr_t quietHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// One X server, host window and effect for the whole run.
struct Stage {
  Stage() {
    setenv("VELDRANA_SCRIPTS_DIR", "/nonexistent/veldrana-bench-scripts", 1);
    setenv("XDG_CONFIG_HOME", "/nonexistent/veldrana-bench-config", 1);
    if (!PrivateXvfb::installed()) return;
    server = std::make_unique<PrivateXvfb>();
    if (server->display().empty()) return;
    setenv("DISPLAY", server->display().c_str(), 1);
    display = XOpenDisplay(nullptr);
    if (!display) return;
    parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, testlayout::kWidth,
                                 testlayout::kHeight, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);
    effect = std::make_unique<QwkTonalmire>(&quietHost);
    editor = std::make_unique<testlayout::Editor>(effect.get());
  }
  ~Stage() {
    editor.reset();
    effect.reset();
    if (display) {
      XDestroyWindow(display, parent);
      XCloseDisplay(display);
    }
  }
  bool ready() const { return editor != nullptr; }

  // Host idle calls at 30 a second for the given time; answers the
  // process's CPU seconds per wall second meanwhile.
  double idle(std::chrono::milliseconds time) { return idle(*editor, time); }
  static double idle(QW::CarbonVSTEditor& target, std::chrono::milliseconds time) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = processCpuSeconds();
    while (std::chrono::steady_clock::now() - start < time) {
      if (target.isOpen()) target.idle();
      std::this_thread::sleep_for(33ms);
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return (processCpuSeconds() - cpuStart) / wall;
  }

  std::unique_ptr<PrivateXvfb> server;
  Display* display = nullptr;
  Window parent = 0;
  std::unique_ptr<QwkTonalmire> effect;
  std::unique_ptr<testlayout::Editor> editor;
};

Stage& stage() {
  static Stage s;
  return s;
}

// The yardstick: the effect alive, no editor.
void ClosedEditorCpu(benchmark::State& state) {
  Stage& s = stage();
  if (!s.ready()) return state.SkipWithError("no private Xvfb");
  double cpu = 0.0;
  for (auto _ : state) cpu = s.idle(2000ms);
  state.counters["cpu_per_s"] = cpu;
}
BENCHMARK(ClosedEditorCpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void OpenEditor(benchmark::State& state, bool offscreenLayer) {
  Stage& s = stage();
  if (!s.ready()) return state.SkipWithError("no private Xvfb");
  double cpu = 0.0;
  double work = 0.0;
  double frames = 0.0;
  s.editor->configure = [offscreenLayer](QW::Manager& m) {
    m.setPreferOffscreenLayer(offscreenLayer);
  };
  for (auto _ : state) {
    s.editor->open(reinterpret_cast<void*>(static_cast<uintptr_t>(s.parent)));
    // Set-up (fonts, textures) is not what is measured.
    s.idle(500ms);
    const uint64_t before = s.editor->manager()->framesDrawn();
    const double elapsedBefore = s.editor->manager()->elapsedSeconds();
    cpu = s.idle(3000ms);
    QW::Manager& m = *s.editor->manager();
    work = m.meanFrameWorkSeconds();
    frames = static_cast<double>(m.framesDrawn() - before) / (m.elapsedSeconds() - elapsedBefore);
    s.editor->close();
  }
  s.editor->configure = nullptr;
  state.counters["frame_work_ms"] = work * 1e3;
  state.counters["frames_per_s"] = frames;
  state.counters["cpu_per_s"] = cpu;
}

void OpenEditorWithFramebuffer(benchmark::State& state) {
  OpenEditor(state, false);
}
void OpenEditorWithOffscreenLayer(benchmark::State& state) {
  OpenEditor(state, true);
}
BENCHMARK(OpenEditorWithFramebuffer)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(OpenEditorWithOffscreenLayer)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A host's audio thread: stereo noise in 512-frame blocks at 48 kHz, paced
// at real time, so the spectrum display always has fresh spectra.
class NoiseAudio {
 public:
  explicit NoiseAudio(QwkTonalmire& effect) : effect_(effect), thread_([this] { run(); }) {}
  ~NoiseAudio() {
    stop_ = true;
    thread_.join();
  }
  NoiseAudio(const NoiseAudio&) = delete;
  NoiseAudio& operator=(const NoiseAudio&) = delete;

  uint64_t blocks() const { return blocks_.load(); }

  static constexpr int kFrames = 512;
  static constexpr float kRate = 48000.0f;

 private:
  void run() {
    std::minstd_rand random(7);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    std::vector<float> inL(kFrames), inR(kFrames), outL(kFrames), outR(kFrames);
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(kFrames / static_cast<double>(kRate)));
    auto next = std::chrono::steady_clock::now();
    while (!stop_) {
      for (int i = 0; i < kFrames; ++i) {
        inL[static_cast<size_t>(i)] = noise(random);
        inR[static_cast<size_t>(i)] = noise(random);
      }
      effect_.processReplacing(ins, outs, kFrames);
      blocks_.fetch_add(1);
      next += period;
      std::this_thread::sleep_until(next);
    }
  }

  QwkTonalmire& effect_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> blocks_{0};
  std::thread thread_;
};

// The plug-in's editor with the full built-in layout (five groups of
// knobs, drop-downs and fields, meters, six buttons and the spectrum
// display of up to 2049 bins) at the "FFT Size" index given as the first
// argument, with live spectra. The second argument is 0 for the usual path
// (a frame redraws only the spectra and the meters when nothing else
// changed) and 1 for the yardstick of drawing every frame whole
// (VELDRANA_FULL_REDRAW=1), in the same run.
void FullLayoutWithLiveSpectra(benchmark::State& state) {
  Stage& s = stage();
  if (!s.ready()) return state.SkipWithError("no private Xvfb");
  QwkTonalmire effect(&quietHost);
  effect.dispatcher(vst::effSetSampleRate, 0, 0, nullptr, NoiseAudio::kRate);
  effect.dispatcher(vst::effSetBlockSize, 0, NoiseAudio::kFrames, nullptr, 0.0f);
  effect.dispatcher(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
  const int sizeIndex = static_cast<int>(state.range(0));
  const bool whole = state.range(1) != 0;
  effect.setParameter(kParamFftSize, static_cast<float>(sizeIndex) / 7.0f);
  auto* view = dynamic_cast<QW::CarbonVSTEditor*>(effect.getEditor());
  if (view == nullptr) return state.SkipWithError("the effect has no editor");
  if (whole) setenv("VELDRANA_FULL_REDRAW", "1", 1);

  double cpu = 0.0;
  double work = 0.0;
  double frames = 0.0;
  double partShare = 0.0;
  double audioBlocksPerSecond = 0.0;
  {
    const NoiseAudio audio(effect);
    for (auto _ : state) {
      view->open(reinterpret_cast<void*>(static_cast<uintptr_t>(s.parent)));
      if (view->manager() == nullptr) return state.SkipWithError("the editor did not open");
      // Set-up (fonts, textures, the layout script) is not what is measured.
      Stage::idle(*view, 500ms);
      QW::Manager& m = *view->manager();
      const uint64_t before = m.framesDrawn();
      const uint64_t partsBefore = m.partFramesDrawn();
      const double elapsedBefore = m.elapsedSeconds();
      const uint64_t blocksBefore = audio.blocks();
      const auto start = std::chrono::steady_clock::now();
      cpu = Stage::idle(*view, 3000ms);
      const double wall =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      work = m.meanFrameWorkSeconds();
      const uint64_t drawn = m.framesDrawn() - before;
      frames = static_cast<double>(drawn) / (m.elapsedSeconds() - elapsedBefore);
      partShare = drawn == 0 ? 0.0
                             : static_cast<double>(m.partFramesDrawn() - partsBefore) /
                                   static_cast<double>(drawn);
      audioBlocksPerSecond = static_cast<double>(audio.blocks() - blocksBefore) / wall;
      view->close();
    }
  }
  unsetenv("VELDRANA_FULL_REDRAW");
  effect.dispatcher(vst::effMainsChanged, 0, 0, nullptr, 0.0f);
  state.counters["fft_size"] = 32 << sizeIndex;
  state.counters["every_frame_whole"] = whole ? 1 : 0;
  state.counters["frame_work_ms"] = work * 1e3;
  state.counters["frames_per_s"] = frames;
  state.counters["cpu_per_s"] = cpu;
  // The process's CPU per drawn frame: steadier than the wall-clock work
  // on a shared machine.
  state.counters["cpu_ms_per_frame"] = frames > 0.0 ? cpu / frames * 1e3 : 0.0;
  state.counters["part_frames_share"] = partShare;
  // 93.75 when the audio thread keeps up with real time.
  state.counters["audio_blocks_per_s"] = audioBlocksPerSecond;
}
BENCHMARK(FullLayoutWithLiveSpectra)
    ->Args({5, 0})
    ->Args({5, 1})
    ->Args({7, 0})
    ->Args({7, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The plug-in's editor open and idle: no audio, no input. Argument 0 is the
// usual path (a frame only when something shown changed), 1 the yardstick
// of drawing every frame (VELDRANA_FULL_REDRAW=1), in the same run.
void FullLayoutIdle(benchmark::State& state) {
  Stage& s = stage();
  if (!s.ready()) return state.SkipWithError("no private Xvfb");
  QwkTonalmire effect(&quietHost);
  effect.dispatcher(vst::effSetSampleRate, 0, 0, nullptr, NoiseAudio::kRate);
  effect.dispatcher(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
  auto* view = dynamic_cast<QW::CarbonVSTEditor*>(effect.getEditor());
  if (view == nullptr) return state.SkipWithError("the effect has no editor");
  const bool everyFrame = state.range(0) != 0;
  if (everyFrame) setenv("VELDRANA_FULL_REDRAW", "1", 1);
  double cpu = 0.0;
  double frames = 0.0;
  for (auto _ : state) {
    view->open(reinterpret_cast<void*>(static_cast<uintptr_t>(s.parent)));
    if (view->manager() == nullptr) break;
    // The first pictures, the light and the fades settle.
    Stage::idle(*view, 1500ms);
    QW::Manager& m = *view->manager();
    const uint64_t before = m.framesDrawn();
    const auto start = std::chrono::steady_clock::now();
    cpu = Stage::idle(*view, 4000ms);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    frames = static_cast<double>(m.framesDrawn() - before) / wall;
    view->close();
  }
  unsetenv("VELDRANA_FULL_REDRAW");
  effect.dispatcher(vst::effMainsChanged, 0, 0, nullptr, 0.0f);
  state.counters["every_frame"] = everyFrame ? 1 : 0;
  state.counters["frames_per_s"] = frames;
  state.counters["cpu_per_s"] = cpu;
}
BENCHMARK(FullLayoutIdle)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
