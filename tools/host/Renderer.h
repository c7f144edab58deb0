// The offline processing loop: file in, plug-in, file out, in host blocks.
#pragma once

#include <cstdint>

#include "tools/host/AudioFiles.h"
#include "tools/host/ChannelRouting.h"
#include "tools/host/MidiEvents.h"
#include "tools/host/PluginInstance.h"
#include "tools/host/ProgressBar.h"

namespace vhost {

struct RenderPlan {
  int32_t blockSize = 512;
  int64_t outputFrames = 0;  // frames written to the output
  int64_t skipFrames = 0;    // leading output frames dropped, for latency compensation
};

struct RenderResult {
  int64_t framesProcessed = 0;
  int64_t framesWritten = 0;
  double wallSeconds = 0.0;
};

// The plug-in must be resumed. The input runs out into silence, so the
// plug-in can be fed past the end of the file to flush its latency.
RenderResult renderOffline(PluginInstance& plugin, AudioReader& input, AudioWriter& output,
                           MidiSchedule& midi, const RenderPlan& plan, ProgressBar& progress);

}  // namespace vhost
