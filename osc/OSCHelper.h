// The per-instance OSC service. The effect moves it between ports through
// "OSC Port Offset" and reports every parameter change to it.
#pragma once

#include <atomic>
#include <cstdint>

class QwkAuBase;

namespace QW {

class LuaMIDIHelper;

class OSCHelper {
 public:
  OSCHelper(QwkAuBase* effect, LuaMIDIHelper* lua);
  ~OSCHelper();
  OSCHelper(const OSCHelper&) = delete;
  OSCHelper& operator=(const OSCHelper&) = delete;

  // Has the Lua helper build its state and load the scripts.
  void Init();
  void StartThreads();
  // Stops both threads, waiting at most 5000 ms for each.
  void StopTask();

  // 0 turns the service off. A port outside 1..65535 is refused (off).
  void SetPort(int32_t port);
  int32_t Port() const { return port_.load(); }
  void SignalReceiverStop();
  void Wake();
  // Queues a changed parameter for the subscribers.
  void SetParamQueue(int32_t index, float value);

 private:
  QwkAuBase* effect_;
  LuaMIDIHelper* lua_;
  std::atomic<int32_t> port_{0};
};

}  // namespace QW
