// The host's audio calls must never allocate, wait for another thread, sleep
// or enter the kernel; the one lock they may take is the Lua lock, to run a
// script. The two wake-ups remote control needs by design are pinned down.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
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
#include "tests/osc/OscTestSupport.h"

namespace {

using alloc_test::LibcCall;

// A host event list of short MIDI messages, made before counting starts.
struct MidiList {
  explicit MidiList(const std::vector<std::vector<uint8_t>>& messages)
      : events(messages.size()), storage(sizeof(vst::VstEvents) + messages.size() * sizeof(void*)) {
    list->numEvents = static_cast<int32_t>(messages.size());
    for (size_t i = 0; i < messages.size(); ++i) {
      vst::VstMidiEvent& e = events[i];
      e.type = vst::kVstMidiType, e.byteSize = sizeof e, e.deltaFrames = static_cast<int32_t>(i);
      for (size_t k = 0; k < 3; ++k) e.midiData[k] = static_cast<char>(messages[i][k]);
      list->events[i] = reinterpret_cast<vst::VstEvent*>(&events[i]);
    }
  }
  std::vector<vst::VstMidiEvent> events;
  std::vector<unsigned char> storage;
  vst::VstEvents* list = reinterpret_cast<vst::VstEvents*>(storage.data());
};

// Keeps the self-check's allocations out of the optimiser's reach.
void* volatile gSink = nullptr;

intptr_t quietHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// The host's audio side of one effect: `play` counts what one host block of
// a random size calls; set-up between blocks is not counted.
class AudioSide {
 public:
  explicit AudioSide(QwkTonalmire& effect) : e(effect.getAeffect()) {
    alloc_test::registerLuaLock(effect.luaHelper()->LuaLock().native_handle());
    e->dispatcher(e, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    e->dispatcher(e, vst::effMainsChanged, 0, 1, nullptr, 0.0f);
    for (float& v : in) v = std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng);
  }
  void play(vst::VstEvents* events = nullptr) {
    const auto frames = static_cast<int32_t>(1 + rng() % kMaxBlock);
    float* ins[2] = {in.data(), in.data()};
    float* outs[2] = {left.data(), right.data()};
    {
      const alloc_test::AudioCallScope audioCall;
      e->dispatcher(e, vst::effProcessEvents, 0, 0, events ? events : &empty, 0.0f);
      e->processReplacing(e, ins, outs, frames);
    }
  }
  // Every FFT size once, so that nothing is left to settle on first use.
  void warmUp(vst::VstEvents* events = nullptr) {
    for (int k = 0; k < 8; ++k) {
      e->setParameter(e, kParamFftSize, static_cast<float>(k) / 7.0f);
      for (int b = 0; b < 8; ++b) play(events);
    }
    alloc_test::resetLibcCounts();
  }

