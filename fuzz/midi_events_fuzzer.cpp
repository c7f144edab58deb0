// libFuzzer target: host event lists (MIDI, sysex and other events with any
// type, position and bytes) to effProcessEvents, each followed by audio. The
// built-in script maps controllers onto the settings, so they also drive the
// FFT size, script choice, gains and mix. Input: records of a kind byte and
// its fields; a kind byte from 0xF0 up ends a list and picks the block size.
#include <cstring>

#include "core/MessageQueue.h"
#include "fuzz/FuzzSupport.h"

namespace {

int32_t deltaFrames(fuzz::Bytes& in, int32_t block) {
  const uint8_t shape = in.byte() % 6;
  if (shape == 0) return 0;
  if (shape < 3) return static_cast<int32_t>(in.u16() % static_cast<uint32_t>(block + 1));
  if (shape == 3) return -static_cast<int32_t>(in.byte());
  return shape == 4 ? static_cast<int32_t>(in.u32()) : block + in.byte();
}

// One host event list: the events, their storage, and the VstEvents record
// with as many pointers as events.
class EventList {
 public:
  void add(fuzz::Bytes& in, uint8_t kind, int32_t block) {
    if (kind % 8 == 7) {
      pointers_.push_back(nullptr);
      return;
    }
    // Each record exactly its size, so reading past it is caught.
    const size_t bytes[] = {sizeof(vst::VstMidiEvent), sizeof(vst::VstMidiSysexEvent),
                            sizeof(vst::VstEvent)};
    storage_.emplace_back(new uint8_t[bytes[kind % 8 < 5 ? 0 : kind % 8 - 4]]());
    auto* event = reinterpret_cast<vst::VstEvent*>(storage_.back().get());
    pointers_.push_back(event);
    event->deltaFrames = deltaFrames(in, block);
    if (kind % 8 < 5) {
      auto& m = *reinterpret_cast<vst::VstMidiEvent*>(event);
      m.type = vst::kVstMidiType;
      m.byteSize = sizeof m;
      for (char& b : m.midiData) b = static_cast<char>(in.byte());
      if (kind % 8 < 3) m.midiData[0] = static_cast<char>(0xB0 | (m.midiData[0] & 0x0F));
    } else if (kind % 8 == 5) {
      auto& s = *reinterpret_cast<vst::VstMidiSysexEvent*>(event);
      s.type = vst::kVstSysExType;
      s.byteSize = sizeof s;
      const uint8_t shape = in.byte();
      const int32_t bytes = in.u16() % 1025;
      s.dumpBytes = shape % 8 == 0 ? -bytes : bytes;
      if (shape % 8 < 2 || bytes == 0) return;          // no dump at all
      dumps_.emplace_back(static_cast<size_t>(bytes));  // exactly dumpBytes, so one more is caught
      for (char& c : dumps_.back()) c = static_cast<char>(in.byte());
      if (shape & 0x10) dumps_.back()[0] = static_cast<char>(0xF0);
      s.sysexDump = dumps_.back().data();
    } else {
      // A host hands MIDI and sysex types only in records of their own layout.
      event->type = static_cast<int32_t>(in.u32());
      if (event->type == vst::kVstMidiType || event->type == vst::kVstSysExType) event->type += 100;
      event->byteSize = sizeof(vst::VstEvent);
      for (char& c : event->data) c = static_cast<char>(in.byte());
    }
  }
  size_t size() const { return pointers_.size(); }
  vst::VstEvents* events() {
    record_.assign(2 + std::max<size_t>(pointers_.size(), 1), 0);
    auto* list = reinterpret_cast<vst::VstEvents*>(record_.data());
    list->numEvents = static_cast<int32_t>(pointers_.size());
    std::memcpy(record_.data() + 2, pointers_.data(), pointers_.size() * sizeof(void*));
    return list;
  }

 private:
  std::vector<std::unique_ptr<uint8_t[]>> storage_;
  std::vector<std::vector<char>> dumps_;
  std::vector<vst::VstEvent*> pointers_;
  std::vector<intptr_t> record_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QwkTonalmire* effect = fuzz::makeEffect().release();
  vst::AEffect* e = effect->getAeffect();
  static const std::vector<uint8_t> base = [&] {
    void* chunk = nullptr;
    const intptr_t bytes = fuzz::dispatch(e, vst::effGetChunk, 0, 0, &chunk);
    return std::vector<uint8_t>(static_cast<uint8_t*>(chunk), static_cast<uint8_t*>(chunk) + bytes);
  }();
  // Back to the default settings with no message left waiting.
  for (int i = 0; i < 80 && !effect->messageQueue()->Empty(); ++i)
    fuzz::runAudio(e, 0, 0.0f, 4096, 4096, false);
  std::vector<uint8_t> copy = base;
  fuzz::dispatch(e, vst::effSetChunk, 0, static_cast<intptr_t>(copy.size()), copy.data());
  fuzz::dispatch(e, vst::effMainsChanged, 0, 1);

  static const int32_t kBlocks[] = {1, 2, 17, 32, 64, 127, 128, 256, 500, 512, 1024, 4096};
  fuzz::Bytes in(data, size);
  int32_t block = 64;
  uint32_t seed = 1;
  for (int list = 0; list < 24 && in.left() > 0; ++list) {
    EventList events;
    while (in.left() > 0 && events.size() < 96) {
      const uint8_t kind = in.byte();
      if (kind >= 0xF0) {
        block = kBlocks[kind % 12];
        break;
      }
      events.add(in, kind, block);
    }
    fuzz::dispatch(e, vst::effProcessEvents, 0, 0, events.events());
    fuzz::runAudio(e, seed++, 0.5f, block, block);
  }
  // Whatever is still queued is handled in the blocks that follow.
  fuzz::runAudio(e, seed, 0.5f, 4096, 8192);
  return 0;
}
