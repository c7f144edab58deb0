// The library's entry point, exported as VSTPluginMain and as main (older
// hosts look for main).
#include <memory>
#include <new>

#include "core/QwkTonalmire.h"
#include "core/VstAbi.h"

extern "C" __attribute__((visibility("default"))) vst::AEffect* VSTPluginMain(
    vst::HostCallback audioMaster) {
  if (!audioMaster) return nullptr;
  if (audioMaster(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
  try {
    auto effect = std::make_unique<QwkTonalmire>(audioMaster);
    return effect.release()->getAeffect();
  } catch (const std::exception&) {
    // A host must never see an exception cross the C entry.
    return nullptr;
  }
}

extern "C" vst::AEffect* vstPluginMainAlias(vst::HostCallback) __asm__("main")
    __attribute__((alias("VSTPluginMain"), visibility("default")));
