// How a file's channels reach the plug-in's inputs:
//  - a mono file feeds every input;
//  - a file with more channels than a mono plug-in is mixed down to it;
//  - otherwise file channel i feeds input i, extra inputs (side chains)
//    get silence and extra file channels are left out.
#pragma once

#include <cstdint>
#include <string>

namespace vhost {

class ChannelRouting {
 public:
  ChannelRouting(int fileChannels, int pluginInputs);

  // Deinterleaves `frames` frames into the plug-in's input buffers and
  // zeroes the rest of each buffer up to `bufferFrames`.
  void route(const float* interleaved, int64_t frames, float* const* inputs,
             int64_t bufferFrames) const;
  std::string describe() const;

 private:
  int fileChannels_;
  int pluginInputs_;
};

}  // namespace vhost
