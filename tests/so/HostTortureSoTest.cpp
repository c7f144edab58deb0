// A host at its worst, through the shipped .so in one process: audio with
// MIDI floods and changing block sizes and rates, automation and state
// chunks, an OSC flood with hostile datagrams among it, fresh instances and
// an editor under random input, all at once. Every few seconds what must
// hold once things are quiet is checked. VELDRANA_TORTURE_SECONDS sets the
// time (a longer soak, e.g. 600).
// clang-format off
// gtest before the X headers, which define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
// clang-format on
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <pthread.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/so/OscLoopback.h"
#include "tests/so/PluginLoader.h"
#include "tests/support/PrivateXvfb.h"
#include "tests/support/X11Host.h"
#include "tests/support/XTestInput.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kInstances = 3;
constexpr int kMaxBlock = 4096;
constexpr int32_t kChunkBytes = 8500;
constexpr int32_t kValuesOffset = 176;
constexpr int32_t kParamCount = 2081;
constexpr int32_t kOscPortOffset = 0;
constexpr int32_t kFftSize = 3;
constexpr int32_t kScriptIndex = 13;
constexpr int32_t kBin0 = 32;
// "Dummyd": nothing else in the run changes it.
constexpr int32_t kSelfLooped = 31;

// Every gesture the editor begins it must end, also when closed in one.
std::atomic<uint64_t> beginEdits{0}, endEdits{0};
intptr_t tortureHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  beginEdits += opcode == vst::audioMasterBeginEdit;
  endEdits += opcode == vst::audioMasterEndEdit;
  if (opcode == vst::audioMasterVersion) return 2400;
  return opcode == vst::audioMasterIOChanged ? 1 : 0;
}

int32_t latencyOf(vst::AEffect* e) {
  return __atomic_load_n(&e->initialDelay, __ATOMIC_SEQ_CST);
}

// The block the plug-in lends is the live store of the values, which other
// threads change while a careful host copies it: each value is read whole.
std::vector<uint8_t> saveChunk(vst::AEffect* e) {
  void* data = nullptr;
  if (dispatch(e, vst::effGetChunk, 0, 0, &data) != kChunkBytes || !data) return {};
  const auto* block = static_cast<const uint8_t*>(data);
  std::vector<uint8_t> copy(block, block + kValuesOffset);
  copy.resize(kChunkBytes);
  const auto* values = reinterpret_cast<const uint32_t*>(block + kValuesOffset);
  for (int32_t i = 0; i < kParamCount; ++i) {
    const uint32_t word = __atomic_load_n(&values[i], __ATOMIC_RELAXED);
    std::memcpy(copy.data() + kValuesOffset + 4 * i, &word, 4);
  }
  return copy;
}

// The latency of a chunk's "FFT Size": truncated into 0 ... 7, NaN as 0.
int32_t latencyForChunk(const std::vector<uint8_t>& chunk) {
  float v;
  std::memcpy(&v, chunk.data() + kValuesOffset + 4 * kFftSize, sizeof v);
  return 32 << (!(v >= 1.0f) ? 0 : v >= 7.0f ? 7 : static_cast<int>(v));
}

struct Instance {
  int number = 0;  // its "/qwks/" number minus 1
  vst::AEffect* effect = nullptr;
  std::atomic<int32_t> oscOffset{0};  // moved by the control thread alone (0: off)
  std::atomic<uint64_t> blocks{0};
  std::vector<std::vector<uint8_t>> history;  // saved chunks to restore
  int32_t offsetChoice(int k) const { return k == 0 ? 0 : 1 + number + kInstances * (k - 1); }
};

struct Torture {
  PluginLibrary library;
  std::vector<std::unique_ptr<Instance>> instances;
  int32_t basePort = oscBasePort();
  uint32_t seed = static_cast<uint32_t>(std::random_device{}());
  std::string display;  // the private X server's; empty without Xvfb
  std::mutex failMutex;
  std::vector<std::string> failures;
  // The threads that change state run in steps; a checkpoint takes the gate
  // (no new steps) and then the steps lock (none under way).
  std::mutex gate;
  std::shared_mutex steps;
  std::atomic<bool> pausing{false}, quit{false};
  std::atomic<uint64_t> editorOpens{0};

