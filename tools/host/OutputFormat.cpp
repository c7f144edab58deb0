#include "tools/host/OutputFormat.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>

#include "tools/host/HostError.h"

namespace vhost {

namespace {

std::string extensionOf(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

OutputFormat withSamples(int container, const std::string& name, SampleFormat sample) {
  switch (sample) {
    case SampleFormat::kPcm24:
      return {container | SF_FORMAT_PCM_24, name + " 24-bit", 3, false};
    case SampleFormat::kPcm16:
      return {container | SF_FORMAT_PCM_16, name + " 16-bit", 2, false};
    default:
      return {container | SF_FORMAT_FLOAT, name + " 32-bit float", 4, true};
  }
}

}  // namespace

SampleFormat parseSampleFormat(const std::string& text) {
  if (text == "float") return SampleFormat::kFloat;
  if (text == "24") return SampleFormat::kPcm24;
  if (text == "16") return SampleFormat::kPcm16;
  throw usageError("--format takes float, 24 or 16, not '" + text + "'");
}

OutputFormat outputFormatFor(const std::string& path, SampleFormat sample) {
  const std::string extension = extensionOf(path);
  // Floating point keeps whatever level the plug-in produced; FLAC has no
  // float samples, so 24-bit is the closest.
  if (extension == "wav") return withSamples(SF_FORMAT_WAV, "WAV", sample);
  if (extension == "aif" || extension == "aiff") return withSamples(SF_FORMAT_AIFF, "AIFF", sample);
  if (extension == "flac") {
    if (sample == SampleFormat::kFloat)
      throw usageError("FLAC has no float samples: use --format 24 or 16 for " + path);
    OutputFormat flac = withSamples(
        SF_FORMAT_FLAC, "FLAC", sample == SampleFormat::kDefault ? SampleFormat::kPcm24 : sample);
    flac.floatPossible = false;
    return flac;
  }
  throw usageError("cannot tell the output format from '" + path +
                   "': use a .wav, .flac, .aif or .aiff name");
}

OutputFormat outputFormatForSize(const OutputFormat& format, const std::string& path,
                                 int64_t frames, int channels) {
  const uint64_t bytes = static_cast<uint64_t>(std::max<int64_t>(frames, 0)) *
                         static_cast<uint64_t>(std::max(channels, 0)) *
                         static_cast<uint64_t>(format.bytesPerSample);
  if (bytes <= kLargestClassicData) return format;
  const int container = format.format & SF_FORMAT_TYPEMASK;
  const int subtype = format.format & SF_FORMAT_SUBMASK;
  const std::string size = std::to_string(bytes / (1u << 20)) + " MiB";
  if (container == SF_FORMAT_WAV) {
    OutputFormat wide = format;
    wide.format = SF_FORMAT_RF64 | subtype;
    wide.description = "RF64" + format.description.substr(3);
    return wide;
  }
  if (container == SF_FORMAT_AIFF)
    throw usageError("an AIFF file cannot hold the " + size + " of audio " + path +
                     " would get (4 GiB at most): use a .wav name (written as RF64) or .flac");
  return format;
}

}  // namespace vhost
