#include "osc/OSCHelper.h"

#include "scripting/LuaMIDIHelper.h"

namespace QW {

OSCHelper::OSCHelper(QwkAuBase* effect, LuaMIDIHelper* lua) : effect_(effect), lua_(lua) {}

OSCHelper::~OSCHelper() {
  StopTask();
}

void OSCHelper::Init() {
  if (lua_) lua_->Init();
}

void OSCHelper::StartThreads() {}

void OSCHelper::StopTask() {}

void OSCHelper::SetPort(int32_t port) {
  port_.store(port > 0 && port <= 65535 ? port : 0);
}

void OSCHelper::SignalReceiverStop() {}

void OSCHelper::Wake() {}

void OSCHelper::SetParamQueue(int32_t /*index*/, float /*value*/) {}

}  // namespace QW
