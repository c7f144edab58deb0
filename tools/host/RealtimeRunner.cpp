#include "tools/host/RealtimeRunner.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "tools/host/ChannelBuffers.h"
#include "tools/host/ChannelRouting.h"
#include "tools/host/HostError.h"

namespace vhost {

namespace {

using Clock = std::chrono::steady_clock;

// Short enough that Ctrl-C feels immediate even with huge blocks.
constexpr auto kLongestSleep = std::chrono::milliseconds(20);

// Whatever may end the run early: a signal, or the thread that started it.
class StopCheck {
 public:
  StopCheck(const StopRequest& stop, const std::atomic<bool>* halt) : stop_(stop), halt_(halt) {}
  bool operator()() const { return stop_.requested() || (halt_ && halt_->load()); }

 private:
  const StopRequest& stop_;
  const std::atomic<bool>* halt_;
};

void sleepUntil(Clock::time_point when, const StopCheck& stopped) {
  while (!stopped()) {
    const auto now = Clock::now();
    if (now >= when) return;
    std::this_thread::sleep_for(std::min<Clock::duration>(when - now, kLongestSleep));
  }
}

Clock::duration framesToDuration(int64_t frames, double rate) {
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(static_cast<double>(frames) / rate));
}

// Fills `frames` interleaved frames from the file, starting it over as often
// as needed.
void readLooped(AudioReader& input, float* interleaved, int64_t frames, RealtimeResult& result) {
  int64_t filled = 0;
  bool rewound = false;
  while (filled < frames) {
    const int64_t got = input.read(interleaved + filled * input.channels(), frames - filled);
    // Nothing straight after a rewind would mean spinning forever.
    if (got == 0 && rewound) throw failure("the input file gave no frames when played again");
    filled += got;
    if (filled == frames) break;
    input.rewind();
    rewound = true;
    ++result.inputPasses;
  }
}

}  // namespace

RealtimeResult runRealtime(PluginInstance& plugin, AudioReader* input, const RealtimePlan& plan,
                           const StopRequest& stop) {
  const int32_t block = plan.blockSize;
  const int outputs = plugin.numOutputs();
  const int fileChannels = input ? input->channels() : 1;
  const ChannelRouting routing(fileChannels, plugin.numInputs());
  std::vector<float> fileFrames(static_cast<size_t>(block) * static_cast<size_t>(fileChannels));
  ChannelBuffers inputs(plugin.numInputs(), block);
  ChannelBuffers outputBuffers(outputs, block);

  const StopCheck stopped(stop, plan.halt);
  RealtimeResult result;
  if (input) result.inputPasses = 1;
  const auto started = Clock::now();
  const auto blockTime = framesToDuration(block, plan.sampleRate);
  // The clock's zero, moved forward after a dropout.
  auto origin = started;
  int64_t originFrame = 0;

  while (!stopped()) {
    const int64_t start = result.framesProcessed;
    if (plan.frames && start >= *plan.frames) break;
    const auto frames =
        static_cast<int32_t>(plan.frames ? std::min<int64_t>(block, *plan.frames - start) : block);

    const auto due = origin + framesToDuration(start - originFrame, plan.sampleRate);
    const auto now = Clock::now();
    if (now > due + blockTime) {
      ++result.lateBlocks;
      origin = now;
      originFrame = start;
    } else {
      sleepUntil(due, stopped);
      if (stopped()) break;
    }

    if (input) {
      readLooped(*input, fileFrames.data(), frames, result);
      routing.route(fileFrames.data(), frames, inputs.pointers(), block);
    } else {
      inputs.clear();  // in case the plug-in wrote into its inputs
    }
    outputBuffers.clear();
    plugin.processReplacing(inputs.pointers(), outputBuffers.pointers(), frames);
    for (int c = 0; c < outputs; ++c)
      for (int32_t f = 0; f < frames; ++f)
        result.outputPeak = std::max(result.outputPeak, std::fabs(outputBuffers.channel(c)[f]));

    result.framesProcessed += frames;
    ++result.blocks;
  }
  // The last block is heard only once its time has passed too.
  if (!stopped())
    sleepUntil(origin + framesToDuration(result.framesProcessed - originFrame, plan.sampleRate),
               stopped);
  result.stopSignal = stop.signal();
  result.wallSeconds = std::chrono::duration<double>(Clock::now() - started).count();
  return result;
}

}  // namespace vhost
