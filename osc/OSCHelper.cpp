#include "osc/OSCHelper.h"

#include <poll.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "core/AudioUnitTypes.h"
#include "core/GlobalSettings.h"
#include "core/QwkAuBase.h"
#include "osc/OscException.h"
#include "osc/OscInstanceDirectory.h"
#include "osc/OscLog.h"
#include "osc/OscOutboundPacketStream.h"
#include "osc/UdpReceiver.h"
#include "osc/UdpSender.h"
#include "scripting/LuaMIDIHelper.h"

namespace QW {
namespace {
// Datagrams handled in a row before the receive thread looks at its wake-up
// descriptor again, so a flood cannot keep it from moving or stopping.
constexpr int kDatagramsPerWake = 64;

constexpr uint64_t kNotified = uint64_t{1} << 32;

uint64_t notifiedBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return kNotified | bits;
}

// The service whose packet this thread is handling, if any.
thread_local const OSCHelper* handlingPacketOf = nullptr;

class PacketScope {
 public:
  explicit PacketScope(const OSCHelper* service) : previous_(handlingPacketOf) {
    handlingPacketOf = service;
  }
  ~PacketScope() { handlingPacketOf = previous_; }
  PacketScope(const PacketScope&) = delete;
  PacketScope& operator=(const PacketScope&) = delete;

 private:
  const OSCHelper* previous_;
};
}  // namespace

OSCHelper::OSCHelper(QwkAuBase* effect, LuaMIDIHelper* lua)
    : effect_(effect), lua_(lua), addressSpace_(subscribers_, paths_) {}

OSCHelper::~OSCHelper() {
  StopTask();
  OscInstanceDirectory::instance().Leave(effect_);
}

void OSCHelper::Init() {
  const char* name = nullptr;
  if (effect_ &&
      effect_->GetProperty(kQwkProperty_ServiceDisplayName, 0, 0, &name) == kAudioUnitNoErr && name)
    displayName_ = name;
  uint32_t count = 0;
  const ParamSpec* table = nullptr;
  if (effect_) {
    effect_->GetProperty(kQwkProperty_ParameterCount, 0, 0, &count);
    effect_->GetProperty(kQwkProperty_ParameterTable, 0, 0, &table);
  }
  parameterCount_ = table ? count : 0;
  table_ = table;
  subscribers_.Reset(parameterCount_);
  lastNotified_ = std::make_unique<std::atomic<uint64_t>[]>(parameterCount_);
  for (uint32_t i = 0; i < parameterCount_; ++i) lastNotified_[i].store(0);
  addressSpace_.Attach(
      OSCAddressSpace::Effect{effect_, lua_, displayName_.c_str(), parameterCount_, table_});
  if (lua_) {
    // Scripts register their OSC paths while they load.
    lua_->SetOSCService(this);
    lua_->Init();
  }
}

void OSCHelper::StartThreads() {
  if (receiver_.Running()) {
    std::printf("Warning: Attempt to recreate OSC task\n");
    std::fflush(stdout);
    return;
  }
  if (!receiveWake_.valid()) {
    OscLog("failed to create OSC thread: %d\n", 0);
    return;
  }
  receiveQuit_ = false;
  notifyQuit_ = false;
  try {
    receiver_.Start([this] { taskMain(); });
  } catch (const std::system_error& e) {
    OscLog("failed to create OSC thread: %d\n", e.code().value());
    return;
  }
  try {
    notifier_.Start([this] { notifyMain(); });
  } catch (const std::system_error& e) {
    OscLog("failed to create OSC notify thread: %d\n", e.code().value());
  }
}

void OSCHelper::JoinInstances() {
  if (receiver_.Running()) OscInstanceDirectory::instance().Join(effect_);
}

void OSCHelper::StopTask() {
  if (!receiver_.Running() && !notifier_.Running()) return;
  // Other instances' "/qwks/" messages stop reaching this effect first.
  OscInstanceDirectory::instance().Leave(effect_);
  receiveQuit_ = true;
  receiveWake_.Signal();
  notifyQuit_ = true;
  notifyWake_.Kick();
  if (!receiver_.JoinWithin(ServiceThread::kStopLimit))
    OscLog("OSC thread did not end within 5000 ms; left detached\n");
  if (!notifier_.JoinWithin(ServiceThread::kStopLimit))
    OscLog("OSC notify thread did not end within 5000 ms; left detached\n");
}

void OSCHelper::SetPort(int32_t port) {
  requestedPort_.store(port > 0 && port <= 65535 ? port : 0);
  requestMove();
}

void OSCHelper::SignalReceiverStop() {
  requestMove();
}

void OSCHelper::Wake() {
  requestMove();
}

