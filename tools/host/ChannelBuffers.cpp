#include "tools/host/ChannelBuffers.h"

#include <algorithm>

namespace vhost {

ChannelBuffers::ChannelBuffers(int channels, int32_t frames)
    : storage_(static_cast<size_t>(std::max(channels, 1)),
               std::vector<float>(static_cast<size_t>(frames), 0.0f)) {
  for (auto& channel : storage_) pointers_.push_back(channel.data());
}

void ChannelBuffers::clear() {
  for (auto& channel : storage_) std::fill(channel.begin(), channel.end(), 0.0f);
}

}  // namespace vhost