  static constexpr int32_t kMaxBlock = 4096;
  vst::AEffect* e;
  std::mt19937 rng{23};
  std::vector<float> in = std::vector<float>(kMaxBlock), left = in, right = in;
  vst::VstEvents empty{};
};

// Checks that the Lua lock is balanced and that nothing but it and `allowed`
// (between `least` and `most` times) was called.
void expectOnly(LibcCall allowed, uint64_t least, uint64_t most, const std::string& what) {
  const alloc_test::LibcCounts counts = alloc_test::libcCounts();
  EXPECT_EQ(counts[LibcCall::kLuaUnlock], counts[LibcCall::kLuaLock]) << what;
  EXPECT_GE(counts[allowed], least) << what;
  EXPECT_LE(counts[allowed], most) << what;
  EXPECT_EQ(counts.describeAllBut(LibcCall::kLuaLock, LibcCall::kLuaUnlock, allowed), "none")
      << what;
}

// The counter itself sees what the product would do wrong, on the counting
// thread only, and tells the Lua lock from other locks.
TEST(CountingLibc, SeesAllocationsLocksWakesSleepsAndIoOnlyInsideAnAudioCall) {
  std::mutex lua, other;
  alloc_test::registerLuaLock(lua.native_handle());
  sem_t semaphore;
  sem_init(&semaphore, 0, 0);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  FILE* sink = std::fopen("/dev/null", "w");
  const auto misbehave = [&] {
    { const std::lock_guard<std::mutex> lock(lua); }
    { const std::lock_guard<std::mutex> lock(other); }
    sem_post(&semaphore);
    std::this_thread::sleep_for(std::chrono::microseconds(1));
    EXPECT_EQ(::write(null, "x", 1), 1);
    std::fputs("x", sink);
    ::syscall(SYS_getpid);
    gSink = std::malloc(24);
    std::free(gSink);
    gSink = std::aligned_alloc(64, 128);
    std::free(gSink);
    gSink = ::operator new(24);
    ::operator delete(gSink);
  };
  misbehave();
  std::thread([&] {
    const alloc_test::AudioCallScope audioCall;  // another thread's calls are its own
    misbehave();
  }).join();
  alloc_test::resetLibcCounts();
  {
    const alloc_test::AudioCallScope audioCall;
    misbehave();
  }
  misbehave();
  EXPECT_EQ(alloc_test::libcCounts().describeAllBut(),
            "allocation 3, release 3, Lua lock 1, Lua unlock 1, other lock 1, other unlock 1, "
            "semaphore post 1, sleep 1, file I/O 1, stdio 1, syscall 1");
  std::fclose(sink);
  ::close(null);
  sem_destroy(&semaphore);
}

// Without scripts nothing is called; every spectral script, the built-in ones
// and a user's, takes the Lua lock once per run and nothing else; and so do
// MIDI messages that reach the built-in script's controller map.
TEST(RealtimeCalls, AudioTakesOnlyTheLuaLockAndOnlyToRunAScript) {
  char pattern[] = "/tmp/veldrana-rt-scripts-XXXXXX";
  const std::string folder = mkdtemp(pattern);
  std::ofstream(folder + "/counted.lua") << R"(
spectralRuns = 0
addSpectralScript("Counted", function(state)
  spectralRuns = spectralRuns + 1
  for k = 1, state.maxBin - 1 do
    local re, im = getBin(k)
    setBin(k, re * 0.5, im * 0.5)
  end
end))";
  setenv("VELDRANA_SCRIPTS_DIR", folder.c_str(), 1);
  QwkTonalmire effect(quietHost);
  AudioSide audio(effect);
  const auto& scripts = effect.spectralScripts();
  ASSERT_EQ(scripts.size(), 8u);  // "Off", the six built-in ones and the user's
  ASSERT_EQ(scripts.back().name, "Counted");
  for (int32_t script = 0; script < 8; ++script) {
    effect.setParameterPlain(kParamScriptIndex, static_cast<float>(script), false);
    effect.setParameterPlain(kParamScripted1, static_cast<float>(10 * script - 30), false);
    audio.warmUp();
    ASSERT_EQ(osc_test::runLua(effect, "spectralRuns = 0"), "");
    // Between blocks the host automates sizes, gains, levels and the position.
    for (int b = 0; b < 24; ++b) {
      audio.e->setParameter(audio.e, kParamFftSize, static_cast<float>(b % 8) / 7.0f);
      audio.e->setParameter(audio.e, kParamInputGain, 0.04f * static_cast<float>(b));
      audio.e->setParameter(audio.e, kParamBin0Level + 10 * b, 0.5f);
      audio.e->setParameter(audio.e, kParamScriptPosition, static_cast<float>(b / 12));
      audio.play();
    }
    const uint64_t locks = alloc_test::libcCounts()[LibcCall::kLuaLock];
    expectOnly(LibcCall::kLuaLock, script ? 1 : 0, script ? UINT64_MAX : 0, scripts[script].name);
    EXPECT_TRUE(script < 7 || locks == osc_test::luaNumber(effect, "spectralRuns")) << locks;
  }
  // Notes, pitch wheel and controllers of the built-in map: dry and wet level
  // (2, 3), FFT size (4, changing the latency), "Script Index" (17, so
  // spectral scripts start and stop) and "Scripted 1" (19).
  std::vector<std::vector<uint8_t>> messages = {
      {0x90, 60, 100}, {0x80, 60, 0}, {0xE0, 0, 64}, {0xC0, 5, 0}};
  for (const uint8_t controller : {2, 3, 4, 17, 19, 4, 17, 2})
    messages.push_back({0xB0, controller, 0});
  MidiList midi(messages);
  audio.warmUp(midi.list);
  for (int b = 0; b < 60; ++b) {
    for (size_t i = 4; i < messages.size(); ++i)
      midi.events[i].midiData[2] = char(audio.rng() % 128);
    audio.play(midi.list);
  }
  expectOnly(LibcCall::kLuaLock, 1, UINT64_MAX, "MIDI");
  unlink((folder + "/counted.lua").c_str());
  rmdir(folder.c_str());
  unsetenv("VELDRANA_SCRIPTS_DIR");
}

// With a subscriber, changes made on the audio thread (by the controller
// map) wake the notify thread; several before it runs post once.
TEST(RealtimeCalls, ASubscribedChangePostsTheNotifySemaphoreAndNothingElse) {
  osc_test::ServiceFixture service;
  ASSERT_TRUE(service.ready());
  const osc_test::Client& client = service.client;
  client.send(service.port, osc_test::message("/registerUpdate", [&](osc::OutboundPacketStream& p) {
                p << int32_t{kParamDryLevel} << client.url().c_str() << "/dry";
              }));
  ASSERT_TRUE(client.ping(service.port));
  AudioSide audio(*service.effect);
  MidiList dry({{0xB0, 2, 0}});  // controller 2: "Dry Level"
  audio.warmUp();
  client.drain();
  for (int b = 0; b < 40; ++b) {
    dry.events[0].midiData[2] = static_cast<char>(b % 2 ? 100 : 20);
    audio.play(dry.list);
  }
  expectOnly(LibcCall::kSemaphorePost, 1, 40, "subscribed changes");
  EXPECT_TRUE(client.receiveAt("/dry").has_value());
}

// Controller 0 of the built-in map is "OSC Port Offset": each move writes the
// receive thread's wake-up descriptor, turning the service off twice.
TEST(RealtimeCalls, MovingTheOscPortFromAScriptWritesTheWakeUpDescriptorOnly) {
  osc_test::ServiceFixture service;
  AudioSide audio(*service.effect);
  MidiList port({{0xB0, 0, 0}});
  audio.warmUp();
  for (int b = 0; b < 20; ++b) {
    port.events[0].midiData[2] = static_cast<char>(b % 2 ? 3 : 0);  // offsets 2 and 0
    audio.play(port.list);
  }
  expectOnly(LibcCall::kFileIo, 20, 40, "port moves");
}

}  // namespace
