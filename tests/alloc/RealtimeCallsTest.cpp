// The host's audio calls (processReplacing, processEvents) must never
// allocate, wait for another thread, sleep, or enter the kernel. The one lock they may take
// is the Lua lock, and only when a script runs (a MIDI callback, a spectral
// script). Two paths wake another thread by design, both only while remote
// control is in use; they are pinned down here so that neither grows:
//  - a parameter change with an OSC subscriber posts the notify thread's
//    semaphore (at most once per change);
//  - a script that moves "OSC Port Offset" writes the receive thread's
//    wake-up descriptor.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CountingLibc.h"
#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "core/VstAbi.h"
#include "scripting/LuaMIDIHelper.h"
#include "tests/osc/OscTestSupport.h"

namespace {

using alloc_test::AudioCallScope;
using alloc_test::LibcCall;
using alloc_test::LibcCounts;

// A host event list of short MIDI messages, made before counting starts so
// that filling and sending it costs the counted code nothing.
struct MidiList {
  explicit MidiList(size_t count)
      : events(count), storage(sizeof(vst::VstEvents) + count * sizeof(void*)) {
    list = reinterpret_cast<vst::VstEvents*>(storage.data());
    list->numEvents = static_cast<int32_t>(count);
    for (size_t i = 0; i < count; ++i) {
      events[i].type = vst::kVstMidiType;
      events[i].byteSize = sizeof(vst::VstMidiEvent);
      list->events[i] = reinterpret_cast<vst::VstEvent*>(&events[i]);
    }
  }
  void set(size_t i, uint8_t status, uint8_t d1, uint8_t d2, int32_t delta) {
    events[i].midiData[0] = static_cast<char>(status);
    events[i].midiData[1] = static_cast<char>(d1);
    events[i].midiData[2] = static_cast<char>(d2);
    events[i].deltaFrames = delta;
  }
  std::vector<vst::VstMidiEvent> events;
  std::vector<unsigned char> storage;
  vst::VstEvents* list = nullptr;
};

// Stores what the self-check allocates where the optimiser cannot see it go
// unused, so the allocations really happen.
void* volatile gSink = nullptr;

intptr_t quietHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// A private Scripts folder holding the given scripts while it lives.
class Scripts {
 public:
  Scripts() {
    char pattern[] = "/tmp/veldrana-rt-scripts-XXXXXX";
    const char* dir = mkdtemp(pattern);
    path_ = dir ? dir : "/nonexistent/veldrana-rt-scripts";
    setenv("VELDRANA_SCRIPTS_DIR", path_.c_str(), 1);
  }
  ~Scripts() {
    for (const std::string& file : files_) unlink(file.c_str());
    rmdir(path_.c_str());
    unsetenv("VELDRANA_SCRIPTS_DIR");
  }
  Scripts(const Scripts&) = delete;
  Scripts& operator=(const Scripts&) = delete;

