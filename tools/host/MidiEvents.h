// MIDI from a Standard MIDI File, placed on the audio timeline and handed to
// the plug-in block by block as VST events.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/VstAbi.h"

namespace vhost {

struct TimedMidiMessage {
  int64_t frame;  // sample position from the start of the audio
  std::vector<uint8_t> bytes;
};

// Channel messages and system exclusive, in time order; meta events are
// dropped. Throws HostError for a missing or malformed file.
std::vector<TimedMidiMessage> readMidiFile(const std::string& path, double sampleRate);
// The same for a file already in memory; `name` is what errors call it.
std::vector<TimedMidiMessage> parseMidiFile(const std::vector<uint8_t>& bytes,
                                            const std::string& name, double sampleRate);

// The events of one block, in the layout effProcessEvents expects. The
// plug-in may keep the pointers until the next process call returns, so a
// batch lives until the following block is built.
class EventBatch {
 public:
  void clear();
  void add(int32_t deltaFrames, const std::vector<uint8_t>& bytes);
  size_t size() const { return order_.size(); }
  vst::VstEvents* events();

 private:
  std::deque<vst::VstMidiEvent> midi_;  // deques keep addresses stable
  std::deque<vst::VstMidiSysexEvent> sysex_;
  std::deque<std::vector<char>> sysexData_;
  std::vector<vst::VstEvent*> order_;
  std::vector<intptr_t> storage_;
};

class MidiSchedule {
 public:
  explicit MidiSchedule(std::vector<TimedMidiMessage> messages);
  // Fills `batch` with the messages in [start, start + frames); returns how
  // many there are.
  size_t collect(int64_t start, int32_t frames, EventBatch& batch);
  size_t total() const { return messages_.size(); }
  size_t delivered() const { return delivered_; }

 private:
  std::vector<TimedMidiMessage> messages_;
  size_t next_ = 0;
  size_t delivered_ = 0;
};

}  // namespace vhost
