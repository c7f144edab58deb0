// The editor side of a VST 2.4 effect, as the dispatcher drives it.
#pragma once

#include <cstdint>

#include "core/VstAbi.h"

class AudioEffect;

class AEffEditor {
 public:
  explicit AEffEditor(AudioEffect* effect) : effect_(effect) {}
  virtual ~AEffEditor() = default;
  AEffEditor(const AEffEditor&) = delete;
  AEffEditor& operator=(const AEffEditor&) = delete;

  virtual bool getRect(vst::ERect** rect) {
    *rect = nullptr;
    return false;
  }
  // ptr: the host's parent window (an X11 Window id on Linux).
  virtual bool open(void* ptr) {
    systemWindow_ = ptr;
    return false;
  }
  virtual void close() { systemWindow_ = nullptr; }
  virtual bool isOpen() const { return systemWindow_ != nullptr; }
  virtual void idle() {}
  virtual bool onKeyDown(vst::VstKeyCode& /*key*/) { return false; }
  virtual bool onKeyUp(vst::VstKeyCode& /*key*/) { return false; }
  virtual bool setKnobMode(int32_t /*mode*/) { return false; }
  // Offered every parameter change; the controls read values each frame, so
  // this editor has nothing to do here.
  virtual void setParameter(int32_t /*index*/, float /*plain*/) {}

  AudioEffect* getEffect() const { return effect_; }

 protected:
  AudioEffect* effect_;
  void* systemWindow_ = nullptr;
};
