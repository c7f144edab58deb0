// A host at its worst, through the shipped .so in one process: several
// instances, each with an audio thread that changes block size every block
// and sample rate every few blocks, a control thread that automates
// parameters, moves the OSC port and saves and restores state chunks while
// the audio runs, MIDI floods into every instance, an OSC flood over
// loopback with a hostile client among it (broken datagrams, ids beyond
// every range, calls that hold the script lock: the audio must not wait
// for them), and fresh instances made and closed all the time to check the
// saved chunks, and one instance's editor opened and closed again and again
// under random pointer and keyboard input. Every few seconds the threads
// that change state stop at a checkpoint, and what must hold once things
// are quiet is checked.
//
// The default run lasts about half a minute; VELDRANA_TORTURE_SECONDS sets
// the time of the chaotic part (a longer soak, e.g. 600). A short second
// test aims at one interleaving the chaos only meets by luck: two threads
// changing "FFT Size" at the same moment.
// clang-format off
// gtest before the X headers, which define None, Bool and Status as macros.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
// clang-format on
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <ftw.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/so/OscLoopback.h"
#include "tests/so/PluginLoader.h"
#include "tests/so/XServerSockets.h"
#include "tests/support/PrivateXvfb.h"
#include "tests/support/XTestInput.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kInstances = 3;
constexpr double kDefaultSeconds = 24.0;
constexpr double kRoundSeconds = 3.0;
constexpr int kMaxBlock = 4096;
constexpr int32_t kChunkBytes = 8500;
constexpr int32_t kValuesOffset = 176;
constexpr int32_t kParamCount = 2081;

// Parameter indices (core/ParamIds.h).
constexpr int32_t kOscPortOffset = 0;
constexpr int32_t kFftSize = 3;
constexpr int32_t kScriptIndex = 13;
constexpr int32_t kScriptPosition = 14;
constexpr int32_t kBin0Level = 32;

// Resident memory may grow this much over the second half of the run, when
// every pool and cache has long settled, plus a little for each editor
// opening in it (the GL driver's buffers are not all given back at once).
constexpr long kMemoryGrowthLimit = 4L << 20;
constexpr long kMemoryGrowthPerOpening = 150L << 10;

double tortureSeconds() {
  const char* text = std::getenv("VELDRANA_TORTURE_SECONDS");
  const double seconds = text ? std::atof(text) : 0.0;
  return seconds > 0.0 ? seconds : kDefaultSeconds;
}

// What the allocator holds as free is given back first, so that what stays
// is memory somebody owns or memory the allocator cannot give back (the top
// of an arena held up by a live block).
long residentBytes() {
  malloc_trim(0);
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE);
}

// The plug-in calls back from its audio, OSC and timer threads alike.
struct HostCalls {
  // The editor's gestures: every one it begins it must end, also when it is
  // closed in the middle of one.
  std::atomic<uint64_t> beginEdits{0};
  std::atomic<uint64_t> endEdits{0};
};
HostCalls hostCalls;

intptr_t tortureHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  switch (opcode) {
    case vst::audioMasterVersion:
      return 2400;
    case vst::audioMasterIOChanged:
      return 1;
    case vst::audioMasterBeginEdit:
      hostCalls.beginEdits.fetch_add(1, std::memory_order_relaxed);
      return 1;
    case vst::audioMasterEndEdit:
      hostCalls.endEdits.fetch_add(1, std::memory_order_relaxed);
      return 1;
    default:
      return 0;
  }
}

// The latency the plug-in reports; it may change on any of its threads.
int32_t latencyOf(vst::AEffect* e) {
  return __atomic_load_n(&e->initialDelay, __ATOMIC_SEQ_CST);
}

std::string displayOf(vst::AEffect* e, int32_t index) {
  char text[256] = {};
  dispatch(e, vst::effGetParamDisplay, index, 0, text);
  return text;
}

// The state chunk the plug-in lends, copied the way a careful host does:
// the block is the live store of the values, which other threads change
// while we copy, so each value is read whole.
std::vector<uint8_t> saveChunk(vst::AEffect* e) {
  void* data = nullptr;
  const auto size = static_cast<int32_t>(dispatch(e, vst::effGetChunk, 0, 0, &data));
  if (size != kChunkBytes || !data) return {};
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

void restoreChunk(vst::AEffect* e, std::vector<uint8_t>& chunk) {
  dispatch(e, vst::effSetChunk, 0, static_cast<intptr_t>(chunk.size()), chunk.data());
}

// The latency a chunk's "FFT Size" stands for: the stored value truncated
// and kept inside 0 ... 7, NaN as 0 (a flood may store any number there).
int32_t latencyForChunk(const std::vector<uint8_t>& chunk) {
  float v;
  std::memcpy(&v, chunk.data() + kValuesOffset + 4 * kFftSize, sizeof v);
  const int k = !(v >= 1.0f) ? 0 : v >= 7.0f ? 7 : static_cast<int>(v);
  return 32 << k;
}

// The threads that change state park here at every checkpoint; the
// checkpoint's checks run while all of them are parked. The run starts at
// a checkpoint: every thread parks at its first step.
class Checkpoints {
 public:
  explicit Checkpoints(int parties) : parties_(parties) {}

  // Worker side, once per step: parks while a checkpoint runs. False once
  // the run is over.
  bool proceed() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_) {
      ++parked_;
      changed_.notify_all();
      changed_.wait(lock, [&] { return !stopping_ || quit_; });
      --parked_;
    }
    return !quit_;
  }
  void stopAll() {
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    changed_.wait(lock, [&] { return parked_ == parties_; });
  }
  void resumeAll() {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = false;
    changed_.notify_all();
  }
  void quit() {
    const std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
    changed_.notify_all();
  }
  bool quitting() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return quit_;
  }
  // Whether the next proceed() parks or ends the run: for a worker that must
  // put things away before it parks.
  bool checkpointDue() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return stopping_ || quit_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  const int parties_;
  int parked_ = 0;
  bool stopping_ = true;
  bool quit_ = false;
};

// Failures seen on worker threads, reported by the test's own thread.
class Failures {
 public:
  void add(const std::string& what) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (++count_ <= 20) first_.push_back(what);
  }
  int count() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }
  std::string text() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::string all;
    for (const std::string& line : first_) all += line + "\n";
    return all;
  }

 private:
  mutable std::mutex mutex_;
  int count_ = 0;
  std::vector<std::string> first_;
};

