// Loads the shipped plug-in the way a host does, and what the tests' hosts
// share: a callback that records what the plug-in tells it, MIDI event lists
// and blocks of audio.
#pragma once

#include <dlfcn.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/VstAbi.h"

class PluginLibrary {
 public:
#if defined(__SANITIZE_ADDRESS__)
  // Under AddressSanitizer the library stays mapped, for leak reports at exit.
  static constexpr int kKeepMapped = RTLD_NODELETE;
#else
  static constexpr int kKeepMapped = 0;
#endif

  PluginLibrary() : handle_(dlopen(VELDRANA_SO_PATH, RTLD_NOW | RTLD_LOCAL | kKeepMapped)) {
    if (!handle_) throw std::runtime_error(std::string("dlopen: ") + dlerror());
  }
  ~PluginLibrary() {
    dlclose(handle_);
  }
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  vst::PluginEntryProc entry() const {
    return reinterpret_cast<vst::PluginEntryProc>(dlsym(handle_, "VSTPluginMain"));
  }

 private:
  void* handle_;
};

inline intptr_t dispatch(vst::AEffect* e, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                         void* ptr = nullptr, float opt = 0.0f) {
  return e->dispatcher(e, opcode, index, value, ptr, opt);
}

// What the plug-in told its host, from whichever of its threads.
class HostLog {
 public:
  void record(int32_t opcode, int32_t index) {
    const std::lock_guard<std::mutex> lock(mutex_);
    calls_.emplace_back(opcode, index);
  }
  void clear() {
    const std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
  }
  int count(int32_t opcode, const std::function<bool(int32_t)>& indexMatches = {}) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const auto& [op, index] : calls_)
      n += op == opcode && (!indexMatches || indexMatches(index));
    return n;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<int32_t, int32_t>> calls_;
};

inline HostLog& hostLog() {
  static HostLog log;
  return log;
}

inline intptr_t recordingHost(vst::AEffect*, int32_t opcode, int32_t index, intptr_t, void*,
                              float) {
  hostLog().record(opcode, index);
  if (opcode == vst::audioMasterVersion) return 2400;
  return opcode == vst::audioMasterIOChanged || opcode == vst::audioMasterWantMidi ? 1 : 0;
}

// A host's list of short MIDI messages for effProcessEvents.
class MidiList {
 public:
  void add(uint8_t status, uint8_t data1, uint8_t data2, int32_t delta = 0) {
    vst::VstMidiEvent e{};
    e.type = vst::kVstMidiType;
    e.byteSize = sizeof e;
    e.deltaFrames = delta;
    e.midiData[0] = static_cast<char>(status);
    e.midiData[1] = static_cast<char>(data1);
    e.midiData[2] = static_cast<char>(data2);
    events_.push_back(e);
  }
  void clear() { events_.clear(); }
  vst::VstEvents* list() {
    storage_.assign(sizeof(vst::VstEvents) + events_.size() * sizeof(void*), 0);
    auto* l = reinterpret_cast<vst::VstEvents*>(storage_.data());
    l->numEvents = static_cast<int32_t>(events_.size());
    for (size_t i = 0; i < events_.size(); ++i)
      l->events[i] = reinterpret_cast<vst::VstEvent*>(&events_[i]);
    return l;
  }

 private:
  std::vector<vst::VstMidiEvent> events_;
  std::vector<char> storage_;
};

// Resumed the way a host does before playing.
inline void resume(vst::AEffect* e, float rate = 48000.0f, int32_t block = 512) {
  dispatch(e, vst::effSetSampleRate, 0, 0, nullptr, rate);
  dispatch(e, vst::effSetBlockSize, 0, block);
  dispatch(e, vst::effMainsChanged, 0, 1);
}

// One block of the same input on both channels; the left output.
inline std::vector<float> process(vst::AEffect* e, const float* in, int32_t frames) {
  std::vector<float> left(static_cast<size_t>(frames)), right(left.size());
  float* ins[2] = {const_cast<float*>(in), const_cast<float*>(in)};
  float* outs[2] = {left.data(), right.data()};
  e->processReplacing(e, ins, outs, frames);
  return left;
}

// The process's resident memory once the allocator has given back what it
// keeps free (each editor's render thread has an arena of its own).
inline long residentBytes() {
  malloc_trim(0);
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE);
}