  void fail(const std::string& what) {
    const std::lock_guard<std::mutex> lock(failMutex);
    failures.push_back(what);
  }
  // Runs f as one step; false once the run is over.
  template <class F>
  bool step(F f) {
    { const std::lock_guard<std::mutex> wait(gate); }
    const std::shared_lock<std::shared_mutex> running(steps);
    if (quit) return false;
    f();
    return true;
  }
  vst::AEffect* open() {
    vst::AEffect* e = library.entry()(tortureHost);
    if (e) dispatch(e, vst::effOpen);
    return e;
  }
  // A fresh instance restores the chunk exactly, latency included.
  void proveInFreshInstance(std::vector<uint8_t> chunk, const std::string& where) {
    vst::AEffect* fresh = open();
    if (!fresh) return fail(where + ": no fresh instance");
    dispatch(fresh, vst::effSetChunk, 0, kChunkBytes, chunk.data());
    void* data = nullptr;
    if (dispatch(fresh, vst::effGetChunk, 0, 0, &data) != kChunkBytes ||
        std::memcmp(data, chunk.data(), kChunkBytes) != 0)
      fail(where + ": a restored chunk does not read back as saved");
    if (latencyOf(fresh) != latencyForChunk(chunk))
      fail(where + ": latency " + std::to_string(latencyOf(fresh)) + " after a restored chunk");
    dispatch(fresh, vst::effClose);
  }
};

// It never pauses: MIDI stops while the others do.
void audioThread(Torture& t, Instance& in) {
  std::mt19937 rng(t.seed + 101 * static_cast<uint32_t>(in.number));
  std::vector<float> noise(2 * kMaxBlock), outL(kMaxBlock), outR(kMaxBlock);
  for (float& v : noise) v = std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng);
  static const float kRates[] = {22050.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 192000.0f};
  // Controller 0 would move the OSC port, which only the control thread does.
  static const uint8_t kControllers[] = {2, 3, 4, 4, 5, 8, 9, 11, 12, 13, 14, 17, 19, 22, 6, 38};
  static const uint8_t kStatus[] = {0x90, 0x80, 0xE0, 0xB0, 0xB0, 0xB0};
  vst::AEffect* e = in.effect;
  MidiList midi;
  while (!t.quit) {
    const int32_t frames =
        rng() % 2 ? 1 << (rng() % 13) : 1 + static_cast<int32_t>(rng() % kMaxBlock);
    if (rng() % 32 == 0) {
      dispatch(e, vst::effMainsChanged, 0, 0);
      resume(e, kRates[rng() % 6], frames);
    }
    if (!t.pausing && rng() % 3 == 0) {
      midi.clear();
      for (int32_t i = 0, n = 1 + static_cast<int32_t>(rng() % 32); i < n; ++i) {
        const uint8_t status = kStatus[rng() % 6];
        midi.add(status | static_cast<uint8_t>(rng() % 16),
                 status == 0xB0 ? kControllers[rng() % 16] : static_cast<uint8_t>(rng() % 128),
                 static_cast<uint8_t>(rng() % 128), i * frames / n);
      }
      dispatch(e, vst::effProcessEvents, 0, 0, midi.list());
    }
    // Loud, quiet or silent, from anywhere in the noise.
    const float level = rng() % 8 == 0 ? 0.0f : std::ldexp(1.0f, -static_cast<int>(rng() % 24));
    float* start = noise.data() + rng() % kMaxBlock;
    std::vector<float> inL(start, start + frames), inR(start + 1, start + 1 + frames);
    for (int32_t i = 0; i < frames; ++i) inL[i] *= level, inR[i] *= level;
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    e->processReplacing(e, ins, outs, frames);
    if (!std::all_of(outL.begin(), outL.begin() + frames, [](float v) { return std::isfinite(v); }))
      t.fail("instance " + std::to_string(in.number) + ": non-finite output");
    ++in.blocks;
  }
}