void OSCHelper::requestMove() {
  generation_.fetch_add(1);
  receiveWake_.Signal();
}

void OSCHelper::ProcessPacket(const char* data, size_t size, const Ipv4Endpoint& sender) noexcept {
  const PacketScope scope(this);
  addressSpace_.ProcessPacket(data, size, sender);
}

bool OSCHelper::isEcho(int32_t index, float value) const noexcept {
  return handlingPacketOf == this &&
         lastNotified_[index].load(std::memory_order_relaxed) == notifiedBits(value);
}

void OSCHelper::SetParamQueue(int32_t index, float value) noexcept {
  if (!subscribers_.IsSubscribed(index)) return;
  // Sending an echo on would answer it with the same notification again,
  // for ever: a subscription to our own "/set" loops, two instances
  // subscribed to each other ping-pong.
  if (isEcho(index, value)) return;
  // The overflow line is written by the notify thread: this may be the
  // audio thread, which must not do I/O.
  if (!queue_.TryPush(ParamChangeQueue::Change{index, value}))
    overflows_.fetch_add(1, std::memory_order_relaxed);
  notifyWake_.Set();
}

void OSCHelper::RegisterOSCPathForParameter(lua_State* L, bool normalized) {
  paths_.RegisterParameterPath(L, normalized, table_);
}

void OSCHelper::RegisterOSCPathForFunction(lua_State* L) {
  paths_.RegisterFunctionPath(L);
}

void OSCHelper::taskMain() {
  const auto buffer = std::make_unique<char[]>(kDatagramBytes);
  uint64_t handled = 0;
  pollfd wake{receiveWake_.fd(), POLLIN, 0};
  for (;;) {
    while (!receiveQuit_ && generation_.load() == handled) {
      poll(&wake, 1, -1);
      receiveWake_.Drain();
    }
    if (receiveQuit_) return;
    // Read after the wake-up: several quick moves end in one re-open.
    handled = generation_.load();
    const int32_t port = requestedPort_.load();
    if (port == 0) continue;
    try {
      UdpReceiver socket(port, GlobalSettings::oscOpenToNetwork.load());
      boundPort_ = port;
      addressSpace_.SetListeningPort(port);
      serve(socket, handled, buffer.get());
    } catch (const osc::Exception& e) {
      OscLog("osc::Exception in TaskMain(): %s\n", e.what());
    } catch (const std::runtime_error& e) {
      // oscpack's texts end with their own newline.
      OscLog("std::runtime_error in TaskMain(): %s", e.what());
    }
    boundPort_ = 0;
    addressSpace_.SetListeningPort(0);
  }
}

void OSCHelper::serve(UdpReceiver& socket, uint64_t generation, char* buffer) {
  pollfd fds[2] = {{socket.fd(), POLLIN, 0}, {receiveWake_.fd(), POLLIN, 0}};
  for (;;) {
    if (receiveQuit_ || generation_.load() != generation) return;
    if (poll(fds, 2, -1) < 0) continue;  // EINTR
    if (fds[1].revents) {
      // A move asked for before a datagram arrived wins over handling it.
      receiveWake_.Drain();
      continue;
    }
    if (!fds[0].revents) continue;
    for (int i = 0; i < kDatagramsPerWake; ++i) {
      if (receiveQuit_ || generation_.load() != generation) return;
      Ipv4Endpoint sender;
      const ssize_t size = socket.Receive(buffer, kDatagramBytes, sender);
      if (size < 0) break;
      ProcessPacket(buffer, static_cast<size_t>(size), sender);
    }
  }
}

void OSCHelper::notifyMain() {
  for (;;) {
    notifyWake_.Wait();
    if (notifyQuit_) return;
    for (uint32_t dropped = overflows_.exchange(0); dropped > 0; --dropped) {
      std::fputs("OSCHelper::SetParamQueue::Write() overflow\n", stderr);
    }
    ParamChangeQueue::Change change;
    while (!notifyQuit_ && queue_.TryPop(change)) {
      lastNotified_[change.index].store(notifiedBits(change.value), std::memory_order_relaxed);
      for (const Subscriber& subscriber : subscribers_.SubscribersOf(change.index))
        notify(subscriber, change.index, change.value);
    }
  }
}

void OSCHelper::notify(const Subscriber& subscriber, int32_t index, float value) {
  try {
    char buffer[kNotificationBytes];
    osc::OutboundPacketStream packet(buffer, sizeof buffer);
    packet << osc::BeginMessage(subscriber.path.c_str()) << index << value << osc::EndMessage;
    SendDatagram(subscriber.endpoint, packet.Data(), packet.Size());
  } catch (const std::exception&) {
    // This notification is lost; the next change is sent as usual.
  }
}

}  // namespace QW
