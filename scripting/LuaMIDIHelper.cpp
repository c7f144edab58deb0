#include "scripting/LuaMIDIHelper.h"

namespace QW {

LuaMIDIHelper::LuaMIDIHelper(QwkAuBase* effect, MessageQueue* queue)
    : effect_(effect), queue_(queue) {}

LuaMIDIHelper::~LuaMIDIHelper() = default;

void LuaMIDIHelper::SetParameterTable(uint32_t count, const ParamSpec* table) {
  paramCount_ = count;
  paramTable_ = table;
}

void LuaMIDIHelper::Init() {}

int32_t LuaMIDIHelper::ProcessEvents(const vst::VstEvents* events) {
  if (!events || !queue_) return 1;
  for (int32_t i = 0; i < events->numEvents; ++i) {
    const vst::VstEvent* event = events->events[i];
    if (!event) continue;
    if (event->type == vst::kVstMidiType) {
      const auto* midi = reinterpret_cast<const vst::VstMidiEvent*>(event);
      const auto status = static_cast<uint8_t>(midi->midiData[0]);
      queue_->Write(status & 0xF0, status & 0x0F, static_cast<uint8_t>(midi->midiData[1]) & 0x7F,
                    static_cast<uint8_t>(midi->midiData[2]) & 0x7F, midi->deltaFrames);
    } else if (event->type == vst::kVstSysExType) {
      // The leading 0xF0 is not stored; the rest of the list is not looked at.
      const auto* sysex = reinterpret_cast<const vst::VstMidiSysexEvent*>(event);
      const int32_t length = sysex->sysexDump && sysex->dumpBytes > 1 ? sysex->dumpBytes - 1 : 0;
      const auto* bytes = reinterpret_cast<const uint8_t*>(sysex->sysexDump);
      return queue_->WriteSysEx(length > 0 ? bytes + 1 : nullptr, length) ? 1 : 0;
    }
  }
  return 1;
}

void LuaMIDIHelper::HandleMessage(const MessageQueueItem& /*item*/) {}

}  // namespace QW
