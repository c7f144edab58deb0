// What the OSC service does with each packet: the fixed commands and their
// replies, the addresses scripts registered, the multi-instance "/qwks/"
// addresses, bundles and touch frames. Runs on the receive thread.
//
// A fault in a message is logged ("error while parsing message: ") and
// the message dropped; a fault in the packet around it (a truncated or
// malformed bundle) is logged and the packet dropped. Nothing is ever
// answered to a faulty message, and nothing a packet contains stops the
// service.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/ParamSpec.h"
#include "osc/Ipv4Endpoint.h"
#include "osc/OscReceivedElements.h"

class QwkAuBase;

namespace osc {
class OutboundPacketStream;
}

namespace QW {

class LuaMIDIHelper;
class ScriptPaths;
class SubscriberMap;

class OSCAddressSpace {
 public:
  // Deeper bundles are refused: the walk is recursive and the packet comes
  // from the network.
  static constexpr int kMaxBundleDepth = 32;
  static constexpr size_t kReplyBytes = 8192;

  struct Effect {
    QwkAuBase* effect = nullptr;
    LuaMIDIHelper* lua = nullptr;  // may be null: no Lua commands then
    const char* displayName = "";
    uint32_t parameterCount = 0;
    const ParamSpec* table = nullptr;
  };

  OSCAddressSpace(SubscriberMap& subscribers, ScriptPaths& paths);
  virtual ~OSCAddressSpace() = default;
  OSCAddressSpace(const OSCAddressSpace&) = delete;
  OSCAddressSpace& operator=(const OSCAddressSpace&) = delete;

  // Before the first packet.
  void Attach(const Effect& effect) { effect_ = effect; }
  // The port the service listens on, for "/ping" (0: none).
  void SetListeningPort(int32_t port) { listeningPort_.store(port); }

  // One datagram. Never throws.
  void ProcessPacket(const char* data, size_t size, const Ipv4Endpoint& sender) noexcept;

 protected:
  // All parameters are in use in this product.
  virtual bool IsParameterUsed(int32_t /*index*/) { return true; }
  virtual void OnUnhandledAddress(const char* /*address*/, const osc::ReceivedMessage& /*message*/,
                                  const Ipv4Endpoint& /*sender*/) {}

 private:
  using Command = void (OSCAddressSpace::*)(const osc::ReceivedMessage&, const Ipv4Endpoint&);
  struct FixedCommand {
    const char* address;
    Command handler;
  };
  static const FixedCommand kFixedCommands[];

  void processBundle(const osc::ReceivedBundle& bundle, const Ipv4Endpoint& sender, int depth);
  void processTouchFrame(const osc::ReceivedBundle& bundle);
  void processMessage(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);
  void dispatch(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);

  void handleQwks(const osc::ReceivedMessage& message);
  bool handleParameterPath(const osc::ReceivedMessage& message);
  bool handleFunctionPath(const osc::ReceivedMessage& message);

  void ping(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);
  void set(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);
  void get(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);
  void getAll(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);
  void getAllRegistered(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);
  void getNumParameters(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);
  void isParameterUsed(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);
  void getInfo(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);
  void registerUpdate(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);
  void unregisterUpdate(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);
  void exec(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);
  void call(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);
  void startNote(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);
  void stopNote(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender);

  bool inRange(int32_t index) const {
    return index >= 0 && static_cast<uint32_t>(index) < effect_.parameterCount;
  }
  float valueOf(int32_t index) const;
  LuaMIDIHelper& requireLua() const;
  // Resolves url; logs one line and answers false when it is not usable.
  static bool resolve(const char* url, Ipv4Endpoint& endpoint);
  // resolve, for a message to be sent at address, which must be a valid OSC
  // address (beginning with '/'); logs and refuses anything else.
  static bool resolve(const char* url, const char* address, Ipv4Endpoint& endpoint);
  static void send(const Ipv4Endpoint& to, const osc::OutboundPacketStream& packet);
  // Sends one message to the reply URL at the reply address, its arguments
  // written by args(packet); nothing goes out for an unusable URL.
  template <typename Arguments>
  static void reply(const char* url, const char* replyAddress, Arguments&& args);

  SubscriberMap& subscribers_;
  ScriptPaths& paths_;
  Effect effect_;
  std::atomic<int32_t> listeningPort_{0};
};

}  // namespace QW