// The host's user-interface thread: automation, texts, programs and chunks.
void controlThread(Torture& t, Instance& in) {
  std::mt19937 rng(t.seed + 7919 * static_cast<uint32_t>(in.number + 1));
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  vst::AEffect* e = in.effect;
  while (t.step([&] {
    const uint32_t roll = rng() % 1000;
    if (roll < 250) {  // new transforms, latency and scripts
      e->setParameter(e, rng() % 2 ? kFftSize : kScriptIndex, static_cast<float>(rng() % 8) / 7.0f);
    } else if (roll < 500) {
      e->setParameter(e, 1 + static_cast<int32_t>(rng() % 18), unit(rng));
    } else if (roll < 620) {
      for (int k = 0; k < 16; ++k) e->setParameter(e, kBin0 + rng() % 2049, unit(rng));
    } else if (roll < 625) {
      // Rarely, so that the flood finds the service on a port a while; the
      // program moves it to the offset it holds (a restored chunk's).
      if (roll < 623)
        e->setParameter(e, kOscPortOffset, in.offsetChoice(rng() % 4) / 100.0f);
      else
        dispatch(e, vst::effSetProgram, 0, 0);
      in.oscOffset = static_cast<int32_t>(std::lround(e->getParameter(e, kOscPortOffset) * 100));
    } else if (roll < 760) {
      char text[256] = {};
      dispatch(e, vst::effGetParamDisplay, static_cast<int32_t>(rng() % 40), 0, text);
    } else if (roll < 880) {
      std::vector<uint8_t> chunk = saveChunk(e);
      if (chunk.empty()) return t.fail("effGetChunk gave no block");
      if (roll < 800) t.proveInFreshInstance(chunk, "while running");
      if (in.history.size() >= 4) in.history.erase(in.history.begin());
      in.history.push_back(std::move(chunk));
    } else if (!in.history.empty()) {
      std::vector<uint8_t>& chunk = in.history[rng() % in.history.size()];
      dispatch(e, vst::effSetChunk, 0, kChunkBytes, chunk.data());
    }
  }))
    std::this_thread::sleep_for(std::chrono::microseconds(500));
}

// User scripts every instance loads: a slow function for "/call", which
// holds the instance's script lock on its receive thread meanwhile.
constexpr const char* kHostileScript =
    "function tortureSpin(n) local x = 0 "
    "for i = 1, math.min(tonumber(n) or 0, 2000000) do x = x + i % 7 end return x end\n";

// What an audit of the port sent: a stdin read, a subscription of the
// instance's own "/set", an empty reply address, ids beyond every range,
// slow calls, cut, random and broken datagrams; with quiet, only those
// that change nothing when handled right.
std::string hostileDatagram(std::mt19937& rng, const std::string& url, int32_t port, bool quiet) {
  static const int32_t kBadIds[] = {INT32_MAX, INT32_MIN, kParamCount, -1, 1 << 30};
  static const char* const kIdCommands[] = {"/get", "/getInfo", "/isParameterUsed",
                                            "/registerUpdate", "/set"};
  const int32_t badId = kBadIds[rng() % 5];
  std::string broken = OscMessage("/get").i(3).s(url).s("/value").bytes();
  if (rng() % 3 == 0)
    broken.replace(8, 4, std::string(",qz\0", 4));  // type tags oscpack does not know
  else if (rng() % 2)
    broken.resize(rng() % broken.size());
  else
    for (char& c : broken) c = static_cast<char>(rng());
  const std::string datagrams[] = {
      OscMessage("/exec").s(rng() % 2 ? "dofile" : "loadfile").bytes(),
      OscMessage("/registerUpdate")
          .i(kSelfLooped)
          .s("127.0.0.1:" + std::to_string(port))
          .s("/set")
          .bytes(),
      OscMessage("/get").i(2).s(url).s("").bytes(),
      OscMessage(kIdCommands[rng() % 5]).i(badId).s(url).s("/id").bytes(),
      OscMessage("/exec").s("setGUIBoolValue").f(4294967296.0f).i(1).bytes(),
      OscMessage("/exec").s("sendOSC").s("127.0.0.1:89534").s("/x").bytes(),
      OscMessage("/call").s("tortureSpin").s(url).s("/spun").i(rng() % 200000).bytes(),
      broken,
      // A bundle whose element claims more bytes than there are.
      std::string("#bundle\0\0\0\0\0\0\0\0\1\x7f\xff\xff\xf0", 20) +
          OscMessage("/set").i(1).f(0.5f).bytes(),
      // Always the same value, so that an echo still on its way changes nothing.
      OscMessage("/set").i(kSelfLooped).f(0.5f).bytes(),
      // Notes reach the MIDI scripts, which may map them to parameters.
      OscMessage("/startNote").i(badId).f(1.0f).bytes(),
  };
  return datagrams[rng() % (quiet ? 9 : 11)];
}

