// The scripting layer's entry for MIDI: takes the host's event lists into the
// effect's message queue and handles each message when the audio callback
// reaches its position.
#pragma once

#include <cstdint>

#include "core/MessageQueue.h"
#include "core/ParamSpec.h"
#include "core/VstAbi.h"

class QwkAuBase;

namespace QW {

class LuaMIDIHelper {
 public:
  LuaMIDIHelper(QwkAuBase* effect, MessageQueue* queue);
  virtual ~LuaMIDIHelper();
  LuaMIDIHelper(const LuaMIDIHelper&) = delete;
  LuaMIDIHelper& operator=(const LuaMIDIHelper&) = delete;

  void SetParameterTable(uint32_t count, const ParamSpec* table);
  // Builds the Lua state and loads the scripts.
  virtual void Init();
  // Copies the list into the queue; 1, or the system-exclusive write's answer.
  int32_t ProcessEvents(const vst::VstEvents* events);
  virtual void HandleMessage(const MessageQueueItem& item);

  virtual void SetGUIBoolValue(int32_t /*id*/, bool /*value*/) {}
  virtual bool GetGUIBoolValue(int32_t /*id*/) { return false; }

 protected:
  virtual void RegisterFunctions() {}

  QwkAuBase* effect_;
  MessageQueue* queue_;
  uint32_t paramCount_ = 0;
  const ParamSpec* paramTable_ = nullptr;
};

}  // namespace QW
