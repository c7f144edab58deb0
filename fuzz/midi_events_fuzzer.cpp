// libFuzzer target: the input as a run of host event lists (MIDI and sysex
// events with any type, position and bytes) handed to effProcessEvents, each
// followed by processReplacing with a block size from the input. The
// built-in script maps controllers onto the effect's settings, so controller
// messages also drive the FFT size, script choice, gains and mix.
//
// Input: records of one kind byte and its fields; a kind byte that ends a
// list carries the block size.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "core/MessageQueue.h"
#include "fuzz/FuzzSupport.h"

namespace {

constexpr int kMaxEventsPerList = 96;
constexpr int32_t kMaxSysexBytes = 1024;
constexpr int kMaxLists = 24;

intptr_t dispatch(vst::AEffect* e, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                  void* ptr = nullptr, float opt = 0.0f) {
  return e->dispatcher(e, opcode, index, value, ptr, opt);
}

struct Fixture {
  std::unique_ptr<QwkTonalmire> effect = fuzz::makeEffect();
  vst::AEffect* e = effect->getAeffect();
  std::vector<uint8_t> base = [this] {
    void* data = nullptr;
    const intptr_t size = dispatch(e, vst::effGetChunk, 0, 0, &data);
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
  }();
  fuzz::AudioRun audio{e};

  // Back to the default settings with no message left waiting.
  void restart() {
    for (int i = 0; i < 80 && !effect->messageQueue()->Empty(); ++i)
      audio.run(0, 0.0f, 4096, 4096, false);
    std::vector<uint8_t> copy = base;
    dispatch(e, vst::effSetChunk, 0, static_cast<intptr_t>(copy.size()), copy.data());
  }
};

Fixture& fixture() {
  static Fixture* f = new Fixture;  // kept to the end: the OSC threads run until exit
  return *f;
}

int32_t deltaFrames(fuzz::Bytes& in, int32_t block) {
  switch (in.byte() % 6) {
    case 0:
      return 0;
    case 1:
    case 2:
      return static_cast<int32_t>(in.u16() % static_cast<uint32_t>(block + 1));
    case 3:
      return -static_cast<int32_t>(in.byte());
    case 4:
      return in.i32();
    default:
      return block + in.byte();
  }
}

// One host event list: the events, their storage and the VstEvents record
// with as many pointers as events.
class EventList {
 public:
  void addMidi(fuzz::Bytes& in, int32_t block, bool controller) {
    auto& m = *static_cast<vst::VstMidiEvent*>(slot(sizeof(vst::VstMidiEvent)));
    m.type = vst::kVstMidiType;
    m.byteSize = sizeof(vst::VstMidiEvent);
    m.deltaFrames = deltaFrames(in, block);
    m.midiData[0] = static_cast<char>(controller ? 0xB0 | (in.byte() & 0x0F) : in.byte());
    m.midiData[1] = static_cast<char>(in.byte());
    m.midiData[2] = static_cast<char>(in.byte());
    m.midiData[3] = static_cast<char>(in.byte());
  }

  void addSysex(fuzz::Bytes& in, int32_t block) {
    auto& s = *static_cast<vst::VstMidiSysexEvent*>(slot(sizeof(vst::VstMidiSysexEvent)));
    s.type = vst::kVstSysExType;
    s.byteSize = sizeof(vst::VstMidiSysexEvent);
    s.deltaFrames = deltaFrames(in, block);
    const uint8_t shape = in.byte();
    int32_t bytes = static_cast<int32_t>(in.u16() % (kMaxSysexBytes + 1));
    if (shape % 8 == 0) bytes = -bytes;
    s.dumpBytes = bytes;
    if (shape % 8 == 1 || bytes <= 0) {
      s.sysexDump = nullptr;
      return;
    }
    // Exactly dumpBytes bytes, so reading one more is caught.
    dumps_.emplace_back(static_cast<size_t>(bytes));
    std::vector<char>& dump = dumps_.back();
    for (char& c : dump) c = static_cast<char>(in.byte());
    if (shape & 0x10) dump[0] = static_cast<char>(0xF0);
    s.sysexDump = dump.data();
  }

  void addOther(fuzz::Bytes& in, int32_t block) {
    auto& ev = *static_cast<vst::VstEvent*>(slot(sizeof(vst::VstEvent)));
    ev.type = in.i32();
    // A host hands MIDI and sysex types only in records of their own layout.
    if (ev.type == vst::kVstMidiType || ev.type == vst::kVstSysExType) ev.type += 100;
    ev.byteSize = sizeof(vst::VstEvent);
    ev.deltaFrames = deltaFrames(in, block);
    for (char& c : ev.data) c = static_cast<char>(in.byte());
  }

  void addNull() { pointers_.push_back(nullptr); }

  size_t size() const { return pointers_.size(); }

  vst::VstEvents* events() {
    // The record ends in as many pointers as there are events.
    const size_t words = 2 + (pointers_.empty() ? 1 : pointers_.size());
    record_.assign(words, 0);
    auto* list = reinterpret_cast<vst::VstEvents*>(record_.data());
    list->numEvents = static_cast<int32_t>(pointers_.size());
    std::memcpy(record_.data() + 2, pointers_.data(), pointers_.size() * sizeof(void*));
    return list;
  }

 private:
  void* slot(size_t bytes) {
    storage_.emplace_back(new uint8_t[bytes]());
    pointers_.push_back(reinterpret_cast<vst::VstEvent*>(storage_.back().get()));
    return storage_.back().get();
  }

  std::vector<std::unique_ptr<uint8_t[]>> storage_;
  std::vector<std::vector<char>> dumps_;
  std::vector<vst::VstEvent*> pointers_;
  std::vector<intptr_t> record_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fixture& f = fixture();
  vst::AEffect* e = f.e;
  f.restart();
  dispatch(e, vst::effMainsChanged, 0, 1);

  static const int32_t kBlocks[] = {1, 2, 17, 32, 64, 127, 128, 256, 500, 512, 1024, 4096};
  fuzz::Bytes in(data, size);
  int32_t block = 64;
  uint32_t seed = 1;
  for (int list = 0; list < kMaxLists && in.left() > 0; ++list) {
    EventList events;
    while (in.left() > 0 && events.size() < kMaxEventsPerList) {
      const uint8_t kind = in.byte();
      if (kind >= 0xF0) {  // end of list: the rest of the byte picks the block
        block = kBlocks[kind % 12];
        break;
      }
      switch (kind % 8) {
        case 0:
        case 1:
        case 2:
          events.addMidi(in, block, true);
          break;
        case 3:
        case 4:
          events.addMidi(in, block, false);
          break;
        case 5:
          events.addSysex(in, block);
          break;
        case 6:
          events.addOther(in, block);
          break;
        default:
          events.addNull();
          break;
      }
    }
    dispatch(e, vst::effProcessEvents, 0, 0, events.events());
    f.audio.run(seed++, 0.5f, block, block, true);
  }
  // Whatever is still queued is handled in the blocks that follow.
  f.audio.run(seed, 0.5f, 4096, 8192, true);
  return 0;
}
