// Per-channel sample buffers and the pointer arrays processReplacing takes.
// At least one channel always exists, so a plug-in without inputs or outputs
// still gets valid pointers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vhost {

class ChannelBuffers {
 public:
  ChannelBuffers(int channels, int32_t frames);

  float** pointers() { return pointers_.data(); }
  const float* channel(int index) const { return storage_[static_cast<size_t>(index)].data(); }
  void clear();

 private:
  std::vector<std::vector<float>> storage_;
  std::vector<float*> pointers_;
};

}  // namespace vhost
