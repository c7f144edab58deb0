// The host side of the VST 2.4 conversation: what the plug-in may ask us
// through its callback, and a record of what it told us.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "core/VstAbi.h"

namespace vhost {

struct AutomationRecord {
  int32_t index;
  float value;
};

class HostContext {
 public:
  HostContext() = default;
  ~HostContext();
  HostContext(const HostContext&) = delete;
  HostContext& operator=(const HostContext&) = delete;

  // The function handed to the plug-in's entry point.
  static intptr_t callback(vst::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                           void* ptr, float opt);

  // Makes later callbacks from `effect` reach this context. Before that (the
  // entry point already calls back while it builds the effect) the context
  // registered with LoadingScope answers.
  void attach(vst::AEffect* effect);

  class LoadingScope {
   public:
    explicit LoadingScope(HostContext& context);
    ~LoadingScope();
    LoadingScope(const LoadingScope&) = delete;
    LoadingScope& operator=(const LoadingScope&) = delete;
  };

  void setSampleRate(double rate) { sampleRate_.store(rate); }
  double sampleRate() const { return sampleRate_.load(); }
  void setBlockSize(int32_t frames) { blockSize_.store(frames); }
  // The answer to audioMasterGetCurrentProcessLevel: offline while
  // rendering files, so plug-ins can follow the rendered time instead of
  // the wall clock; set before the plug-in is loaded, which may ask then.
  void setProcessLevel(int32_t level) { processLevel_.store(level); }
  int32_t blockSize() const { return blockSize_.load(); }

  std::vector<AutomationRecord> automation() const;
  int beginEdits() const { return beginEdits_.load(); }
  int endEdits() const { return endEdits_.load(); }
  int ioChanges() const { return ioChanges_.load(); }

  // Only a command that shows the plug-in's editor in a window of its own
  // can honour audioMasterSizeWindow, so only then is it answered with yes.
  // The size is taken by the thread that owns the window.
  void enableWindowSizing() { windowSizing_.store(true); }
  struct WindowSize {
    int width;
    int height;
  };
  std::optional<WindowSize> takeWindowSizeRequest();

  // The capability strings this host answers "yes" to.
  static bool hostCanDo(const char* capability);

 private:
  intptr_t handle(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

  std::atomic<double> sampleRate_{44100.0};
  std::atomic<int32_t> blockSize_{512};
  std::atomic<int32_t> processLevel_{vst::kVstProcessLevelUnknown};
  // Plug-ins may call back from their own threads (editor, network), so the
  // records are guarded.
  mutable std::mutex mutex_;
  std::vector<AutomationRecord> automation_;
  std::atomic<int> beginEdits_{0};
  std::atomic<int> endEdits_{0};
  std::atomic<int> ioChanges_{0};
  std::atomic<bool> windowSizing_{false};
  std::optional<WindowSize> windowSizeRequest_;  // guarded by mutex_
};

}  // namespace vhost
