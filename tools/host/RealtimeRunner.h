// Processing paced by the clock, the way an audio interface paces a host:
// one block every blockSize / rate seconds. Nothing is played; the point is
// that the plug-in runs as it would live, so its OSC server, timers and
// scripts can be tried from outside.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "tools/host/AudioFiles.h"
#include "tools/host/PluginInstance.h"
#include "tools/host/StopRequest.h"

namespace vhost {

struct RealtimePlan {
  int32_t blockSize = 512;
  double sampleRate = 44100.0;
  std::optional<int64_t> frames;  // stop after this many; none: until stopped
  // Set by another thread to end a run that plays in the background; a
  // signal still ends the run too.
  const std::atomic<bool>* halt = nullptr;
};

struct RealtimeResult {
  int64_t framesProcessed = 0;
  int64_t blocks = 0;
  // Blocks that started more than a block's time after they were due: an
  // audio interface would have dropped out there. The clock is then
  // restarted rather than caught up with a burst of blocks.
  int64_t lateBlocks = 0;
  int64_t inputPasses = 0;  // how many times the input file started playing
  float outputPeak = 0.0f;  // largest absolute output sample
  double wallSeconds = 0.0;
  int stopSignal = 0;  // the signal that ended the run, 0 when time ran out or halted
};

// The plug-in must be resumed and started. `input` may be null (silence);
// otherwise it is played in a loop.
RealtimeResult runRealtime(PluginInstance& plugin, AudioReader* input, const RealtimePlan& plan,
                           const StopRequest& stop);

}  // namespace vhost
