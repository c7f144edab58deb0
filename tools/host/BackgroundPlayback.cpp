#include "tools/host/BackgroundPlayback.h"

#include <utility>

namespace vhost {

BackgroundPlayback::BackgroundPlayback(PluginInstance& plugin, AudioReader& input,
                                       int32_t blockSize, const StopRequest& stop)
    : plugin_(plugin) {
  // A plug-in may take a new rate or block size only while it is off, and
  // whatever it was told when it was opened, the file's rate is what it
  // will hear.
  plugin_.suspend();
  plugin_.setSampleRate(input.sampleRate());
  plugin_.setBlockSize(blockSize);
  plugin_.resume();
  plugin_.startProcess();

  RealtimePlan plan;
  plan.blockSize = blockSize;
  plan.sampleRate = input.sampleRate();
  plan.halt = &halt_;
  thread_ = std::thread([this, &input, plan, &stop] { play(input, plan, stop); });
}

BackgroundPlayback::~BackgroundPlayback() {
  join();
}

void BackgroundPlayback::play(AudioReader& input, const RealtimePlan& plan,
                              const StopRequest& stop) {
  try {
    result_ = runRealtime(plugin_, &input, plan, stop);
  } catch (...) {
    error_ = std::current_exception();
  }
  ended_.store(true);
}

void BackgroundPlayback::join() {
  if (!thread_.joinable()) return;
  halt_.store(true);
  thread_.join();
  // Only with no audio thread left may the plug-in be switched off.
  plugin_.stopProcess();
  plugin_.suspend();
}

RealtimeResult BackgroundPlayback::finish() {
  join();
  if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
  return result_;
}

}  // namespace vhost