struct Figures {
  std::atomic<uint64_t> lockHolds{0};
  // Blocks an audio thread could not finish while another thread held its
  // instance's script lock: each one a dropout in a real host.
  std::atomic<uint64_t> lateBlocks{0};
  std::atomic<uint64_t> editorOpens{0};
};

struct Instance {
  int number = 0;  // 0-based; also its "/qwks/" number minus 1
  vst::AEffect* effect = nullptr;
  // The offset the OSC service was last moved to (0: off). Only the
  // control thread moves it: the OSC and MIDI floods leave "OSC Port
  // Offset" alone, and a restored chunk does not move the service.
  std::atomic<int32_t> oscOffset{0};
  std::atomic<uint64_t> blocks{0};
  std::atomic<bool> midiAllowed{true};
  // Chunks saved from this instance, for restoring while it runs.
  std::vector<std::vector<uint8_t>> history;

  // Each instance moves its service between offsets of its own.
  int32_t offsetChoice(int k) const { return k == 0 ? 0 : 1 + number + kInstances * (k - 1); }
};

// FIFOs the hostile client holds scripts with. They stay open until the
// instances are closed, with their line written: a call that reaches one
// late returns at once.
class HoldFifos {
 public:
  HoldFifos() {
    char pattern[] = "/tmp/veldrana-hold-XXXXXX";
    if (const char* made = mkdtemp(pattern)) folder_ = made;
  }
  ~HoldFifos() {
    for (size_t i = 0; i < fds_.size(); ++i) {
      unlink(paths_[i].c_str());
      close(fds_[i]);
    }
    if (!folder_.empty()) rmdir(folder_.c_str());
  }
  HoldFifos(const HoldFifos&) = delete;
  HoldFifos& operator=(const HoldFifos&) = delete;

  // A new FIFO with a writer (this side; opened for reading and writing so
  // that neither open waits) and its path, or -1.
  int make(std::string& path) {
    if (folder_.empty()) return -1;
    path = folder_ + "/" + std::to_string(fds_.size());
    if (mkfifo(path.c_str(), 0600) != 0) return -1;
    const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      unlink(path.c_str());
      return -1;
    }
    fds_.push_back(fd);
    paths_.push_back(path);
    return fd;
  }

 private:
  std::string folder_;
  std::vector<int> fds_;
  std::vector<std::string> paths_;
};

struct Torture {
  PluginLibrary library;
  std::vector<std::unique_ptr<Instance>> instances;
  Checkpoints* checkpoints = nullptr;
  Failures failures;
  Figures figures;
  int32_t basePort = oscBasePort();
  uint32_t seed = 0;
  std::string display;  // the private X server's; empty without Xvfb

  std::mutex queueMutex;
  std::deque<std::vector<uint8_t>> toVerify;  // saved chunks for fresh instances
  HoldFifos holdFifos;

  vst::AEffect* open() {
    vst::AEffect* e = library.entry()(tortureHost);
    if (!e) return nullptr;
    dispatch(e, vst::effOpen);
    return e;
  }
};

// A host event list of up to 32 short MIDI messages.
class MidiBurst {
 public:
  static constexpr int kCapacity = 32;
  MidiBurst() : storage_(sizeof(vst::VstEvents) + kCapacity * sizeof(void*)) {
    list_ = reinterpret_cast<vst::VstEvents*>(storage_.data());
    for (int i = 0; i < kCapacity; ++i) {
      events_[i].type = vst::kVstMidiType;
      events_[i].byteSize = sizeof(vst::VstMidiEvent);
      list_->events[i] = reinterpret_cast<vst::VstEvent*>(&events_[i]);
    }
  }
  // Random messages at sorted positions inside a block of frames. Controller
  // 0 would move the OSC port, which only the control thread does.
  vst::VstEvents* fill(std::mt19937& rng, int32_t frames) {
    const int count = 1 + static_cast<int>(rng() % kCapacity);
    std::vector<int32_t> deltas(static_cast<size_t>(count));
    for (int32_t& d : deltas) d = static_cast<int32_t>(rng() % static_cast<uint32_t>(frames));
    std::sort(deltas.begin(), deltas.end());
    static const uint8_t kControllers[] = {2,  3,  4,  4,  4,  5,  8,  9,  11, 12, 13, 14,
                                           15, 16, 17, 17, 18, 19, 20, 21, 22, 6,  38};
    for (int i = 0; i < count; ++i) {
      auto& e = events_[i];
      e.deltaFrames = deltas[static_cast<size_t>(i)];
      const uint32_t kind = rng() % 6;  // half of them controllers
      const uint8_t status = kind == 0 ? 0x90 : kind == 1 ? 0x80 : kind == 2 ? 0xE0 : 0xB0;
      const uint8_t d1 = status == 0xB0 ? kControllers[rng() % sizeof kControllers]
                                        : static_cast<uint8_t>(rng() % 128);
      const auto d2 = static_cast<uint8_t>(rng() % 128);
      e.midiData[0] = static_cast<char>(status | (rng() % 16));
      e.midiData[1] = static_cast<char>(d1);
      e.midiData[2] = static_cast<char>(d2);
    }
    list_->numEvents = count;
    return list_;
  }

 private:
  std::vector<unsigned char> storage_;
  vst::VstMidiEvent events_[kCapacity]{};
  vst::VstEvents* list_ = nullptr;
};

int32_t randomBlockSize(std::mt19937& rng) {
  switch (rng() % 3) {
    case 0:
      return 1 + static_cast<int32_t>(rng() % kMaxBlock);
    case 1:
      return 1 << (rng() % 13);  // 1 ... 4096
    default:
      return 1 + static_cast<int32_t>(rng() % 64);
  }
}

