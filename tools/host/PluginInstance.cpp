#include "tools/host/PluginInstance.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "tools/host/HostError.h"

namespace vhost {

namespace {

constexpr size_t kTextBufferSize = 512;

vst::PluginEntryProc findEntry(const DynamicLibrary& library) {
  for (const char* name : {"VSTPluginMain", "main"}) {
    if (void* symbol = library.symbol(name)) return reinterpret_cast<vst::PluginEntryProc>(symbol);
  }
  return nullptr;
}

std::string hex32(int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<uint32_t>(value));
  return text;
}

}  // namespace

PluginInstance::PluginInstance(const std::string& path, HostContext& host)
    : host_(host), library_(path) {
  const vst::PluginEntryProc entry = findEntry(library_);
  if (!entry)
    throw loadError(path +
                    " is not a VST 2.4 plug-in: it has no VSTPluginMain or main entry point");

  {
    const HostContext::LoadingScope loading(host_);
    try {
      effect_ = entry(&HostContext::callback);
    } catch (...) {
      throw loadError(path + ": the plug-in's entry point threw an exception");
    }
  }
  if (!effect_) throw loadError(path + ": the plug-in's entry point returned no effect");
  if (effect_->magic != vst::kEffectMagic) {
    // Not a record we understand, so nothing in it may be called.
    const int32_t magic = effect_->magic;
    effect_ = nullptr;
    throw loadError(path + " is not a VST 2.4 plug-in: bad magic " + hex32(magic) +
                    " (expected 'VstP')");
  }
  if (!effect_->dispatcher) {
    effect_ = nullptr;
    throw loadError(path + ": the plug-in's effect record has no dispatcher");
  }
  host_.attach(effect_);
  dispatch(vst::effOpen);
}

PluginInstance::~PluginInstance() {
  if (!effect_) return;
  if (processing_) stopProcess();
  if (resumed_) suspend();
  dispatch(vst::effClose);
  effect_ = nullptr;
}

intptr_t PluginInstance::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt) {
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string PluginInstance::text(int32_t opcode, int32_t index) {
  std::array<char, kTextBufferSize> buffer{};
  dispatch(opcode, index, 0, buffer.data());
  buffer.back() = '\0';
  return buffer.data();
}

int32_t PluginInstance::category() {
  return static_cast<int32_t>(dispatch(vst::effGetPlugCategory));
}

CanDoAnswer PluginInstance::canDo(const char* capability) {
  // The plug-in gets a private copy: the opcode's pointer is not const.
  std::array<char, kTextBufferSize> copy{};
  std::strncpy(copy.data(), capability, copy.size() - 1);
  const intptr_t answer = dispatch(vst::effCanDo, 0, 0, copy.data());
  if (answer > 0) return CanDoAnswer::kYes;
  if (answer < 0) return CanDoAnswer::kNo;
  return CanDoAnswer::kUnknown;
}

float PluginInstance::parameter(int32_t index) {
  return effect_->getParameter ? effect_->getParameter(effect_, index) : 0.0f;
}

void PluginInstance::setParameter(int32_t index, float value) {
  if (effect_->setParameter) effect_->setParameter(effect_, index, value);
}

void PluginInstance::setSampleRate(double rate) {
  host_.setSampleRate(rate);
  dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
}

void PluginInstance::setBlockSize(int32_t frames) {
  host_.setBlockSize(frames);
  dispatch(vst::effSetBlockSize, 0, frames);
}

void PluginInstance::resume() {
  if (resumed_) return;
  dispatch(vst::effMainsChanged, 0, 1);
  resumed_ = true;
}

void PluginInstance::suspend() {
  if (!resumed_) return;
  dispatch(vst::effMainsChanged, 0, 0);
  resumed_ = false;
}

void PluginInstance::startProcess() {
  if (processing_) return;
  dispatch(vst::effStartProcess);
  processing_ = true;
}

void PluginInstance::stopProcess() {
  if (!processing_) return;
  dispatch(vst::effStopProcess);
  processing_ = false;
}

std::vector<uint8_t> PluginInstance::chunk(bool program) {
  void* data = nullptr;
  const intptr_t size = dispatch(vst::effGetChunk, program ? 1 : 0, 0, &data);
  if (size <= 0 || !data) return {};
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

void PluginInstance::setChunk(const std::vector<uint8_t>& data, bool program) {
  // The plug-in may keep reading from the pointer only during the call, but
  // the opcode takes a non-const pointer, so it gets its own copy.
  std::vector<uint8_t> copy(data);
  dispatch(vst::effSetChunk, program ? 1 : 0, static_cast<intptr_t>(copy.size()), copy.data());
}

void PluginInstance::processEvents(vst::VstEvents* events) {
  dispatch(vst::effProcessEvents, 0, 0, events);
}

void PluginInstance::processReplacing(float** inputs, float** outputs, int32_t frames) {
  effect_->processReplacing(effect_, inputs, outputs, frames);
}

}  // namespace vhost
