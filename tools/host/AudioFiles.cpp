#include "tools/host/AudioFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "tools/host/HostError.h"
#include "tools/host/Wording.h"

namespace vhost {

AudioReader::AudioReader(const std::string& path) : path_(path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0)
    throw failure("cannot read " + path + ": " + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) throw failure("cannot read " + path + ": it is a directory");
  if (st.st_size == 0) throw failure("cannot read " + path + ": the file is empty");

  file_.reset(sf_open(path.c_str(), SFM_READ, &info_));
  if (!file_) throw failure("cannot read " + path + " as audio: " + sf_strerror(nullptr));
  if (info_.frames <= 0) throw failure(path + " contains no audio frames");
  if (info_.channels <= 0 || info_.samplerate <= 0)
    throw failure(path + " has an invalid channel count or sample rate");
}

std::string AudioReader::formatName() const {
  SF_FORMAT_INFO format{};
  format.format = info_.format & SF_FORMAT_TYPEMASK;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &format, sizeof format) != 0 || !format.name)
    return "audio";
  return format.name;
}

int64_t AudioReader::read(float* interleaved, int64_t frames) {
  const sf_count_t got = sf_readf_float(file_.get(), interleaved, frames);
  if (got < 0) throw failure("cannot read " + path_ + ": " + sf_strerror(file_.get()));
  return got;
}

void AudioReader::rewind() {
  if (sf_seek(file_.get(), 0, SEEK_SET) != 0)
    throw failure("cannot go back to the start of " + path_ + ": " + sf_strerror(file_.get()));
}

AudioWriter::AudioWriter(const std::string& path, SampleFormat sample)
    : format_(outputFormatFor(path, sample)), file_(path) {}

void AudioWriter::open(int channels, int sampleRate, int64_t frames) {
  const std::string& path = file_.target();
  format_ = outputFormatForSize(format_, path, frames, channels);
  overFullScale_.assign(static_cast<size_t>(std::max(channels, 0)), 0);
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = sampleRate;
  info.format = format_.format;
  if (!sf_format_check(&info))
    throw failure("cannot write " + path + ": " + format_.description + " cannot hold " +
                  counted(channels, "channel") + " at " + std::to_string(sampleRate) + " Hz");
  sndfile_.reset(sf_open_fd(file_.fd(), SFM_WRITE, &info, SF_FALSE));
  if (!sndfile_) throw failure("cannot write " + path + ": " + sf_strerror(nullptr));
  // Integer formats wrap around on overs unless told to clip.
  sf_command(sndfile_.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

void AudioWriter::write(const float* interleaved, int64_t frames) {
  const size_t channels = overFullScale_.size();
  for (int64_t f = 0; f < frames; ++f)
    for (size_t c = 0; c < channels; ++c)
      if (!(std::fabs(interleaved[static_cast<size_t>(f) * channels + c]) <= 1.0f))
        ++overFullScale_[c];
  if (sf_writef_float(sndfile_.get(), interleaved, frames) != frames)
    throw failure("cannot write " + file_.target() + ": " + sf_strerror(sndfile_.get()));
}

void AudioWriter::commit() {
  const int error = sf_close(sndfile_.release());
  if (error != 0) throw failure("cannot write " + file_.target() + ": " + sf_error_number(error));
  file_.commit();
}

}  // namespace vhost
