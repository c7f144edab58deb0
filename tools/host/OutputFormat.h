// Which file format `render` writes: the container follows the output's
// extension, the samples follow --format, and the size decides whether a
// WAV must become RF64 (a WAV's sizes are 32-bit, so past 4 GiB its header
// would wrap and readers would see only the first part).
#pragma once

#include <cstdint>
#include <string>

namespace vhost {

enum class SampleFormat { kDefault, kFloat, kPcm24, kPcm16 };

// "float", "24" or "16"; throws a usage error naming --format otherwise.
SampleFormat parseSampleFormat(const std::string& text);

struct OutputFormat {
  int format = 0;  // SF_FORMAT_* major | subtype
  std::string description;
  int bytesPerSample = 4;
  bool floating = true;       // samples beyond full scale are kept, not clipped
  bool floatPossible = true;  // whether --format float could keep them
};

// The largest data chunk written as a plain WAV or AIFF file: the 32-bit
// size fields, less room for the header chunks.
constexpr uint64_t kLargestClassicData = 0xFFFFFFFFull - (1u << 16);

// By OUT's extension and the sample format; throws a usage error for an
// unknown extension or a sample format the container cannot hold.
OutputFormat outputFormatFor(const std::string& path, SampleFormat sample = SampleFormat::kDefault);

// The format for `frames` frames of `channels` channels: a WAV that could
// pass the limit is written as RF64; an AIFF that would is refused (usage
// error), before any work is done.
OutputFormat outputFormatForSize(const OutputFormat& format, const std::string& path,
                                 int64_t frames, int channels);

}  // namespace vhost