  void add(const std::string& name, const std::string& text) {
    files_.push_back(path_ + "/" + name);
    std::ofstream(files_.back(), std::ios::binary) << text;
  }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

// The host's audio side of one effect. Every audio call goes through
// `play`, which counts what it calls; set-up between blocks is not counted.
class AudioSide {
 public:
  explicit AudioSide(QwkTonalmire& effect) : e_(effect.getAeffect()) {
    alloc_test::registerLuaLock(effect.luaHelper()->LuaLock().native_handle());
    e_->dispatcher(e_, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    e_->dispatcher(e_, vst::effMainsChanged, 0, 1, nullptr, 0.0f);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    for (auto* channel : {&inL_, &inR_}) {
      channel->resize(kMaxBlock);
      for (float& v : *channel) v = sample(rng_);
    }
    outL_.resize(kMaxBlock);
    outR_.resize(kMaxBlock);
  }

  // One host block of a random size, with the events given (or an empty
  // list) before it.
  void play(vst::VstEvents* events = nullptr) {
    const auto frames = static_cast<int32_t>(1 + rng_() % kMaxBlock);
    float* ins[2] = {inL_.data(), inR_.data()};
    float* outs[2] = {outL_.data(), outR_.data()};
    vst::VstEvents* list = events ? events : &empty_;
    {
      const AudioCallScope audioCall;
      e_->dispatcher(e_, vst::effProcessEvents, 0, 0, list, 0.0f);
      e_->processReplacing(e_, ins, outs, frames);
    }
    for (int32_t i = 0; i < frames; ++i)
      ASSERT_TRUE(std::isfinite(outL_[static_cast<size_t>(i)])) << i;
  }

  // Every FFT size once, so that nothing is left to settle on first use.
  void warmUp(vst::VstEvents* events = nullptr) {
    for (int k = 0; k < 8; ++k) {
      e_->setParameter(e_, kParamFftSize, static_cast<float>(k) / 7.0f);
      for (int b = 0; b < 8; ++b) play(events);
    }
    alloc_test::resetLibcCounts();
  }

  vst::AEffect* aeffect() const { return e_; }
  std::mt19937& rng() { return rng_; }

 private:
  static constexpr int32_t kMaxBlock = 4096;
  vst::AEffect* e_;
  std::mt19937 rng_{23};
  std::vector<float> inL_, inR_, outL_, outR_;
  vst::VstEvents empty_{};
};

// The counter itself: it must see what the product would do wrong, on the
// counting thread only, and tell the Lua lock from other locks.
TEST(CountingLibc, SeesAllocationsLocksWakesSleepsAndIoOnlyInsideAnAudioCall) {
  std::mutex lua;
  std::mutex other;
  alloc_test::registerLuaLock(lua.native_handle());
  sem_t semaphore;
  sem_init(&semaphore, 0, 0);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(null, 0);
  FILE* sink = std::fopen("/dev/null", "w");
  ASSERT_NE(sink, nullptr);
  const auto misbehave = [&] {
    { const std::lock_guard<std::mutex> lock(lua); }
    { const std::lock_guard<std::mutex> lock(other); }
    sem_post(&semaphore);
    std::this_thread::sleep_for(std::chrono::microseconds(1));
    ASSERT_EQ(::write(null, "x", 1), 1);
    std::fputs("x", sink);
    ::syscall(SYS_getpid);
    gSink = ::operator new(24);
    ::operator delete(gSink);
    gSink = std::malloc(24);
    std::free(gSink);
    gSink = std::aligned_alloc(64, 128);
    std::free(gSink);
  };

  alloc_test::resetLibcCounts();
  misbehave();
  std::thread elsewhere([&] {
    const AudioCallScope audioCall;  // another thread's calls are its own
    misbehave();
  });
  elsewhere.join();
  alloc_test::resetLibcCounts();
  {
    const AudioCallScope audioCall;
    misbehave();
  }
  misbehave();
  const LibcCounts counts = alloc_test::libcCounts();
  EXPECT_EQ(counts[LibcCall::kAllocation], 3u);
  EXPECT_EQ(counts[LibcCall::kRelease], 3u);
  EXPECT_EQ(counts[LibcCall::kLuaLock], 1u);
  EXPECT_EQ(counts[LibcCall::kLuaUnlock], 1u);
  EXPECT_EQ(counts[LibcCall::kOtherLock], 1u);
  EXPECT_EQ(counts[LibcCall::kOtherUnlock], 1u);
  EXPECT_EQ(counts[LibcCall::kSemaphorePost], 1u);
  EXPECT_EQ(counts[LibcCall::kSleep], 1u);
  EXPECT_EQ(counts[LibcCall::kFileIo], 1u);
  EXPECT_EQ(counts[LibcCall::kStdio], 1u);
  EXPECT_EQ(counts[LibcCall::kSyscall], 1u);
  std::fclose(sink);
  ::close(null);
  sem_destroy(&semaphore);
}

TEST(RealtimeCalls, SteadyAudioWithoutScriptsOrOscCallsNothing) {
  Scripts none;
  QwkTonalmire effect(quietHost);
  AudioSide audio(effect);
  vst::AEffect* e = audio.aeffect();
  audio.warmUp();

  // Between blocks the host changes sizes, gains and levels, as automation
  // does; the blocks themselves see the changes.
  for (int round = 0; round < 3; ++round) {
    for (int k = 7; k >= 0; --k) {
      e->setParameter(e, kParamFftSize, static_cast<float>(k) / 7.0f);
      e->setParameter(e, kParamInputGain, 0.1f * static_cast<float>(k));
      e->setParameter(e, kParamBin0Level + 10 * k, 0.5f);
      for (int b = 0; b < 12; ++b) audio.play();
    }
  }
  EXPECT_EQ(alloc_test::libcCounts().describe(), "none");
}

TEST(RealtimeCalls, MidiMessagesTakeOnlyTheLuaLock) {
  Scripts none;
  QwkTonalmire effect(quietHost);
  AudioSide audio(effect);
  // Notes, pitch wheel and controllers of the built-in map: dry and wet
  // level (2, 3), FFT size (4, which changes the latency), "Script Index"
  // (17, so spectral scripts start and stop) and "Scripted 1" (19).
  MidiList midi(12);
  const uint8_t controllers[] = {2, 3, 4, 17, 19, 4, 17, 2};
  for (size_t i = 0; i < 8; ++i)
    midi.set(i, 0xB0, controllers[i], static_cast<uint8_t>(17 * i), static_cast<int32_t>(i));
  midi.set(8, 0x90, 60, 100, 0);
  midi.set(9, 0x80, 60, 0, 0);
  midi.set(10, 0xE0, 0, 64, 0);
  midi.set(11, 0xC0, 5, 0, 0);
  audio.warmUp(midi.list);

  for (int b = 0; b < 60; ++b) {
    for (size_t i = 0; i < 8; ++i)
      midi.events[i].midiData[2] = static_cast<char>(audio.rng()() % 128);
    audio.play(midi.list);
  }
  const LibcCounts counts = alloc_test::libcCounts();
  EXPECT_GT(counts[LibcCall::kLuaLock], 0u);
  EXPECT_EQ(counts[LibcCall::kLuaUnlock], counts[LibcCall::kLuaLock]);
  EXPECT_EQ(counts.allBut(LibcCall::kLuaLock, LibcCall::kLuaUnlock), 0u) << counts.describe();
}

TEST(RealtimeCalls, ASpectralScriptTakesTheLuaLockOncePerRunAndNothingElse) {
  Scripts scripts;
  scripts.add("counted.lua", R"(
spectralRuns = 0
addSpectralScript("Counted", function(state)
  spectralRuns = spectralRuns + 1
  for k = 1, state.maxBin - 1 do
    local re, im = getBin(k)
    setBin(k, re * 0.5, im * 0.5)
  end
end)
)");
  QwkTonalmire effect(quietHost);
  int32_t counted = 0;
  for (size_t i = 0; i < effect.spectralScripts().size(); ++i)
    if (effect.spectralScripts()[i].name == "Counted") counted = static_cast<int32_t>(i);
  ASSERT_GT(counted, 0);
  AudioSide audio(effect);
  vst::AEffect* e = audio.aeffect();
  effect.setParameterPlain(kParamScriptIndex, static_cast<float>(counted), false);
  audio.warmUp();

  ASSERT_EQ(osc_test::runLua(effect, "spectralRuns = 0"), "");
  for (int position = 0; position < 2; ++position) {
    e->setParameter(e, kParamScriptPosition, static_cast<float>(position));
    for (int k = 0; k < 8; ++k) {
      e->setParameter(e, kParamFftSize, static_cast<float>(k) / 7.0f);
      for (int b = 0; b < 6; ++b) audio.play();
    }
  }
  const LibcCounts counts = alloc_test::libcCounts();
  const auto runs = static_cast<uint64_t>(osc_test::luaNumber(effect, "spectralRuns"));
  EXPECT_GT(runs, 0u);
  EXPECT_EQ(counts[LibcCall::kLuaLock], runs);
  EXPECT_EQ(counts[LibcCall::kLuaUnlock], runs);
  EXPECT_EQ(counts.allBut(LibcCall::kLuaLock, LibcCall::kLuaUnlock), 0u) << counts.describe();
}

TEST(RealtimeCalls, TheBuiltInSpectralScriptsTakeOnlyTheLuaLock) {
  Scripts none;
  QwkTonalmire effect(quietHost);
  AudioSide audio(effect);
  const auto scripts = static_cast<int32_t>(effect.spectralScripts().size());
  ASSERT_GE(scripts, 7);  // "Off" and the six of midi.lua
  for (int32_t script = 1; script < scripts; ++script) {
    effect.setParameterPlain(kParamScriptIndex, static_cast<float>(script), false);
    effect.setParameterPlain(kParamScripted1, static_cast<float>(10 * script - 30), false);
    audio.warmUp();
    for (int b = 0; b < 16; ++b) audio.play();
    const LibcCounts counts = alloc_test::libcCounts();
    EXPECT_GT(counts[LibcCall::kLuaLock], 0u) << effect.spectralScripts()[script].name;
    EXPECT_EQ(counts.allBut(LibcCall::kLuaLock, LibcCall::kLuaUnlock), 0u)
        << effect.spectralScripts()[script].name << ": " << counts.describe();
  }
}

// The first exception: with a subscriber, a change made on the audio thread
// (here by the controller map) wakes the notify thread through its
// semaphore. Several changes before it runs post once.
TEST(RealtimeCalls, ASubscribedChangePostsTheNotifySemaphoreAndNothingElse) {
  Scripts none;
  osc_test::ServiceFixture service;
  QwkTonalmire& effect = *service.effect;
  ASSERT_TRUE(service.ready());
  const osc_test::Client& client = service.client;
  client.send(service.port, osc_test::message("/registerUpdate", [&](osc::OutboundPacketStream& p) {
                p << int32_t{kParamDryLevel} << client.url().c_str() << "/dry";
              }));
  ASSERT_TRUE(client.ping(service.port));

  AudioSide audio(effect);
  MidiList dry(1);
  dry.set(0, 0xB0, 2, 0, 0);  // controller 2: "Dry Level"
  audio.warmUp();
  client.drain();

  constexpr int kChanges = 40;
  for (int b = 0; b < kChanges; ++b) {
    dry.events[0].midiData[2] = static_cast<char>(b % 2 ? 100 : 20);
    audio.play(dry.list);
  }
  const LibcCounts counts = alloc_test::libcCounts();
  EXPECT_GE(counts[LibcCall::kSemaphorePost], 1u);
  EXPECT_LE(counts[LibcCall::kSemaphorePost], static_cast<uint64_t>(kChanges));
  EXPECT_EQ(counts[LibcCall::kLuaUnlock], counts[LibcCall::kLuaLock]);
  uint64_t others = counts.allBut(LibcCall::kLuaLock, LibcCall::kLuaUnlock);
  others -= counts[LibcCall::kSemaphorePost];
  EXPECT_EQ(others, 0u) << counts.describe();
  EXPECT_TRUE(client.receiveAt("/dry").has_value());
}

// The second exception: a script that moves the OSC port (controller 0 of
// the built-in map is "OSC Port Offset") writes the receive thread's
// wake-up descriptor; turning the service off writes it twice.
TEST(RealtimeCalls, MovingTheOscPortFromAScriptWritesTheWakeUpDescriptorOnly) {
  Scripts none;
  osc_test::ServiceFixture service;
  QwkTonalmire& effect = *service.effect;
  AudioSide audio(effect);
  MidiList port(1);
  port.set(0, 0xB0, 0, 0, 0);
  audio.warmUp();

  constexpr int kMoves = 20;
  for (int b = 0; b < kMoves; ++b) {
    port.events[0].midiData[2] = static_cast<char>(b % 2 ? 3 : 0);  // offsets 2 and 0
    audio.play(port.list);
  }
  const LibcCounts counts = alloc_test::libcCounts();
  EXPECT_GE(counts[LibcCall::kFileIo], static_cast<uint64_t>(kMoves));
  EXPECT_LE(counts[LibcCall::kFileIo], static_cast<uint64_t>(2 * kMoves));
  uint64_t others = counts.allBut(LibcCall::kLuaLock, LibcCall::kLuaUnlock);
  others -= counts[LibcCall::kFileIo];
  EXPECT_EQ(others, 0u) << counts.describe();
}

}  // namespace
