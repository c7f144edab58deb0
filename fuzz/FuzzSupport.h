// Shared pieces of the effect-level fuzz targets: an effect that can never
// reach the user's files or open an OSC port, a reader that turns fuzz bytes
// into choices, and audio whose output is checked for NaN and infinity.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/GlobalSettings.h"
#include "core/QwkTonalmire.h"
#include "scripting/LuaMIDIHelper.h"

namespace fuzz {

[[noreturn]] inline void fail(const std::string& what) {
  std::fprintf(stderr, "fuzz target: %s\n", what.c_str());
  std::abort();
}

inline intptr_t dispatch(vst::AEffect* e, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                         void* ptr = nullptr, float opt = 0.0f) {
  return e->dispatcher(e, opcode, index, value, ptr, opt);
}

// scriptsDir: the folder whose scripts the effect loads (null: none). Kept
// to the end of the process by the targets: the OSC threads run until exit.
inline std::unique_ptr<QwkTonalmire> makeEffect(const char* scriptsDir = nullptr) {
  setenv("VELDRANA_SCRIPTS_DIR", scriptsDir ? scriptsDir : "/nonexistent/veldrana-fuzz-scripts", 1);
  setenv("XDG_CONFIG_HOME", "/nonexistent/veldrana-fuzz-config", 1);
  setenv("XDG_DATA_HOME", "/nonexistent/veldrana-fuzz-data", 1);
  auto effect = std::make_unique<QwkTonalmire>(
      [](vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) -> intptr_t {
        return opcode == vst::audioMasterVersion ? 2400 : 0;
      });
  // Every "OSC Port Offset" then gives a port beyond 65535: no socket opens.
  QW::GlobalSettings::oscBasePort = 70000;
  QW::LuaMIDIHelper& lua = *effect->luaHelper();
  {
    std::lock_guard<std::recursive_mutex> lock(lua.LuaLock());
    for (const char* name : {"dofile", "loadfile", "require", "module"}) {  // no files by name
      lua_pushnil(lua.GetLuaState());
      lua_setglobal(lua.GetLuaState(), name);
    }
  }
  vst::AEffect* e = effect->getAeffect();
  dispatch(e, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
  dispatch(e, vst::effSetBlockSize, 0, 4096);
  dispatch(e, vst::effMainsChanged, 0, 1);
  return effect;
}

// Consumes the fuzz input front to back; past the end every read is 0.
class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint16_t u16() { return static_cast<uint16_t>(byte() | byte() << 8); }
  uint32_t u32() { return static_cast<uint32_t>(u16()) | static_cast<uint32_t>(u16()) << 16; }
  template <typename T, size_t N>
  const T& pick(const T (&choices)[N]) {
    return choices[byte() % N];
  }
  size_t left() const { return size_ - at_; }
  const uint8_t* rest() const { return data_ + at_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Runs `frames` samples of stereo noise within ±amplitude through
// processReplacing in blocks. Every gain the effect applies is bounded, so a
// non-finite output sample is a fault however odd its state.
inline void runAudio(vst::AEffect* e, uint32_t seed, float amplitude, int32_t block, int32_t frames,
                     bool checkFinite = true) {
  static std::vector<float> buffers[4];
  for (int32_t done = 0; done < frames; done += block) {
    const auto n = static_cast<size_t>(std::min(block, frames - done));
    for (int c = 0; c < 4; ++c) buffers[c].assign(n, 0.0f);
    for (int c = 0; c < 2; ++c)
      for (float& x : buffers[c])
        x = amplitude *
            (static_cast<float>((seed = seed * 1664525u + 1013904223u) >> 8) / 8388608.0f - 1.0f);
    float* ins[2] = {buffers[0].data(), buffers[1].data()};
    float* outs[2] = {buffers[2].data(), buffers[3].data()};
    e->processReplacing(e, ins, outs, static_cast<int32_t>(n));
    for (int c = 2; c < 4 && checkFinite; ++c)
      for (float x : buffers[c])
        if (!std::isfinite(x)) fail("non-finite output in a block of " + std::to_string(n));
  }
}

}  // namespace fuzz
