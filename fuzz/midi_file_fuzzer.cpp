// libFuzzer target: any bytes as a Standard MIDI File given to the host's
// `--midi` reader. A file is either refused with an error or read; reading
// must never touch memory outside the file nor trip libsmf's assertions.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/host/HostError.h"
#include "tools/host/MidiEvents.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so a read one byte past the file is caught.
  const std::vector<uint8_t> bytes(data, data + size);
  try {
    const auto messages = vhost::parseMidiFile(bytes, "fuzz.mid", 48000.0);
    for (const auto& message : messages)
      if (message.bytes.empty() || message.frame < 0) __builtin_trap();
  } catch (const vhost::HostError&) {
  }
  return 0;
}
