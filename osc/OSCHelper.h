// The per-instance OSC service: a UDP server on OSC base port + "OSC Port
// Offset" through which remote software sets, reads and subscribes to
// parameters and calls into the scripts (see docs/osc.md). Off while the
// offset is 0.
//
// Two threads: the receive thread owns the listening socket and handles
// every packet (OSCAddressSpace); the notify thread sends subscribers the
// changes that SetParamQueue collects from whoever changed a parameter.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "osc/Ipv4Endpoint.h"
#include "osc/NotifySignal.h"
#include "osc/OSCAddressSpace.h"
#include "osc/ParamChangeQueue.h"
#include "osc/ScriptPaths.h"
#include "osc/ServiceThread.h"
#include "osc/SubscriberMap.h"
#include "osc/WakeFd.h"
#include "scripting/OSCScriptBindings.h"

class QwkAuBase;

namespace QW {

class LuaMIDIHelper;
class UdpReceiver;

class OSCHelper : public OSCScriptBindings {
 public:
  // Largest datagram taken in; UDP carries no more.
  static constexpr size_t kDatagramBytes = 65536;
  // Buffer of one change notification; a subscriber address too long for
  // it gets no notifications.
  static constexpr size_t kNotificationBytes = 1024;

  OSCHelper(QwkAuBase* effect, LuaMIDIHelper* lua);
  ~OSCHelper() override;
  OSCHelper(const OSCHelper&) = delete;
  OSCHelper& operator=(const OSCHelper&) = delete;

  // Learns the effect's name and parameters, then has the Lua helper build
  // its state and run the scripts, which may register OSC paths here. Before
  // StartThreads.
  void Init();
  void StartThreads();
  // Makes the effect reachable through other instances' "/qwks/" addresses;
  // the effect calls it once it is completely built.
  void JoinInstances();
  // Stops both threads, waiting at most 5000 ms for each.
  void StopTask();

  // 0 turns the service off; a port outside 1..65535 does too. The receive
  // thread moves to the port asynchronously; several quick calls end in one
  // move to the last port.
  void SetPort(int32_t port);
  // The port asked for last (0: off).
  int32_t Port() const { return requestedPort_.load(); }
  // The port a socket is open on right now (0: none).
  int32_t BoundPort() const { return boundPort_.load(); }
  // Both make the receive thread leave its socket and open the requested
  // port again (or stay closed when it is 0).
  void SignalReceiverStop();
  void Wake();

  // Called for every parameter change, on any thread, the audio thread
  // included: never waits, never allocates, writes nothing. A change of a
  // parameter nobody subscribed to is ignored.
  void SetParamQueue(int32_t index, float value) noexcept;

  // One datagram, as the receive thread hands it over (public for the
  // fuzzer and tests that want no socket).
  void ProcessPacket(const char* data, size_t size, const Ipv4Endpoint& sender) noexcept;

  // OSCScriptBindings
  void RegisterOSCPathForParameter(lua_State* L, bool normalized) override;
  void RegisterOSCPathForFunction(lua_State* L) override;

 private:
  void taskMain();
  void serve(UdpReceiver& socket, uint64_t generation, char* buffer);
  void notifyMain();
  void notify(const Subscriber& subscriber, int32_t index, float value);
  // Whether a change made while a packet is handled only repeats what the
  // notify thread sent last for that parameter (our own notification come
  // back, for example from a subscription to this very port).
  bool isEcho(int32_t index, float value) const noexcept;
  void requestMove();

  QwkAuBase* effect_;
  LuaMIDIHelper* lua_;
  std::string displayName_;
  uint32_t parameterCount_ = 0;
  const ParamSpec* table_ = nullptr;

  SubscriberMap subscribers_;
  ScriptPaths paths_;
  OSCAddressSpace addressSpace_;
  ParamChangeQueue queue_;
  std::atomic<uint32_t> overflows_{0};
  // Per parameter: the value last notified, as its bits, with bit 32 set
  // once there is one.
  std::unique_ptr<std::atomic<uint64_t>[]> lastNotified_;

  std::atomic<int32_t> requestedPort_{0};
  std::atomic<int32_t> boundPort_{0};
  // Bumped by every request to move; the receive thread compares it with
  // the one it opened its socket for.
  std::atomic<uint64_t> generation_{0};
  std::atomic<bool> receiveQuit_{false};
  std::atomic<bool> notifyQuit_{false};
  WakeFd receiveWake_;
  NotifySignal notifyWake_;
  ServiceThread receiver_;
  ServiceThread notifier_;
};

}  // namespace QW