// The host's audio thread of one instance. It never parks: the audio goes
// on through the checkpoints, only the MIDI pauses.
void audioThread(Torture& t, Instance& in) {
  std::mt19937 rng(t.seed + 101 * static_cast<uint32_t>(in.number));
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::vector<float> noise(2 * kMaxBlock);
  for (float& v : noise) v = unit(rng);
  std::vector<float> inL(kMaxBlock), inR(kMaxBlock), outL(kMaxBlock), outR(kMaxBlock);
  float* ins[2] = {inL.data(), inR.data()};
  float* outs[2] = {outL.data(), outR.data()};
  MidiBurst midi;
  static const float kRates[] = {22050.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 192000.0f};
  vst::AEffect* e = in.effect;

  while (!t.checkpoints->quitting()) {
    const int32_t frames = randomBlockSize(rng);
    if (rng() % 32 == 0) {
      dispatch(e, vst::effMainsChanged, 0, 0);
      dispatch(e, vst::effSetSampleRate, 0, 0, nullptr, kRates[rng() % 6]);
      dispatch(e, vst::effSetBlockSize, 0, frames);
      dispatch(e, vst::effMainsChanged, 0, 1);
    }
    // Loud, quiet or silent input from anywhere in the noise table.
    const float level = rng() % 8 == 0 ? 0.0f : std::ldexp(1.0f, -static_cast<int>(rng() % 24));
    const size_t start = rng() % kMaxBlock;
    for (int32_t i = 0; i < frames; ++i) {
      inL[static_cast<size_t>(i)] = level * noise[start + static_cast<size_t>(i)];
      inR[static_cast<size_t>(i)] =
          level * noise[2 * kMaxBlock - 1 - start - static_cast<size_t>(i)];
    }
    if (in.midiAllowed.load() && rng() % 3 == 0) {
      vst::VstEvents* list = midi.fill(rng, frames);
      dispatch(e, vst::effProcessEvents, 0, 0, list);
    }
    e->processReplacing(e, ins, outs, frames);

    for (int32_t i = 0; i < frames; ++i) {
      if (!std::isfinite(outL[static_cast<size_t>(i)]) ||
          !std::isfinite(outR[static_cast<size_t>(i)])) {
        t.failures.add("instance " + std::to_string(in.number) + ": non-finite output at sample " +
                       std::to_string(i) + " of a block of " + std::to_string(frames));
        break;
      }
    }
    const int32_t latency = latencyOf(e);
    if (latency < 32 || latency > 4096 || (latency & (latency - 1)) != 0)
      t.failures.add("instance " + std::to_string(in.number) + ": latency " +
                     std::to_string(latency) + " is no FFT size");
    in.blocks.fetch_add(1);
  }
}

