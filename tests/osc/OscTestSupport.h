// Shared pieces of the OSC service tests: a client socket on 127.0.0.1,
// messages built and decoded with oscpack, and an effect whose host callback
// is safe from the service's threads.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "core/GlobalSettings.h"
#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "osc/OSCHelper.h"
#include "osc/OscOutboundPacketStream.h"
#include "osc/OscReceivedElements.h"
#include "scripting/LuaMIDIHelper.h"
#include "tests/scripting/ScriptTestSupport.h"
#include "tests/support/LoopbackUdp.h"

namespace osc_test {

using Packet = osc::OutboundPacketStream;

// Counts automation; safe from any thread, unlike the recording host.
inline std::atomic<int> automations{0};
inline intptr_t threadSafeHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  if (opcode == vst::audioMasterAutomate) automations.fetch_add(1);
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// 200 ports per test process; ctest's parallel processes have neighbouring
// ids, so the slot is the id modulo 250.
inline int32_t testBasePort() {
  return 10000 + static_cast<int32_t>(getpid() % 250) * 200;
}

using Value = std::variant<int32_t, float, std::string, bool>;
using Args = std::vector<Value>;
struct Message {
  std::string address;
  Args arguments;
};

// One message; `build(packet)` adds the arguments.
template <typename Build>
std::string message(const char* address, Build build, size_t bytes = 4096) {
  std::vector<char> buffer(bytes);
  Packet packet(buffer.data(), buffer.size());
  packet << osc::BeginMessage(address);
  build(packet);
  packet << osc::EndMessage;
  return std::string(packet.Data(), packet.Size());
}
inline std::string message(const char* address) {
  return message(address, [](Packet&) {});
}

inline std::optional<Message> decode(const std::string& datagram) try {
  const osc::ReceivedPacket packet(datagram.data(), datagram.size());
  if (packet.IsBundle()) return std::nullopt;
  const osc::ReceivedMessage received(packet);
  Message m{received.AddressPattern(), {}};
  for (auto a = received.ArgumentsBegin(); a != received.ArgumentsEnd(); ++a) {
    if (a->IsInt32()) m.arguments.emplace_back(a->AsInt32());
    if (a->IsFloat()) m.arguments.emplace_back(a->AsFloat());
    if (a->IsString()) m.arguments.emplace_back(std::string(a->AsString()));
    if (a->IsBool()) m.arguments.emplace_back(a->AsBool());
  }
  return m;
} catch (const osc::Exception&) {
  return std::nullopt;
}

// A loopback socket that speaks OSC through oscpack.
class Client : public LoopbackUdp {
 public:
  using LoopbackUdp::send;
  std::optional<std::string> receiveRaw(int milliseconds = 2000) const {
    return LoopbackUdp::receiveRaw(milliseconds);
  }
  std::optional<Message> receive(int milliseconds = 2000) const {
    const auto raw = receiveRaw(milliseconds);
    return raw ? decode(*raw) : std::nullopt;
  }
  // The next message to address, skipping others, within about the time.
  std::optional<Message> receiveAt(const std::string& address, int milliseconds = 2000) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end)
      if (auto m = receive(50); m && m->address == address) return m;
    return std::nullopt;
  }
  bool quiet(int milliseconds = 300) const { return !receiveRaw(milliseconds); }
  void drain() const {
    while (receiveRaw(50)) {
    }
  }
  // True when the service answers a ping, which also proves every earlier
  // datagram has been handled.
  bool ping(int32_t port, int milliseconds = 2000) const {
    send(port, message("/ping", [&](Packet& p) { p << url().c_str() << "/pong"; }));
    return receiveAt("/pong", milliseconds).has_value();
  }
  // The service opens its port asynchronously.
  bool waitForService(int32_t port, int milliseconds = 3000) const {
    for (int waited = 0; waited < milliseconds; waited += 100)
      if (ping(port, 100)) return true;
    return false;
  }
};

// An effect whose OSC service listens at base + offset, with no user scripts
// unless the test points VELDRANA_SCRIPTS_DIR at some.
struct ServiceFixture {
  explicit ServiceFixture(int32_t offset = 1, int32_t base = testBasePort()) {
    if (!std::getenv("VELDRANA_SCRIPTS_DIR"))
      setenv("VELDRANA_SCRIPTS_DIR", "/nonexistent/veldrana-test-scripts", 1);
    QW::GlobalSettings::oscBasePort = base;
    effect = std::make_unique<QwkTonalmire>(&threadSafeHost);
    QW::GlobalSettings::oscBasePort = base;  // over what the preferences said
    port = base + offset;
    effect->setParameterPlain(kParamOscPortOffset, static_cast<float>(offset), false);
  }
  ~ServiceFixture() {
    QW::GlobalSettings::oscBasePort = QW::kDefaultOscBasePort;
    QW::GlobalSettings::oscOpenToNetwork = false;
  }
  QW::OSCHelper& service() { return *effect->oscHelper(); }
  bool ready() const { return client.waitForService(port); }
  float value(int32_t index) const { return effect->getParameterPlain(index); }
  // Sends the datagram and waits until the service has handled it.
  void sync(const std::string& datagram) const {
    client.send(port, datagram);
    EXPECT_TRUE(client.ping(port));
  }

  std::unique_ptr<QwkTonalmire> effect;
  int32_t port = 0;
  Client client;
};

// Standard output of what `act` does.
template <typename Act>
std::string stdoutOf(Act act) {
  testing::internal::CaptureStdout();
  act();
  return testing::internal::GetCapturedStdout();
}

// Lua in the effect's scripting state: a chunk run ("" or the error), an
// expression's value as text or number.
inline std::string runLua(QwkTonalmire& effect, const std::string& code) {
  return scripting_test::runLua(*effect.luaHelper(), code);
}
inline std::string luaText(QwkTonalmire& effect, const std::string& expression) {
  return scripting_test::luaString(*effect.luaHelper(), expression);
}
inline double luaNumber(QwkTonalmire& effect, const std::string& expression) {
  return scripting_test::luaNumber(*effect.luaHelper(), expression);
}

}  // namespace osc_test