// Remote controllers: bursts to one instance's port every few milliseconds,
// a hostile datagram in each.
void oscThread(Torture& t) {
  std::mt19937 rng(t.seed + 31337);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  OscClient client;
  const auto setting = [&] { return 1 + static_cast<int32_t>(rng() % 18); };
  const auto bin = [&] { return kBin0 + static_cast<int32_t>(rng() % 2049); };
  while (t.step([&] {
    Instance& in = *t.instances[rng() % kInstances];
    if (in.oscOffset == 0) return;
    const int32_t port = t.basePort + in.oscOffset;
    for (int k = 0; k < 8; ++k) {
      const std::string others = "/qwks/" + std::to_string(1 + rng() % kInstances) + "/";
      const OscMessage kinds[] = {
          OscMessage("/set").i(setting()).f(-200.0f + 2400.0f * unit(rng)),
          OscMessage("/set").i(bin()).f(unit(rng)),
          OscMessage(rng() % 2 ? "/get" : "/getInfo").i(bin()).s(client.url()).s("/x"),
          OscMessage(others + std::to_string(setting())).f(unit(rng)),  // through this port
          OscMessage(rng() % 3 ? "/registerUpdate" : "/unregisterUpdate")
              .i(rng() % 2 ? 14 : kBin0 + 7)
              .s(client.url())
              .s("/changed"),
          OscMessage(rng() % 2 ? "/startNote" : "/stopNote").i(rng() % 128).f(unit(rng)),
          OscMessage("/exec").s("setParameter").i(setting()).f(unit(rng)),
      };
      client.send(port, kinds[rng() % std::size(kinds)]);
    }
    client.send(port, hostileDatagram(rng, client.url(), port, false));
    client.drain();
  }))
    std::this_thread::sleep_for(milliseconds(2));
}

// Random presses, clicks, drags and wheel turns avoid the "Prefs" button (its
// panel moves every service), the "OSC" group (it moves this one's) and the
// resize corner.
void randomInput(XTestInput& input, std::mt19937& rng, const std::function<void()>& idle) {
  const auto point = [&] {
    int x, y;
    do {
      x = static_cast<int>(rng() % 1024), y = static_cast<int>(rng() % 512);
    } while ((x < 110 && y < 100) || (x >= 645 && x < 740 && y >= 330) || (x >= 980 && y >= 470));
    return std::pair(x, y);
  };
  std::vector<unsigned long> held;
  for (const unsigned long key : {XK_Shift_L, XK_Control_L, XK_Alt_L})
    if (rng() % 4 == 0) input.keyDown(key), held.push_back(key);
  const auto [x, y] = point();
  input.moveTo(x, y);
  const uint32_t roll = rng() % 5;
  if (roll == 0) {
    input.moveTo(point().first, point().second);
  } else if (roll == 1) {  // clicks with any button, wheel turns, double clicks
    const int button = 1 + static_cast<int>(rng() % 5);
    for (int i = 0, n = 1 + static_cast<int>(rng() % 3); i < n; ++i)
      input.press(button), input.release(button);
  } else if (roll == 2) {
    auto [toX, toY] = point();
    if (rng() % 2) toX = std::clamp(x + static_cast<int>(rng() % 41) - 20, 0, 1023);  // knob-sized
    if (rng() % 4 == 0) toX += 600, toY += 400;  // off the window, to the screen's edge
    input.press();
    idle();
    input.moveInSteps(x, y, toX, toY, 1 + static_cast<int>(rng() % 12));
    idle();
    input.release();
  } else {
    input.type(std::to_string(rng() % 2000) +
               (rng() % 2 ? ".5" : "-"));  // into a field, if one has focus
    input.key(rng() % 2 ? XK_Return : rng() % 2 ? XK_Escape : XK_BackSpace);
  }
  for (const unsigned long key : held) input.keyUp(key);
}

