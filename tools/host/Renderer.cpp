#include "tools/host/Renderer.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "tools/host/ChannelBuffers.h"

namespace vhost {

RenderResult renderOffline(PluginInstance& plugin, AudioReader& input, AudioWriter& output,
                           MidiSchedule& midi, const RenderPlan& plan, ProgressBar& progress) {
  const auto started = std::chrono::steady_clock::now();
  const int32_t block = plan.blockSize;
  const int fileChannels = input.channels();
  const int outputs = plugin.numOutputs();
  const ChannelRouting routing(fileChannels, plugin.numInputs());

  std::vector<float> fileFrames(static_cast<size_t>(block) * static_cast<size_t>(fileChannels));
  std::vector<float> outFrames(static_cast<size_t>(block) * static_cast<size_t>(outputs));
  ChannelBuffers inputs(plugin.numInputs(), block);
  ChannelBuffers outputBuffers(outputs, block);
  EventBatch events;
  bool inputEnded = false;

  const int64_t total = plan.outputFrames + plan.skipFrames;
  RenderResult result;
  while (result.framesProcessed < total) {
    const int64_t start = result.framesProcessed;
    const auto frames = static_cast<int32_t>(std::min<int64_t>(block, total - start));

    int64_t got = 0;
    if (!inputEnded) {
      got = input.read(fileFrames.data(), frames);
      inputEnded = got < frames;
    }
    routing.route(fileFrames.data(), got, inputs.pointers(), block);

    if (midi.collect(start, frames, events) > 0) plugin.processEvents(events.events());
    outputBuffers.clear();
    plugin.processReplacing(inputs.pointers(), outputBuffers.pointers(), frames);

    const int64_t first = std::max<int64_t>(0, plan.skipFrames - start);
    const int64_t count = frames - first;
    if (count > 0) {
      for (int64_t f = 0; f < count; ++f)
        for (int c = 0; c < outputs; ++c)
          outFrames[static_cast<size_t>(f * outputs + c)] = outputBuffers.channel(c)[first + f];
      output.write(outFrames.data(), count);
      result.framesWritten += count;
    }
    result.framesProcessed += frames;
    progress.update(result.framesProcessed);
  }
  progress.finish();
  result.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return result;
}

}  // namespace vhost
