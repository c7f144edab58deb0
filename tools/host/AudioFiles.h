// Audio files through libsndfile: a reader for the input and a writer that
// goes through an OutputFile, so only a finished file ever carries OUT's name.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/host/OutputFile.h"
#include "tools/host/OutputFormat.h"

namespace vhost {

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

class AudioReader {
 public:
  // Throws HostError for a missing, empty, unreadable or non-audio file.
  explicit AudioReader(const std::string& path);

  int64_t frames() const { return info_.frames; }
  int channels() const { return info_.channels; }
  int sampleRate() const { return info_.samplerate; }
  std::string formatName() const;

  // Interleaved; returns the frames read, 0 at the end.
  int64_t read(float* interleaved, int64_t frames);
  // Back to the first frame, for playing a file in a loop.
  void rewind();

 private:
  std::string path_;
  SF_INFO info_{};
  SndfileHandle file_;
};

class AudioWriter {
 public:
  // Checks the name and claims a temporary file next to it, so an unusable
  // output path is reported before any work is done.
  explicit AudioWriter(const std::string& path, SampleFormat sample = SampleFormat::kDefault);
  // `frames` is how many will be written: it decides between WAV and RF64.
  void open(int channels, int sampleRate, int64_t frames);

  const OutputFormat& format() const { return format_; }
  void write(const float* interleaved, int64_t frames);
  // Per channel, the samples written so far beyond full scale (above 1 or
  // below -1, or not a number): kept in a float format, clipped otherwise.
  const std::vector<int64_t>& overFullScale() const { return overFullScale_; }
  // Finishes the header and gives the file its name.
  void commit();

 private:
  OutputFormat format_;
  std::vector<int64_t> overFullScale_;
  OutputFile file_;
  SndfileHandle sndfile_;
};

}  // namespace vhost