// A user at one instance's editor: opens it, idles it about 30 times a
// second under random input, closes it (every key and button up) after a
// random time and keeps it closed a while.
void editorThread(Torture& t, Instance& in) {
  Display* display = XOpenDisplay(t.display.c_str());
  if (!display) return t.fail("editor: no connection to " + t.display);
  const Window parent = x11host::makeHostWindow(display, 1024, 512);
  XTestInput input(display);
  std::mt19937 rng(t.seed + 4243);
  vst::AEffect* e = in.effect;
  const auto idle = [&] { dispatch(e, vst::effEditIdle); };
  const auto children = [&] {
    XSync(display, False);
    return x11host::childWindows(display, parent).size();
  };
  while (t.step([&] {
    dispatch(e, vst::effEditOpen, 0, 0, reinterpret_cast<void*>(parent));
    ++t.editorOpens;
    for (const auto closeAt = Clock::now() + milliseconds(100 + rng() % 1500);
         Clock::now() < closeAt && !t.pausing;) {
      idle();
      randomInput(input, rng, idle);
      std::this_thread::sleep_for(milliseconds(33));
    }
    if (children() != 1) t.fail("editor: no single window in the host's");
    dispatch(e, vst::effEditClose);
    if (children() != 0) t.fail("editor: effEditClose left a window in the host's");
  }))
    std::this_thread::sleep_for(milliseconds(rng() % 400));
  XDestroyWindow(display, parent);
  XCloseDisplay(display);
}

// With every step paused and the audio past its last MIDI, each instance's
// OSC service answers, its latency is its FFT size's, a fresh instance
// restores its state exactly, and hostile datagrams that change nothing
// when handled right leave its state as it was.
void checkpoint(Torture& t, OscClient& probe, int round) {
  std::mt19937 rng(t.seed + static_cast<uint32_t>(round));
  for (auto& in : t.instances) {
    const std::string where =
        "round " + std::to_string(round) + ", instance " + std::to_string(in->number);
    const uint64_t seen = in->blocks.load();
    for (const auto end = Clock::now() + std::chrono::seconds(10);
         in->blocks < seen + 2 && Clock::now() < end;)
      std::this_thread::sleep_for(milliseconds(1));
    EXPECT_GE(in->blocks.load(), seen + 2) << where << ": the audio thread is stuck";
    const int32_t port = t.basePort + in->oscOffset;
    const std::string pong = "/pong/" + std::to_string(round);
    if (port != t.basePort) {
      EXPECT_TRUE(probe.pingAnswered(port, pong, 500, 10000)) << where << ": no OSC answer";
    }
    vst::AEffect* e = in->effect;
    const std::vector<uint8_t> chunk = saveChunk(e);
    ASSERT_EQ(chunk.size(), static_cast<size_t>(kChunkBytes)) << where;
    EXPECT_EQ(latencyOf(e), latencyForChunk(chunk)) << where;
    t.proveInFreshInstance(chunk, where);
    if (port == t.basePort) continue;
    for (int sent = 0; sent < 48; ++sent)
      probe.send(port, hostileDatagram(rng, probe.url(), port, true));
    EXPECT_TRUE(probe.pingAnswered(port, pong + "/hostile", 500, 10000)) << where;
    EXPECT_TRUE(chunk == saveChunk(e)) << where << ": hostile datagrams changed the state";
  }
}

// Hosts set parameters from their audio and user-interface threads at once:
// whichever of two simultaneous "FFT Size" changes lands last, the latency
// left behind must be its size's. The chaos above meets this only by luck.
TEST(HostTorture, LatencyFollowsTheLastOfSimultaneousFftSizeChanges) {
  setenv("VELDRANA_SCRIPTS_DIR", "/nonexistent/veldrana-torture-scripts", 1);
  setenv("XDG_CONFIG_HOME", "/nonexistent/veldrana-torture-config", 1);
  PluginLibrary library;
  vst::AEffect* e = library.entry()(tortureHost);
  ASSERT_NE(e, nullptr);
  // Both threads spin so as to meet closely, and yield when a busy machine
  // keeps one of them waiting; round -1 ends the other one.
  std::atomic<int> round{0}, done{0};
  const auto await = [](const std::atomic<int>& value, int wanted) {
    for (int spins = 0;; ++spins) {
      if (const int now = value; now == wanted || now < 0) return now;
      if (spins > 1000) std::this_thread::yield();
    }
  };
  const auto sizeFor = [](int r, int which) { return ((r + 4 * which) % 8) / 7.0f; };
  std::thread other([&] {
    for (int r = 1; await(round, r) == r; ++r)
      e->setParameter(e, kFftSize, sizeFor(r, 1)), done = r;
  });
  int stale = 0, r = 0;
  for (const auto end = Clock::now() + std::chrono::seconds(5); r < 50000 && Clock::now() < end;) {
    round = ++r;
    e->setParameter(e, kFftSize, sizeFor(r, 0));
    await(done, r);
    const int size = 32 << std::lround(e->getParameter(e, kFftSize) * 7.0f);
    if (latencyOf(e) != size && ++stale <= 5)
      ADD_FAILURE() << "round " << r << ": FFT size " << size << ", latency " << latencyOf(e);
  }
  round = -1;
  other.join();
  EXPECT_EQ(stale, 0) << "in " << r << " rounds";
  dispatch(e, vst::effClose);
}

