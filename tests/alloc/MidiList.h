// A host event list of short MIDI messages, made before counting starts so
// that filling and sending it costs the counted code nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/VstAbi.h"

namespace alloc_test {

struct MidiList {
  explicit MidiList(size_t count)
      : events(count), storage(sizeof(vst::VstEvents) + count * sizeof(void*)) {
    list = reinterpret_cast<vst::VstEvents*>(storage.data());
    list->numEvents = static_cast<int32_t>(count);
    for (size_t i = 0; i < count; ++i) {
      events[i].type = vst::kVstMidiType;
      events[i].byteSize = sizeof(vst::VstMidiEvent);
      list->events[i] = reinterpret_cast<vst::VstEvent*>(&events[i]);
    }
  }
  void set(size_t i, uint8_t status, uint8_t d1, uint8_t d2, int32_t delta) {
    events[i].midiData[0] = static_cast<char>(status);
    events[i].midiData[1] = static_cast<char>(d1);
    events[i].midiData[2] = static_cast<char>(d2);
    events[i].deltaFrames = delta;
  }
  std::vector<vst::VstMidiEvent> events;
  std::vector<unsigned char> storage;
  vst::VstEvents* list = nullptr;
};

}  // namespace alloc_test
