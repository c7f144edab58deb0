#include "tools/host/HostContext.h"

#include <cstring>

namespace vhost {

namespace {

constexpr intptr_t kHostVstVersion = 2400;

std::atomic<HostContext*> gLoadingContext{nullptr};
// Plug-ins sometimes call back without their effect pointer (from their own
// threads, or with null as during loading); with one plug-in per process
// the live context is the right one to answer.
std::atomic<HostContext*> gAttachedContext{nullptr};

// A host may keep its own pointer in resvd1; the record reserves it for us.
HostContext* contextOf(vst::AEffect* effect) {
  if (effect && effect->resvd1 != 0) return reinterpret_cast<HostContext*>(effect->resvd1);
  if (HostContext* loading = gLoadingContext.load()) return loading;
  return gAttachedContext.load();
}

}  // namespace

intptr_t HostContext::callback(vst::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                               void* ptr, float opt) {
  HostContext* const context = contextOf(effect);
  if (context) return context->handle(opcode, index, value, ptr, opt);
  // Nobody to ask, but a plug-in that checks the host version must still
  // find a VST 2.4 host.
  return opcode == vst::audioMasterVersion ? kHostVstVersion : 0;
}

HostContext::~HostContext() {
  HostContext* self = this;
  gAttachedContext.compare_exchange_strong(self, nullptr);
}

void HostContext::attach(vst::AEffect* effect) {
  effect->resvd1 = reinterpret_cast<intptr_t>(this);
  gAttachedContext.store(this);
}

HostContext::LoadingScope::LoadingScope(HostContext& context) {
  gLoadingContext.store(&context);
}

HostContext::LoadingScope::~LoadingScope() {
  gLoadingContext.store(nullptr);
}

std::vector<AutomationRecord> HostContext::automation() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return automation_;
}

std::optional<HostContext::WindowSize> HostContext::takeWindowSizeRequest() {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::optional<WindowSize> request;
  request.swap(windowSizeRequest_);
  return request;
}

bool HostContext::hostCanDo(const char* capability) {
  // What this host really does: it sends MIDI before process calls, brackets
  // processing with effStartProcess/effStopProcess and re-reads the latency
  // when told the I/O changed.
  static const char* const kYes[] = {"sendVstEvents", "sendVstMidiEvent", "startStopProcess",
                                     "acceptIOChanges"};
  if (!capability) return false;
  for (const char* yes : kYes)
    if (std::strcmp(capability, yes) == 0) return true;
  return false;
}

intptr_t HostContext::handle(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  switch (opcode) {
    case vst::audioMasterAutomate: {
      const std::lock_guard<std::mutex> lock(mutex_);
      automation_.push_back({index, opt});
      return 0;
    }
    case vst::audioMasterVersion:
      return kHostVstVersion;
    case vst::audioMasterBeginEdit:
      ++beginEdits_;
      return 0;
    case vst::audioMasterEndEdit:
      ++endEdits_;
      return 0;
    case vst::audioMasterIOChanged:
      ++ioChanges_;
      return 1;
    case vst::audioMasterGetSampleRate:
      return static_cast<intptr_t>(sampleRate());
    case vst::audioMasterGetBlockSize:
      return blockSize();
    case vst::audioMasterGetCurrentProcessLevel:
      return processLevel_.load();
    case vst::audioMasterGetTime:
      return 0;  // no transport: a null VstTimeInfo
    case vst::audioMasterCanDo: {
      const auto* capability = static_cast<const char*>(ptr);
      if (hostCanDo(capability)) return 1;
      return windowSizing_.load() && capability && std::strcmp(capability, "sizeWindow") == 0;
    }
    case vst::audioMasterSizeWindow: {
      // Nonsense sizes are refused rather than handed to the X server.
      constexpr intptr_t kLargestSide = 16384;
      if (!windowSizing_.load() || index <= 0 || value <= 0 || index > kLargestSide ||
          value > kLargestSide)
        return 0;
      const std::lock_guard<std::mutex> lock(mutex_);
      windowSizeRequest_ = WindowSize{index, static_cast<int>(value)};
      return 1;
    }
    default:
      return 0;
  }
}

}  // namespace vhost
