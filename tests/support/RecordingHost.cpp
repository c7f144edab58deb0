#include "support/RecordingHost.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {
RecordingHost* current = nullptr;

// No test may read or write the real user's preferences or scripts.
struct IsolatedUserFolders {
  IsolatedUserFolders() {
    char pattern[] = "/tmp/veldrana-tests-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) return;
    const std::string base(dir);
    setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (base + "/data").c_str(), 1);
  }
} isolatedUserFolders;
}  // namespace

RecordingHost::RecordingHost() {
  current = this;
}
RecordingHost::~RecordingHost() {
  if (current == this) current = nullptr;
}

vst::HostCallback RecordingHost::callback() {
  return &RecordingHost::dispatch;
}

intptr_t RecordingHost::dispatch(vst::AEffect*, int32_t opcode, int32_t index, intptr_t value,
                                 void*, float opt) {
  if (current) current->calls_.push_back({opcode, index, value, opt});
  if (opcode == vst::audioMasterVersion) return 2400;
  return 0;
}

int RecordingHost::count(int32_t opcode) const {
  int n = 0;
  for (const HostCall& c : calls_) n += c.opcode == opcode;
  return n;
}

std::vector<HostCall> RecordingHost::calls(int32_t opcode) const {
  std::vector<HostCall> out;
  for (const HostCall& c : calls_)
    if (c.opcode == opcode) out.push_back(c);
  return out;
}
