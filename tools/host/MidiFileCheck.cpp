#include "tools/host/MidiFileCheck.h"

#include <cstring>
#include <limits>

namespace vhost {

namespace {

constexpr size_t kChunkHeader = 8;
constexpr uint8_t kMeta = 0xFF;
constexpr uint8_t kSysex = 0xF0;
constexpr uint8_t kEndOfTrack = 0x2F;
constexpr uint8_t kTempo = 0x51;
constexpr uint8_t kTimeSignature = 0x58;
// libsmf reads a meta event's length as one byte, so a longer one (legal in
// the format) would be taken apart at the wrong places.
constexpr uint32_t kLongestMeta = 0x7F;

uint32_t bigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint16_t bigEndian16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// Walks one track's events, refusing anything that would make libsmf read
// beyond the track or disagree with the format about where an event ends.
class TrackCheck {
 public:
  TrackCheck(const uint8_t* data, size_t size, int number)
      : data_(data), size_(size), name_("track " + std::to_string(number)) {}

  std::string problem() {
    int64_t pulses = 0;
    uint8_t runningStatus = 0;
    while (position_ < size_) {
      uint32_t delta = 0;
      if (!readQuantity(delta)) return name_ + " has a broken delta time at byte " + at();
      pulses += delta;
      if (pulses > std::numeric_limits<int32_t>::max()) return name_ + " is too long";
      if (position_ >= size_) return name_ + " ends inside an event";

      uint8_t status = data_[position_];
      if (status & 0x80) {
        ++position_;
      } else if (runningStatus == 0) {
        return name_ + " has data without a status byte at byte " + at();
      } else {
        status = runningStatus;
      }

      if (status < kSysex) {
        runningStatus = status;
        const size_t dataBytes = (status & 0xE0) == 0xC0 ? 1 : 2;
        if (size_ - position_ < dataBytes) return name_ + " ends inside an event";
        for (size_t i = 0; i < dataBytes; ++i)
          if (data_[position_ + i] & 0x80)
            return name_ + " has a status byte inside a message at byte " + at();
        position_ += dataBytes;
        continue;
      }
      // System exclusive and meta events cancel running status.
      runningStatus = 0;
      if (status == kSysex) {
        uint32_t length = 0;
        if (!readQuantity(length) || size_ - position_ < length)
          return name_ + " has a system exclusive message longer than the track";
        position_ += length;
        continue;
      }
      if (status != kMeta)
        return name_ + " has a status byte a MIDI file cannot hold (0x" + hex(status) +
               ") at byte " + at();
      if (std::string problem = checkMeta(); !problem.empty()) return problem;
      if (ended_) return "";
    }
    return name_ + " has no End of Track event";
  }

 private:
  std::string checkMeta() {
    if (position_ >= size_) return name_ + " ends inside an event";
    const uint8_t type = data_[position_++];
    uint32_t length = 0;
    if (!readQuantity(length) || size_ - position_ < length)
      return name_ + " has a meta event longer than the track";
    if (length > kLongestMeta)
      return name_ + " has a meta event of " + std::to_string(length) +
             " bytes (at most 127 can be read)";
    const bool wrongLength = (type == kEndOfTrack && length != 0) ||
                             (type == kTempo && length != 3) ||
                             (type == kTimeSignature && length != 4);
    if (wrongLength) return name_ + " has a malformed meta event 0x" + hex(type);
    position_ += length;
    ended_ = type == kEndOfTrack;
    return "";
  }

  // A variable-length quantity of at most four bytes.
  bool readQuantity(uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      if (position_ >= size_) return false;
      const uint8_t byte = data_[position_++];
      value = (value << 7) | (byte & 0x7F);
      if (!(byte & 0x80)) return true;
    }
    return false;
  }

  std::string at() const { return std::to_string(position_); }
  static std::string hex(uint8_t byte) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[byte >> 4], kDigits[byte & 0xF]};
  }

  const uint8_t* data_;
  size_t size_;
  std::string name_;
  size_t position_ = 0;
  bool ended_ = false;
};

}  // namespace

std::string midiFileProblem(const uint8_t* data, size_t size) {
  if (size > kLargestMidiFile) return "the file is too large for a MIDI file";
  if (size < kChunkHeader || std::memcmp(data, "MThd", 4) != 0)
    return "it does not start with an MThd header";
  const uint32_t headerLength = bigEndian32(data + 4);
  if (headerLength != 6) return "its MThd header is not 6 bytes long";
  if (size < kChunkHeader + headerLength) return "the file is cut short inside its header";
  const uint16_t format = bigEndian16(data + 8);
  const uint16_t tracks = bigEndian16(data + 10);
  const uint16_t division = bigEndian16(data + 12);
  if (format > 1) return "MIDI file format " + std::to_string(format) + " is not supported";
  if (tracks == 0) return "it has no tracks";
  if (division & 0x8000) return "SMPTE time division is not supported";
  if (division == 0) return "its time division is 0";

  size_t offset = kChunkHeader + headerLength;
  for (int track = 1; track <= tracks; ++track) {
    const std::string name = "track " + std::to_string(track);
    if (size - offset < kChunkHeader) return name + " is missing: the file is cut short";
    if (std::memcmp(data + offset, "MTrk", 4) != 0)
      return name + " does not start with MTrk at byte " + std::to_string(offset);
    const uint32_t length = bigEndian32(data + offset + 4);
    offset += kChunkHeader;
    if (size - offset < length)
      return name + " is cut short: its chunk says " + std::to_string(length) + " bytes, " +
             std::to_string(size - offset) + " remain";
    if (std::string problem = TrackCheck(data + offset, length, track).problem(); !problem.empty())
      return problem;
    offset += length;
  }
  return "";
}

}  // namespace vhost
