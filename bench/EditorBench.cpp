// The editor's cost on a private Xvfb with Mesa's software renderer: the
// render thread's work per frame (update, draw and swap, without the wait)
// and the whole process's CPU time per second of wall time with the editor
// open, beside the same process with the editor closed as the yardstick.
// Figures, not verdicts: software GL on a shared machine varies a lot.
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "core/QwkTonalmire.h"
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
  double idle(std::chrono::milliseconds time) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = processCpuSeconds();
    while (std::chrono::steady_clock::now() - start < time) {
      if (editor->isOpen()) editor->idle();
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

}  // namespace

BENCHMARK_MAIN();