// The host's user-interface thread of one instance: automation, parameter
// texts, programs and state chunks, all while the audio runs.
void controlThread(Torture& t, Instance& in) {
  std::mt19937 rng(t.seed + 7919 * static_cast<uint32_t>(in.number + 1));
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  vst::AEffect* e = in.effect;
  static const int32_t kSettings[] = {1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15, 16, 17, 18};

  while (t.checkpoints->proceed()) {
    const uint32_t roll = rng() % 1000;
    if (roll < 250) {
      // "FFT Size" and "Script Index": new transforms, latency, scripts.
      const int32_t index = rng() % 2 ? kFftSize : kScriptIndex;
      e->setParameter(e, index,
                      index == kFftSize ? static_cast<float>(rng() % 8) / 7.0f : unit(rng));
    } else if (roll < 500) {
      e->setParameter(e, kSettings[rng() % (sizeof kSettings / sizeof kSettings[0])], unit(rng));
    } else if (roll < 620) {
      for (int k = 0; k < 16; ++k)
        e->setParameter(e, kBin0Level + static_cast<int32_t>(rng() % 2049), unit(rng));
    } else if (roll < 623) {
      // Rarely: the OSC flood needs the service to stay on a port a while.
      const int32_t offset = in.offsetChoice(static_cast<int>(rng() % 4));
      e->setParameter(e, kOscPortOffset, static_cast<float>(offset) / 100.0f);
      in.oscOffset.store(offset);
    } else if (roll < 625) {
      // The one program once more: the service moves to the offset the
      // program holds now (a restored chunk may have changed it).
      dispatch(e, vst::effSetProgram, 0, 0);
      const float offset = e->getParameter(e, kOscPortOffset) * 100.0f;
      in.oscOffset.store(static_cast<int32_t>(std::lround(offset)));
    } else if (roll < 760) {
      const int32_t index = static_cast<int32_t>(rng() % 40);
      displayOf(e, index);
      e->getParameter(e, index);
    } else if (roll < 880) {
      std::vector<uint8_t> chunk = saveChunk(e);
      if (chunk.empty()) {
        t.failures.add("instance " + std::to_string(in.number) + ": effGetChunk gave no block");
        continue;
      }
      {
        const std::lock_guard<std::mutex> lock(t.queueMutex);
        if (t.toVerify.size() < 8) t.toVerify.push_back(chunk);
      }
      if (in.history.size() >= 4) in.history.erase(in.history.begin());
      in.history.push_back(std::move(chunk));
    } else if (!in.history.empty()) {
      restoreChunk(e, in.history[rng() % in.history.size()]);
    }
    // About as busy as a host's user-interface thread can get.
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
}

// Remote controllers: a burst of messages to one instance's port every few
// milliseconds, at most about 4000 messages a second.
void oscThread(Torture& t) {
  std::mt19937 rng(t.seed + 31337);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  OscClient client;
  // Plain ranges of the settings the flood sets (core/TonalmireParameters.cpp);
  // "OSC Port Offset" is left to the control threads.
  struct Range {
    int32_t index;
    float minimum, maximum;
  };
  static const Range kRanges[] = {{1, 0, 1},     {2, 0, 1},    {3, 0, 7},     {3, -2, 9},
                                  {6, -180, 0},  {7, -180, 0}, {10, 0, 2000}, {11, -80, 36},
                                  {12, -80, 36}, {13, 0, 6},   {14, 0, 1},    {15, -100, 100},
                                  {16, 0, 1},    {17, 0, 1},   {18, 0, 1}};
  const auto randomSetting = [&](float& value) {
    const Range& r = kRanges[rng() % (sizeof kRanges / sizeof kRanges[0])];
    value = r.minimum + (r.maximum - r.minimum) * unit(rng);
    return r.index;
  };
  const auto randomBin = [&] { return kBin0Level + static_cast<int32_t>(rng() % 2049); };

  while (t.checkpoints->proceed()) {
    Instance& in = *t.instances[rng() % t.instances.size()];
    const int32_t offset = in.oscOffset.load();
    if (offset == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    const int32_t port = t.basePort + offset;
    for (int k = 0; k < 8; ++k) {
      float value = 0.0f;
      const uint32_t roll = rng() % 1000;
      if (roll < 300) {
        const int32_t index = randomSetting(value);
        client.send(port, OscMessage("/set").i(index).f(value));
      } else if (roll < 450) {
        client.send(port, OscMessage("/set").i(randomBin()).f(unit(rng)));
      } else if (roll < 550) {
        client.send(port, OscMessage("/get").i(randomBin()).s(client.url()).s("/value"));
      } else if (roll < 650) {
        // Another instance's setting through this instance's port.
        const int32_t index = randomSetting(value);
        const std::string address =
            "/qwks/" + std::to_string(1 + rng() % kInstances) + "/" + std::to_string(index);
        client.send(port, OscMessage(address).f(value));
      } else if (roll < 720) {
        // Subscribers make every change of these reach the notify thread.
        // (Subscribing to a setting every MIDI burst changes would mostly
        // test the overflow line.)
        const int32_t index = rng() % 2 ? kScriptPosition : kBin0Level + 7;
        client.send(port, OscMessage(rng() % 3 ? "/registerUpdate" : "/unregisterUpdate")
                              .i(index)
                              .s(client.url())
                              .s("/changed"));
      } else if (roll < 800) {
        client.send(port, OscMessage(rng() % 2 ? "/startNote" : "/stopNote")
                              .i(static_cast<int32_t>(rng() % 128))
                              .f(unit(rng)));
      } else if (roll < 880) {
        // Through the scripting state, on the receive thread.
        const int32_t index = randomSetting(value);
        client.send(port, OscMessage("/exec").s("setParameter").i(index).f(value));
      } else if (roll < 950) {
        client.send(port, OscMessage("/ping").s(client.url()).s("/pong"));
      } else if (roll < 999) {
        client.send(port, OscMessage("/getInfo").i(randomBin()).s(client.url()).s("/info"));
      } else {
        // Refused (with a line on standard output): no such parameter.
        const int32_t index = rng() % 2 ? kParamCount + static_cast<int32_t>(rng() % 1000)
                                        : -1 - static_cast<int32_t>(rng() % 1000);
        client.send(port, OscMessage("/set").i(index).f(value));
      }
    }
    client.drain();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

// Slow functions for the hostile client, in a user script every instance
// loads. tortureHold keeps the receive thread inside a call, and so holds
// the instance's script lock, until a line arrives in the FIFO.
constexpr const char* kHostileScript = R"(
function tortureSpin(n)
  local x = 0
  for i = 1, math.min(tonumber(n) or 0, 2000000) do x = x + i % 7 end
  return x
end
function tortureHold(url, address, fifo)
  sendOSC(url, address, {})
  local f = io.open(fifo, "r")
  if f then f:read("*l") f:close() end
end
)";

constexpr uint64_t kHostileDatagrams = 2000;
// "Dummyd": no other thread of the run changes it, nor does any controller
// of the MIDI flood.
constexpr int32_t kSelfLooped = 31;
constexpr int kLockHolds = 6;
constexpr int kBlocksWhileHeld = 3;

struct HostileDatagram {
  std::string bytes;
  // Whether it may change the instance's state when the service is right
  // to accept it: the checkpoint sends only the others.
  bool changesState;
};

// What an audit of the port sent (a stdin read, a subscription of the
// instance's own "/set", an empty reply address, ids beyond every range,
// slow calls), among random and broken datagrams.
HostileDatagram hostileDatagram(std::mt19937& rng, const std::string& url, int32_t ownPort) {
  static const int32_t kBadIds[] = {INT32_MAX, INT32_MIN, kParamCount, -1, 1 << 30};
  static const char* const kIdCommands[] = {"/get", "/getInfo", "/isParameterUsed",
                                            "/registerUpdate"};
  const int32_t badId = kBadIds[rng() % (sizeof kBadIds / sizeof kBadIds[0])];
  const std::string self = "127.0.0.1:" + std::to_string(ownPort);
  switch (rng() % 14) {
    case 0:
      return {OscMessage("/exec").s(rng() % 2 ? "dofile" : "loadfile").bytes(), false};
    case 1:
      return {OscMessage("/exec").s("dofile").s("/nonexistent/veldrana.lua").bytes(), false};
    case 2:
      return {OscMessage("/registerUpdate").i(kSelfLooped).s(self).s("/set").bytes(), false};
    case 3:
      // Always the same value, so that a notification still on its way
      // back at a checkpoint changes nothing.
      return {OscMessage("/set").i(kSelfLooped).f(0.5f).bytes(), true};
    case 4:
      return {OscMessage("/get").i(2).s(url).s("").bytes(), false};
    case 5:
      return {OscMessage("/set").i(badId).f(0.5f).bytes(), false};
    case 6:
      return {OscMessage(kIdCommands[rng() % 4]).i(badId).s(url).s("/id").bytes(), false};
    case 7:
      // Notes reach the MIDI scripts, which may map them to parameters.
      return {OscMessage("/startNote").i(badId).f(1.0f).bytes(), true};
    case 8:
      return {OscMessage("/exec").s("setGUIBoolValue").f(4294967296.0f).i(1).bytes(), false};
    case 9:
      return {OscMessage("/exec").s("sendOSC").s("127.0.0.1:89534").s("/x").bytes(), false};
    case 10:
      return {OscMessage("/call")
                  .s("tortureSpin")
                  .s(url)
                  .s("/spun")
                  .i(static_cast<int32_t>(rng() % 200000))
                  .bytes(),
              false};
    case 11: {
      std::string bytes(rng() % 257, '\0');
      for (char& c : bytes) c = static_cast<char>(rng());
      if (!bytes.empty() && rng() % 2) bytes[0] = '/';
      return {bytes, false};
    }
    case 12: {
      // A command cut short, or with type tags oscpack does not know.
      std::string bytes = OscMessage("/get").i(3).s(url).s("/value").bytes();
      if (rng() % 2) {
        bytes.resize(rng() % bytes.size());
      } else {
        bytes.replace(8, 4, std::string(",qz\0", 4));
      }
      return {bytes, false};
    }
    default: {
      // A bundle whose element claims more bytes than there are.
      std::string bytes("#bundle\0\0\0\0\0\0\0\0\1\x7f\xff\xff\xf0", 20);
      bytes += OscMessage("/set").i(1).f(0.5f).bytes();
      return {bytes, false};
    }
  }
}

// Holds one instance's script lock from its OSC receive thread while its
// audio thread, fed MIDI, must go on with a script selected: blocks it
// cannot finish meanwhile are late.
void holdScriptLock(Torture& t, Instance& in, int32_t port, const OscClient& client) {
  std::string fifo;
  const int fd = t.holdFifos.make(fifo);
  if (fd < 0) {
    t.failures.add("no FIFO for holding a script");
    return;
  }
  client.drain();
  client.send(port, OscMessage("/set").i(kScriptIndex).f(1.0f));
  // A call that comes late must not be taken for the next one.
  const std::string holding = "/holding/" + fifo.substr(fifo.rfind('/') + 1);
  client.send(port, OscMessage("/exec").s("tortureHold").s(client.url()).s(holding).s(fifo));
  // The service may move away first; then this hold does not happen.
  if (client.awaitAddress(holding, 10000)) {
    t.figures.lockHolds.fetch_add(1);
    const uint64_t seen = in.blocks.load();
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (in.blocks.load() < seen + kBlocksWhileHeld && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const uint64_t done = in.blocks.load() - seen;
    if (done < kBlocksWhileHeld) {
      t.figures.lateBlocks.fetch_add(kBlocksWhileHeld - done);
      t.failures.add("instance " + std::to_string(in.number) + ": " + std::to_string(done) +
                     " blocks in 20 s while an OSC call held the script lock");
    }
  }
  if (::write(fd, "\n", 1) != 1) t.failures.add("a held script was not let go");
}

// The datagrams above, a few every 20 ms to one instance, up to a fixed
// number, and now and then a script lock held.
void hostileThread(Torture& t) {
  std::mt19937 rng(t.seed + 4242);
  OscClient client;
  uint64_t sent = 0;
  int holds = 0;
  auto nextHold = Clock::now() + std::chrono::seconds(1);
  while (t.checkpoints->proceed()) {
    Instance& in = *t.instances[rng() % t.instances.size()];
    const int32_t offset = in.oscOffset.load();
    if (offset == 0 || sent >= kHostileDatagrams) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    const int32_t port = t.basePort + offset;
    for (int k = 0; k < 4; ++k, ++sent)
      client.send(port, hostileDatagram(rng, client.url(), port).bytes);
    if (holds < kLockHolds && Clock::now() >= nextHold) {
      holdScriptLock(t, in, port, client);
      ++holds;
      nextHold = Clock::now() + std::chrono::seconds(2);
    }
    client.drain();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// A saved chunk restored into a fresh instance reads back exactly: the
// block it lends afterwards holds the same bytes, and the latency follows
// its FFT size.
void verifyInFreshInstance(Torture& t, std::vector<uint8_t> chunk, const char* where) {
  vst::AEffect* fresh = t.open();
  if (!fresh) {
    t.failures.add(std::string(where) + ": no fresh instance");
    return;
  }
  restoreChunk(fresh, chunk);
  void* data = nullptr;
  const auto size = static_cast<int32_t>(dispatch(fresh, vst::effGetChunk, 0, 0, &data));
  if (size != kChunkBytes || !data || std::memcmp(data, chunk.data(), kChunkBytes) != 0)
    t.failures.add(std::string(where) + ": a restored chunk does not read back as saved");
  const int32_t expected = latencyForChunk(chunk);
  if (latencyOf(fresh) != expected)
    t.failures.add(std::string(where) + ": restored FFT size " + std::to_string(expected) +
                   " but latency " + std::to_string(latencyOf(fresh)));
  dispatch(fresh, vst::effClose);
}

// A host scanning or reloading while the song plays: fresh instances come
// and go, each proving one saved chunk.
void verifierThread(Torture& t) {
  while (t.checkpoints->proceed()) {
    std::optional<std::vector<uint8_t>> chunk;
    {
      const std::lock_guard<std::mutex> lock(t.queueMutex);
      if (!t.toVerify.empty()) {
        chunk = std::move(t.toVerify.front());
        t.toVerify.pop_front();
      }
    }
    if (!chunk) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    verifyInFreshInstance(t, std::move(*chunk), "while running");
  }
}

constexpr int kEditorWidth = 1024;
constexpr int kEditorHeight = 512;

// Where random presses, clicks and wheel turns must not land, in window
// pixels of the built-in layout (resources/gui.lua): the "Prefs" button
// (its dialog moves every instance's OSC service to a new base port and
// can start a browser), the "OSC" group (its knob and field move this
// instance's service, which only the control thread does, so that the
// checkpoint knows where to ping) and the resize corner (a smaller editor
// would move both).
bool offLimits(int x, int y) {
  return (x < 110 && y < 100) || (x >= 645 && x < 740 && y >= 330) || (x >= 980 && y >= 470);
}

// The host's editor window and random input into it, on a connection of
// its own.
class EditorUser {
 public:
  EditorUser(Display* display, uint32_t seed) : display_(display), input_(display), rng_(seed) {}

  void randomPoint(int& x, int& y) {
    do {
      x = static_cast<int>(rng_() % kEditorWidth);
      y = static_cast<int>(rng_() % kEditorHeight);
    } while (offLimits(x, y));
  }

  // One burst of what a user does between two idle calls; idle() is the
  // host's idle call, made in the middle of drags as well.
  void act(const std::function<void()>& idle) {
    int x = 0, y = 0;
    randomPoint(x, y);
    const uint32_t roll = rng_() % 100;
    if (roll < 25) {
      for (int i = 0, n = 1 + static_cast<int>(rng_() % 4); i < n; ++i) {
        randomPoint(x, y);
        motion(x, y);
      }
    } else if (roll < 45) {
      const int button = rng_() % 6 == 0 ? 2 + static_cast<int>(rng_() % 2) : 1;
      const auto held = modifiers();
      motion(x, y);
      for (int i = 0, n = rng_() % 5 == 0 ? 2 : 1; i < n; ++i) {  // sometimes a double click
        buttonEvent(button, true);
        buttonEvent(button, false);
      }
      release(held);
    } else if (roll < 65) {
      const auto held = modifiers();
      int toX = 0, toY = 0;
      randomPoint(toX, toY);
      if (rng_() % 2) toX = x + static_cast<int>(rng_() % 41) - 20;  // small, knob-sized
      toX = std::clamp(toX, 0, kEditorWidth - 1);
      motion(x, y);
      buttonEvent(1, true);
      idle();
      const int steps = 1 + static_cast<int>(rng_() % 12);
      for (int i = 1; i <= steps; ++i) motion(x + (toX - x) * i / steps, y + (toY - y) * i / steps);
      idle();
      buttonEvent(1, false);
      release(held);
    } else if (roll < 80) {
      const auto held = modifiers();
      motion(x, y);
      const int button = 4 + static_cast<int>(rng_() % 2);  // wheel up or down
      for (int i = 0, n = 1 + static_cast<int>(rng_() % 5); i < n; ++i) {
        buttonEvent(button, true);
        buttonEvent(button, false);
      }
      release(held);
    } else {
      static const unsigned long kKeys[] = {XK_0,      XK_1,     XK_2,      XK_3,        XK_4,
                                            XK_5,      XK_6,     XK_7,      XK_8,        XK_9,
                                            XK_period, XK_minus, XK_Return, XK_Escape,   XK_Left,
                                            XK_Right,  XK_Up,    XK_Down,   XK_BackSpace};
      for (int i = 0, n = 1 + static_cast<int>(rng_() % 6); i < n; ++i) {
        const unsigned long key = kKeys[rng_() % (sizeof kKeys / sizeof kKeys[0])];
        input_.keyDown(key);
        input_.keyUp(key);
      }
    }
  }

 private:
  void motion(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XFlush(display_);
  }
  void buttonEvent(int button, bool down) {
    if (down)
      input_.press(button);
    else
      input_.release(button);
  }
  // Shift, Control and Alt held at random; what is held.
  std::vector<unsigned long> modifiers() {
    std::vector<unsigned long> held;
    for (const unsigned long key : {XK_Shift_L, XK_Control_L, XK_Alt_L}) {
      if (rng_() % 4 != 0) continue;
      input_.keyDown(key);
      held.push_back(key);
    }
    return held;
  }
  void release(const std::vector<unsigned long>& held) {
    for (const unsigned long key : held) {
      input_.keyUp(key);
    }
  }

  Display* display_;
  XTestInput input_;
  std::mt19937 rng_;
};

std::vector<Window> childrenOf(Display* display, Window w) {
  XSync(display, False);
  Window root = 0;
  Window parent = 0;
  Window* list = nullptr;
  unsigned int n = 0;
  std::vector<Window> out;
  if (XQueryTree(display, w, &root, &parent, &list, &n)) {
    out.assign(list, list + n);
    if (list) XFree(list);
  }
  return out;
}

// A user at the editor of one instance: opens it in the host's window,
// idles it about 30 times a second while sending random input, closes it
// after a random time, and keeps it closed a while. Input changes
// parameters, so the editor is closed (every button and key released
// first) before the role parks at a checkpoint.
void editorThread(Torture& t, Instance& in) {
  Display* display = t.display.empty() ? nullptr : XOpenDisplay(t.display.c_str());
  if (!display) {
    if (!t.display.empty()) t.failures.add("editor: no connection to " + t.display);
    while (t.checkpoints->proceed()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return;
  }
  // As big as the screen, so that no input reaches the root window.
  XSetWindowAttributes attributes{};
  attributes.background_pixel = BlackPixel(display, DefaultScreen(display));
  const Window parent = XCreateWindow(
      display, DefaultRootWindow(display), 0, 0, static_cast<unsigned>(DisplayWidth(display, 0)),
      static_cast<unsigned>(DisplayHeight(display, 0)), 0, CopyFromParent, InputOutput,
      CopyFromParent, CWBackPixel, &attributes);
  XMapWindow(display, parent);
  XSync(display, False);

  std::mt19937 rng(t.seed + 4243);
  EditorUser user(display, t.seed + 4242);
  vst::AEffect* e = in.effect;
  const auto idle = [&] { dispatch(e, vst::effEditIdle); };
  const auto waitUnlessDue = [&](std::chrono::milliseconds time) {
    const auto end = Clock::now() + time;
    while (Clock::now() < end && !t.checkpoints->checkpointDue())
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  };

  while (t.checkpoints->proceed()) {
    waitUnlessDue(std::chrono::milliseconds(rng() % 400));
    if (t.checkpoints->checkpointDue()) continue;
    // Answers 0 like the SDK's default; the window count below shows it opened.
    dispatch(e, vst::effEditOpen, 0, 0, reinterpret_cast<void*>(parent));
    t.figures.editorOpens.fetch_add(1, std::memory_order_relaxed);
    const auto closeAt = Clock::now() + std::chrono::milliseconds(100 + rng() % 1500);
    while (Clock::now() < closeAt && !t.checkpoints->checkpointDue()) {
      idle();
      user.act(idle);
      std::this_thread::sleep_for(std::chrono::milliseconds(33));
    }
    if (childrenOf(display, parent).size() != 1)
      t.failures.add("editor: the open editor has no single window in the host's");
    dispatch(e, vst::effEditClose);
    if (!childrenOf(display, parent).empty())
      t.failures.add("editor: effEditClose left a window in the host's");
  }
  XDestroyWindow(display, parent);
  XCloseDisplay(display);
}

// Once every thread that changes state is parked and the audio threads
// have handled their last MIDI, the instances are quiet.
void quieten(Torture& t, OscClient& probe, uint64_t pingNumber) {
  t.checkpoints->stopAll();
  for (auto& in : t.instances) in->midiAllowed.store(false);
  for (auto& in : t.instances) {
    const uint64_t seen = in->blocks.load();
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (in->blocks.load() < seen + 2 && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (in->blocks.load() < seen + 2)
      t.failures.add("instance " + std::to_string(in->number) + ": the audio thread is stuck");
  }
  // An answered ping proves the service handled every earlier datagram;
  // after a move the service opens its new port asynchronously.
  for (auto& in : t.instances) {
    const int32_t offset = in->oscOffset.load();
    if (offset == 0) continue;
    const std::string reply =
        "/pong/" + std::to_string(pingNumber) + "/" + std::to_string(in->number);
    if (!probe.pingAnswered(t.basePort + offset, reply, 500, 10000))
      t.failures.add("instance " + std::to_string(in->number) + ": no OSC answer on port " +
                     std::to_string(t.basePort + offset));
  }
}

void checkQuietInstances(Torture& t) {
  for (auto& in : t.instances) {
    vst::AEffect* e = in->effect;
    const std::string where = "checkpoint, instance " + std::to_string(in->number);
    std::vector<uint8_t> chunk = saveChunk(e);
    ASSERT_EQ(chunk.size(), static_cast<size_t>(kChunkBytes)) << where;
    // The latency is that of the FFT size stored now, whoever set it last.
    const int32_t expected = latencyForChunk(chunk);
    EXPECT_EQ(latencyOf(e), expected) << where;
    std::vector<float> values(kParamCount);
    for (int32_t i = 0; i < kParamCount; ++i)
      values[static_cast<size_t>(i)] = e->getParameter(e, i);

    vst::AEffect* fresh = t.open();
    ASSERT_NE(fresh, nullptr) << where;
    restoreChunk(fresh, chunk);
    int mismatches = 0;
    for (int32_t i = 0; i < kParamCount; ++i) {
      const float a = values[static_cast<size_t>(i)];
      const float b = fresh->getParameter(fresh, i);
      if (std::memcmp(&a, &b, sizeof a) != 0 && ++mismatches <= 5)
        ADD_FAILURE() << where << ": parameter " << i << " was " << a << ", restored " << b;
    }
    EXPECT_EQ(mismatches, 0) << where;
    EXPECT_EQ(latencyOf(fresh), expected) << where;
    dispatch(fresh, vst::effClose);
  }
}

// On a quiet instance the hostile datagrams that change nothing when
// handled right leave its state as it was, and the service answers after.
void checkHostileDatagramsChangeNothing(Torture& t, OscClient& probe, uint64_t pingNumber) {
  std::mt19937 rng(t.seed + static_cast<uint32_t>(pingNumber));
  for (auto& in : t.instances) {
    const int32_t offset = in->oscOffset.load();
    if (offset == 0) continue;
    const int32_t port = t.basePort + offset;
    const std::string where = "hostile datagrams, instance " + std::to_string(in->number);
    const std::vector<uint8_t> before = saveChunk(in->effect);
    for (int sent = 0; sent < 48;) {
      const HostileDatagram d = hostileDatagram(rng, probe.url(), port);
      if (d.changesState) continue;
      probe.send(port, d.bytes);
      ++sent;
    }
    const std::string reply = "/pong/hostile/" + std::to_string(pingNumber);
    EXPECT_TRUE(probe.pingAnswered(port, reply, 500, 10000))
        << where << ": no answer on port " << port;
    EXPECT_TRUE(before == saveChunk(in->effect)) << where << ": the state chunk changed";
  }
}

// The roles of the run. A role that changes state parks at checkpoints
// through Torture::checkpoints; one editor is enough to make its threads
// meet everything else, and more would only share the two cores further.
struct Role {
  const char* name;
  bool parksAtCheckpoints;
  bool firstInstanceOnly;
  void (*run)(Torture&, Instance&);
};
const Role kInstanceRoles[] = {
    {"audio", false, false, audioThread},
    {"control", true, false, controlThread},
    {"editor", true, true, editorThread},
};
struct ProcessRole {
  const char* name;
  void (*run)(Torture&);
};
const ProcessRole kProcessRoles[] = {
    {"osc", oscThread},
    {"hostile", hostileThread},
    {"verifier", verifierThread},
};

// A private home, whose preferences give the OSC base port and whose
// Scripts folder holds only the given script, in effect while it lives.
class IsolatedHome {
 public:
  explicit IsolatedHome(int32_t oscBasePort, const char* userScript = nullptr) {
    char pattern[] = "/tmp/veldrana-torture-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) return;
    path_ = made;
    const std::string config = path_ + "/config";
    const std::string folder = config + "/Quillworks/Veldrana";
    for (const std::string& dir : {config, config + "/Quillworks", folder, path_ + "/scripts"})
      mkdir(dir.c_str(), 0700);
    if (FILE* f = std::fopen((folder + "/preferences").c_str(), "w")) {
      std::fprintf(f, "OSC Base Port=%d\n", oscBasePort);
      std::fclose(f);
    }
    if (userScript) {
      if (FILE* f = std::fopen((path_ + "/scripts/user.lua").c_str(), "w")) {
        std::fputs(userScript, f);
        std::fclose(f);
      }
    }
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("XDG_DATA_HOME", path_.c_str(), 1);
    setenv("VELDRANA_SCRIPTS_DIR", (path_ + "/scripts").c_str(), 1);
  }
  ~IsolatedHome() {
    if (path_.empty()) return;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "VELDRANA_SCRIPTS_DIR"})
      unsetenv(name);
    nftw(path_.c_str(), removeEntry, 8, FTW_DEPTH | FTW_PHYS);
  }
  IsolatedHome(const IsolatedHome&) = delete;
  IsolatedHome& operator=(const IsolatedHome&) = delete;
  bool ready() const { return !path_.empty(); }

 private:
  static int removeEntry(const char* path, const struct stat*, int, FTW*) {
    return std::remove(path);
  }
  std::string path_;
};

// Hosts set parameters from their audio and user-interface threads at the
// same time. Whichever of two simultaneous "FFT Size" changes lands last,
// the latency left behind must be its size's.
TEST(HostTorture, LatencyFollowsTheLastOfSimultaneousFftSizeChanges) {
  IsolatedHome home(oscBasePort());
  ASSERT_TRUE(home.ready());
  PluginLibrary library;
  vst::AEffect* e = library.entry()(tortureHost);
  ASSERT_NE(e, nullptr);

  // This thread and one other set it at the same moment, a different size
  // each, in every round; the other thread ends when the round is -1. The
  // threads spin so that they meet closely, and yield when a busy machine
  // keeps one of them waiting.
  constexpr int kRounds = 50000;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  std::atomic<int> round{0};
  std::atomic<int> done{0};
  const auto awaitRound = [](const std::atomic<int>& value, int wanted) {
    for (int spins = 0;; ++spins) {
      const int now = value.load();
      if (now == wanted || now < 0) return now;
      if (spins > 1000) std::this_thread::yield();
    }
  };
  const auto sizeFor = [](int r, int which) {
    return static_cast<float>((r + 4 * which) % 8) / 7.0f;
  };
  std::thread other([&] {
    for (int r = 1; awaitRound(round, r) == r; ++r) {
      e->setParameter(e, kFftSize, sizeFor(r, 1));
      done.store(r);
    }
  });
  int stale = 0;
  int rounds = 0;
  while (rounds < kRounds && Clock::now() < deadline) {
    const int r = ++rounds;
    round.store(r);
    e->setParameter(e, kFftSize, sizeFor(r, 0));
    awaitRound(done, r);
    const long k = std::lround(e->getParameter(e, kFftSize) * 7.0f);
    if (latencyOf(e) != (32 << k) && ++stale <= 5)
      ADD_FAILURE() << "round " << r << ": FFT size " << (32 << k) << ", latency " << latencyOf(e);
  }
  round.store(-1);
  other.join();
  std::printf("%d rounds of two simultaneous FFT size changes\n", rounds);
  EXPECT_EQ(stale, 0);
  dispatch(e, vst::effClose);
}

TEST(HostTorture, InstancesSurviveEverythingAHostAndItsControllersDoAtOnce) {
  Torture t;
  IsolatedHome home(t.basePort, kHostileScript);
  ASSERT_TRUE(home.ready());

  t.seed = static_cast<uint32_t>(std::random_device{}());
  std::printf("torture seed %u\n", t.seed);
  const double seconds = tortureSeconds();
  // The editor's X server; without Xvfb the editor role only parks.
  const std::unique_ptr<PrivateXvfb> server = PrivateXvfb::startForSuite();
  if (server) {
    t.display = server->display();
    setenv("DISPLAY", t.display.c_str(), 1);
  } else {
    std::printf("no Xvfb: the run goes without the editor\n");
  }

  for (int i = 0; i < kInstances; ++i) {
    auto in = std::make_unique<Instance>();
    in->number = i;
    in->effect = t.open();
    ASSERT_NE(in->effect, nullptr);
    dispatch(in->effect, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    dispatch(in->effect, vst::effSetBlockSize, 0, kMaxBlock);
    dispatch(in->effect, vst::effMainsChanged, 0, 1);
    const int32_t offset = in->offsetChoice(1);
    in->effect->setParameter(in->effect, kOscPortOffset, static_cast<float>(offset) / 100.0f);
    in->oscOffset.store(offset);
    t.instances.push_back(std::move(in));
  }
  // The instances take "/qwks/" numbers 1, 2, 3 before any fresh instance
  // exists, so the flood's numbered addresses never reach a fresh one.
  OscClient probe;
  probe.send(t.basePort + t.instances[0]->oscOffset.load(),
             OscMessage("/qwks/" + std::to_string(kInstances) + "/1").f(0.0f));

  int parties = static_cast<int>(sizeof kProcessRoles / sizeof kProcessRoles[0]);
  for (const Role& role : kInstanceRoles)
    if (role.parksAtCheckpoints) parties += role.firstInstanceOnly ? 1 : kInstances;
  Checkpoints checkpoints(parties);
  t.checkpoints = &checkpoints;

  // Named threads, so that a report names the role.
  std::vector<std::thread> threads;
  for (auto& in : t.instances) {
    for (const Role& role : kInstanceRoles) {
      if (role.firstInstanceOnly && in->number != 0) continue;
      threads.emplace_back([&t, &instance = *in, role] {
        pthread_setname_np(pthread_self(), role.name);
        role.run(t, instance);
      });
    }
  }
  for (const ProcessRole& role : kProcessRoles) {
    threads.emplace_back([&t, role] {
      pthread_setname_np(pthread_self(), role.name);
      role.run(t);
    });
  }

  long startMemory = 0;
  long endMemory = 0;
  uint64_t startOpens = 0;
  const int rounds = std::max(2, static_cast<int>(std::lround(seconds / kRoundSeconds)));
  const auto roundTime = std::chrono::duration<double>(seconds / rounds);
  for (int round = 0; round <= rounds; ++round) {
    quieten(t, probe, static_cast<uint64_t>(round));
    checkQuietInstances(t);
    checkHostileDatagramsChangeNothing(t, probe, static_cast<uint64_t>(round));
    // The first half lets every pool, cache and arena settle; growth is
    // measured over the second.
    if (round == rounds / 2) {
      startMemory = residentBytes();
      startOpens = t.figures.editorOpens.load();
    }
    if (round == rounds) {
      endMemory = residentBytes();
      break;
    }
    for (auto& in : t.instances) in->midiAllowed.store(true);
    checkpoints.resumeAll();
    std::this_thread::sleep_for(roundTime);
  }
  checkpoints.quit();
  for (std::thread& thread : threads) thread.join();
  for (auto& in : t.instances) {
    dispatch(in->effect, vst::effMainsChanged, 0, 0);
    dispatch(in->effect, vst::effClose);
  }

  EXPECT_EQ(t.failures.count(), 0) << t.failures.text();
  EXPECT_EQ(t.figures.lateBlocks.load(), 0u);
  EXPECT_GT(t.figures.lockHolds.load(), 0u) << "the hostile client never held a script";
  if (!t.display.empty()) {
    EXPECT_EQ(xsockets::connectionsTo(t.display), 0) << "X connections left open";
  }
  EXPECT_EQ(hostCalls.endEdits.load(), hostCalls.beginEdits.load())
      << "the editor began gestures it never ended";
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // Under a sanitizer the resident size is mostly the sanitizer's own
  // allocator and shadow memory, which it keeps; the plain build checks it.
  const uint64_t opens = t.figures.editorOpens.load() - startOpens;
  EXPECT_LT(endMemory - startMemory,
            kMemoryGrowthLimit + kMemoryGrowthPerOpening * static_cast<long>(opens))
      << "resident memory grew from " << startMemory << " to " << endMemory << " bytes over "
      << opens << " editor openings";
#endif
}

}  // namespace