TEST(HostTorture, InstancesSurviveEverythingAHostAndItsControllersDoAtOnce) {
  Torture t;
  std::printf("torture seed %u\n", t.seed);
  // A home of its own: preferences with the OSC base port, the user script.
  char pattern[] = "/tmp/veldrana-torture-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string home = pattern, folder = home + "/config/Quillworks/Veldrana";
  std::system(("mkdir -p '" + folder + "' '" + home + "/scripts'").c_str());
  std::ofstream(folder + "/preferences") << "OSC Base Port=" << t.basePort << "\n";
  std::ofstream(home + "/scripts/user.lua") << kHostileScript;
  setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", home.c_str(), 1);
  setenv("VELDRANA_SCRIPTS_DIR", (home + "/scripts").c_str(), 1);
  const char* text = std::getenv("VELDRANA_TORTURE_SECONDS");
  const double seconds = text && std::atof(text) > 0 ? std::atof(text) : 24.0;
  // The editor's X server; without Xvfb the run goes without the editor.
  const std::unique_ptr<PrivateXvfb> server = PrivateXvfb::startForSuite();
  t.display = server ? server->display() : "";
  setenv("DISPLAY", t.display.c_str(), 1);

  for (int i = 0; i < kInstances; ++i) {
    auto in = std::make_unique<Instance>();
    in->number = i;
    in->effect = t.open();
    ASSERT_NE(in->effect, nullptr);
    resume(in->effect, 48000.0f, kMaxBlock);
    in->oscOffset = in->offsetChoice(1);
    in->effect->setParameter(in->effect, kOscPortOffset, in->oscOffset / 100.0f);
    t.instances.push_back(std::move(in));
  }
  // The instances take "/qwks/" numbers 1 to 3 before any fresh one exists.
  OscClient probe;
  probe.send(t.basePort + t.instances[0]->oscOffset, OscMessage("/qwks/3/1").f(0.0f));

  std::vector<std::thread> threads;
  const auto start = [&](const char* name, std::function<void()> run) {
    threads.emplace_back([name, run] { pthread_setname_np(pthread_self(), name), run(); });
  };
  for (auto& in : t.instances) {
    start("audio", [&t, &in] { audioThread(t, *in); });
    start("control", [&t, &in] { controlThread(t, *in); });
  }
  if (server) start("editor", [&t] { editorThread(t, *t.instances[0]); });
  start("osc", [&t] { oscThread(t); });

  // Growth is measured over the second half, when every pool, cache and
  // arena has settled, plus a little for each editor opening.
  long startMemory = 0;
  uint64_t startOpens = 0;
  const int rounds = std::max(2, static_cast<int>(std::lround(seconds / 3.0)));
  for (int round = 0; round < rounds; ++round) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds / rounds));
    t.pausing = true;
    {
      const std::lock_guard<std::mutex> gate(t.gate);
      const std::unique_lock<std::shared_mutex> quiet(t.steps);
      checkpoint(t, probe, round);
      if (round == rounds / 2) startMemory = residentBytes(), startOpens = t.editorOpens;
    }
    t.pausing = false;
  }
  t.quit = true;
  for (std::thread& thread : threads) thread.join();
  const long grown = residentBytes() - startMemory;
  for (auto& in : t.instances) {
    dispatch(in->effect, vst::effMainsChanged, 0, 0);
    dispatch(in->effect, vst::effClose);
  }
  std::system(("rm -rf '" + home + "'").c_str());

  EXPECT_TRUE(t.failures.empty()) << t.failures.size() << " failures, the first: " << t.failures[0];
  EXPECT_EQ(endEdits, beginEdits) << "the editor began gestures it never ended";
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // (A sanitizer's resident size is mostly its own allocator and shadow memory.)
  EXPECT_LT(grown, (4L << 20) + (150L << 10) * static_cast<long>(t.editorOpens - startOpens))
      << "resident memory grew by " << grown;
#else
  (void)grown;
#endif
}

}  // namespace
