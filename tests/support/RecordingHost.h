// A host callback that records what an effect tells its host, for tests.
#pragma once

#include <cstdint>
#include <vector>

#include "core/VstAbi.h"

struct HostCall {
  int32_t opcode;
  int32_t index;
  intptr_t value;
  float opt;
};

class RecordingHost {
 public:
  RecordingHost();
  ~RecordingHost();

  // The callback to hand to an effect; calls reach the most recent host.
  static vst::HostCallback callback();

  int count(int32_t opcode) const;
  std::vector<HostCall> calls(int32_t opcode) const;
  void clear() { calls_.clear(); }

 private:
  static intptr_t dispatch(vst::AEffect*, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                           float opt);
  std::vector<HostCall> calls_;
};
