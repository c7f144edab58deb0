// Shared pieces of the effect-level fuzz targets: a host that answers only
// its version, an effect that can never reach the user's files or open an
// OSC port, a reader that turns fuzz bytes into choices, and stereo audio
// blocks whose output is checked for NaN and infinity.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "core/GlobalSettings.h"
#include "core/QwkTonalmire.h"
#include "scripting/LuaMIDIHelper.h"

namespace fuzz {

inline intptr_t quietHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// Functions that read files or load modules by name have no place in a
// fuzzed run.
inline void withoutFileAccess(QW::LuaMIDIHelper& lua) {
  lua_State* L = lua.GetLuaState();
  std::lock_guard<std::recursive_mutex> lock(lua.LuaLock());
  for (const char* name : {"dofile", "loadfile", "require", "module"}) {
    lua_pushnil(L);
    lua_setglobal(L, name);
  }
}

// scriptsDir: the folder whose scripts the effect loads (null: none).
inline std::unique_ptr<QwkTonalmire> makeEffect(const char* scriptsDir = nullptr) {
  setenv("VELDRANA_SCRIPTS_DIR", scriptsDir ? scriptsDir : "/nonexistent/veldrana-fuzz-scripts", 1);
  setenv("XDG_CONFIG_HOME", "/nonexistent/veldrana-fuzz-config", 1);
  setenv("XDG_DATA_HOME", "/nonexistent/veldrana-fuzz-data", 1);
  auto effect = std::make_unique<QwkTonalmire>(&quietHost);
  // Any "OSC Port Offset" a chunk or a MIDI controller sets then gives a
  // port beyond 65535, so the service stays off and no socket is opened.
  QW::GlobalSettings::oscBasePort = 70000;
  withoutFileAccess(*effect->luaHelper());
  vst::AEffect* e = effect->getAeffect();
  e->dispatcher(e, vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
  e->dispatcher(e, vst::effSetBlockSize, 0, 4096, nullptr, 0.0f);
  e->dispatcher(e, vst::effMainsChanged, 0, 1, nullptr, 0.0f);
  return effect;
}

// Consumes the fuzz input front to back; past the end every read is 0.
class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint16_t u16() { return static_cast<uint16_t>(byte() | byte() << 8); }
  uint32_t u32() { return static_cast<uint32_t>(u16()) | static_cast<uint32_t>(u16()) << 16; }
  int32_t i32() { return static_cast<int32_t>(u32()); }
  float f32() {
    const uint32_t bits = u32();
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
  template <typename T, size_t N>
  const T& pick(const T (&choices)[N]) {
    return choices[byte() % N];
  }
  size_t left() const { return at_ < size_ ? size_ - at_ : 0; }
  const uint8_t* rest() const { return data_ + (at_ < size_ ? at_ : size_); }
  void skip(size_t n) { at_ = n < left() ? at_ + n : size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Stereo audio through processReplacing. The input is always finite and
// within ±amplitude; every gain and level the effect applies is bounded, so
// a non-finite output sample is a fault however odd its state.
class AudioRun {
 public:
  explicit AudioRun(vst::AEffect* e) : e_(e) {}

  // Runs `frames` samples of noise in blocks of the given size.
  void run(uint32_t seed, float amplitude, int32_t block, int32_t frames, bool checkFinite) {
    if (block < 1) block = 1;
    for (int32_t done = 0; done < frames; done += block) {
      const int32_t n = block < frames - done ? block : frames - done;
      in_[0].resize(static_cast<size_t>(n));
      in_[1].resize(static_cast<size_t>(n));
      out_[0].assign(static_cast<size_t>(n), 0.0f);
      out_[1].assign(static_cast<size_t>(n), 0.0f);
      for (int c = 0; c < 2; ++c) {
        for (float& x : in_[c]) {
          seed = seed * 1664525u + 1013904223u;
          x = amplitude * (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f);
        }
      }
      float* ins[2] = {in_[0].data(), in_[1].data()};
      float* outs[2] = {out_[0].data(), out_[1].data()};
      e_->processReplacing(e_, ins, outs, n);
      if (!checkFinite) continue;
      for (int c = 0; c < 2; ++c) {
        for (size_t i = 0; i < out_[c].size(); ++i) {
          if (!std::isfinite(out_[c][i])) {
            std::fprintf(stderr,
                         "non-finite output %g: channel %d, sample %zu of a %d-sample block\n",
                         static_cast<double>(out_[c][i]), c, i, n);
            std::abort();
          }
        }
      }
    }
  }

 private:
  vst::AEffect* e_;
  std::vector<float> in_[2];
  std::vector<float> out_[2];
};

}  // namespace fuzz
