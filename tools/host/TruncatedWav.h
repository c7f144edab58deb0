// A WAV file cut short (a copy or download that stopped, a recorder that
// crashed) still opens, with only the frames that are there. Its header
// still says how many there should be, so the cut can be told to the user.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vhost {

struct Truncation {
  uint64_t promisedBytes;  // the data chunk's size in the header
  uint64_t presentBytes;   // what the file holds of it
};

// For a RIFF/WAVE file whose data chunk runs past the end of the file; none
// for any other file, a whole one, or one that cannot be read (the audio
// reader reports that). RF64 files keep their size elsewhere and are not
// checked.
std::optional<Truncation> findTruncatedWav(const std::string& path);

}  // namespace vhost
