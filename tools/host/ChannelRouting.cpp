#include "tools/host/ChannelRouting.h"

#include <algorithm>

namespace vhost {

ChannelRouting::ChannelRouting(int fileChannels, int pluginInputs)
    : fileChannels_(fileChannels), pluginInputs_(pluginInputs) {}

void ChannelRouting::route(const float* interleaved, int64_t frames, float* const* inputs,
                           int64_t bufferFrames) const {
  const int channels = fileChannels_;
  for (int input = 0; input < pluginInputs_; ++input) {
    float* const out = inputs[input];
    if (channels == 1) {
      std::copy(interleaved, interleaved + frames, out);
    } else if (pluginInputs_ == 1) {
      const float scale = 1.0f / static_cast<float>(channels);
      for (int64_t f = 0; f < frames; ++f) {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c) sum += interleaved[f * channels + c];
        out[f] = sum * scale;
      }
    } else if (input < channels) {
      for (int64_t f = 0; f < frames; ++f) out[f] = interleaved[f * channels + input];
    } else {
      std::fill(out, out + frames, 0.0f);
    }
    std::fill(out + frames, out + bufferFrames, 0.0f);
  }
}

std::string ChannelRouting::describe() const {
  if (pluginInputs_ == 0) return "the plug-in has no inputs";
  if (fileChannels_ == 1)
    return pluginInputs_ == 1 ? "mono to mono" : "the mono channel feeds every input";
  if (pluginInputs_ == 1) return "channels mixed down to the mono input";
  if (pluginInputs_ > fileChannels_) return "channel i to input i, further inputs silent";
  if (pluginInputs_ < fileChannels_) return "channel i to input i, further channels unused";
  return "channel i to input i";
}

}  // namespace vhost
