// Shared pieces of the OSC service tests: a client socket on 127.0.0.1,
// message building and decoding with oscpack, an effect whose host
// callback may be called from the service's threads, and the ports the
// tests listen on.
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

namespace osc_test {

// Counts automation; safe from any thread, unlike the recording host.
inline std::atomic<int> automations{0};
inline intptr_t threadSafeHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  if (opcode == vst::audioMasterAutomate) automations.fetch_add(1);
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// A range of 200 ports per test process, away from the usual OSC ports.
// ctest starts parallel tests with neighbouring process ids, so neighbours
// must get different ranges: the slot is the id modulo 250.
inline int32_t testBasePort() {
  static const int32_t base = 10000 + static_cast<int32_t>(getpid() % 250) * 200;
  return base;
}

using Value = std::variant<int32_t, float, std::string, bool>;

struct Message {
  std::string address;
  std::vector<Value> arguments;
};

// Builds one message: `build(packet)` adds the arguments.
template <typename Build>
std::string message(const char* address, Build build, size_t bytes = 4096) {
  std::vector<char> buffer(bytes);
  osc::OutboundPacketStream packet(buffer.data(), buffer.size());
  packet << osc::BeginMessage(address);
  build(packet);
  packet << osc::EndMessage;
  return std::string(packet.Data(), packet.Size());
}

inline std::string message(const char* address) {
  return message(address, [](osc::OutboundPacketStream&) {});
}

inline std::optional<Message> decode(const std::string& datagram) {
  try {
    const osc::ReceivedPacket packet(datagram.data(), datagram.size());
    if (packet.IsBundle()) return std::nullopt;
    const osc::ReceivedMessage received(packet);
    Message decoded{received.AddressPattern(), {}};
    for (auto a = received.ArgumentsBegin(); a != received.ArgumentsEnd(); ++a) {
      if (a->IsInt32())
        decoded.arguments.emplace_back(a->AsInt32());
      else if (a->IsFloat())
        decoded.arguments.emplace_back(a->AsFloat());
      else if (a->IsString())
        decoded.arguments.emplace_back(std::string(a->AsString()));
      else if (a->IsBool())
        decoded.arguments.emplace_back(a->AsBool());
    }
    return decoded;
  } catch (const osc::Exception&) {
    return std::nullopt;
  }
}

// A UDP socket bound to 127.0.0.1 at a port of the system's choosing.
class Client {
 public:
  Client() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address = loopback(0);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    int bytes = 4 << 20;
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
  }
  ~Client() { close(fd_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  int port() const { return port_; }
  std::string url() const { return "osc.udp://127.0.0.1:" + std::to_string(port_); }

  void send(int32_t port, const std::string& datagram) const {
    const sockaddr_in to = loopback(port);
    sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
           sizeof to);
  }

  // The next datagram, or nothing after the time-out.
  std::optional<std::string> receiveRaw(int milliseconds = 2000) const {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, milliseconds) <= 0) return std::nullopt;
    std::string buffer(65536, '\0');
    const ssize_t n = recv(fd_, buffer.data(), buffer.size(), 0);
    if (n < 0) return std::nullopt;
    buffer.resize(static_cast<size_t>(n));
    return buffer;
  }

  std::optional<Message> receive(int milliseconds = 2000) const {
    const auto raw = receiveRaw(milliseconds);
    return raw ? decode(*raw) : std::nullopt;
  }

  // The next message sent to address, skipping others, within the time.
  std::optional<Message> receiveAt(const std::string& address, int milliseconds = 2000) const {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) return std::nullopt;
      auto m = receive(static_cast<int>(left));
      if (m && m->address == address) return m;
    }
  }

  // Whether nothing arrives within the time.
  bool quiet(int milliseconds = 300) const { return !receiveRaw(milliseconds).has_value(); }

  void drain() const {
    while (receiveRaw(50)) {
    }
  }

  // Pings the service at port; true when it answers (and the answer is
  // consumed), which also proves every earlier datagram has been handled.
  bool ping(int32_t port, int milliseconds = 2000) const {
    const std::string request =
        message("/ping", [&](osc::OutboundPacketStream& p) { p << url().c_str() << "/pong"; });
    send(port, request);
    return receiveAt("/pong", milliseconds).has_value();
  }

  // Pings until the service answers or the time is up (it opens its port
  // asynchronously).
  bool waitForService(int32_t port, int milliseconds = 3000) const {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline)
      if (ping(port, 100)) return true;
    return false;
  }

 private:
  static sockaddr_in loopback(int32_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
  }

  int fd_;
  int port_ = 0;
};

// An effect whose OSC service listens at base + offset. Without a scripts
// folder set by the test, none is given, so user scripts never take part.
struct ServiceFixture {
  explicit ServiceFixture(int32_t offset = 1, int32_t base = testBasePort()) {
    if (!std::getenv("VELDRANA_SCRIPTS_DIR"))
      setenv("VELDRANA_SCRIPTS_DIR", "/nonexistent/veldrana-test-scripts", 1);
    QW::GlobalSettings::oscBasePort = base;
    effect = std::make_unique<QwkTonalmire>(&threadSafeHost);
    // InitEffect read the (isolated, empty) preferences; the test's base
    // port wins.
    QW::GlobalSettings::oscBasePort = base;
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

  std::unique_ptr<QwkTonalmire> effect;
  int32_t port = 0;
  Client client;
};

// Captures standard output while it lives.
class CapturedStdout {
 public:
  CapturedStdout() { testing::internal::CaptureStdout(); }
  ~CapturedStdout() {
    if (!taken_) testing::internal::GetCapturedStdout();
  }
  std::string take() {
    taken_ = true;
    return testing::internal::GetCapturedStdout();
  }

 private:
  bool taken_ = false;
};

}  // namespace osc_test

namespace osc_test {

// A private Scripts folder with the given scripts, in effect while it lives.
class TestScripts {
 public:
  TestScripts() {
    char pattern[] = "/tmp/veldrana-osc-scripts-XXXXXX";
    const char* dir = mkdtemp(pattern);
    path_ = dir ? dir : "/tmp/veldrana-osc-scripts-missing";
    setenv("VELDRANA_SCRIPTS_DIR", path_.c_str(), 1);
  }
  ~TestScripts() {
    for (const std::string& file : files_) unlink(file.c_str());
    rmdir(path_.c_str());
    setenv("VELDRANA_SCRIPTS_DIR", "/nonexistent/veldrana-test-scripts", 1);
  }
  TestScripts(const TestScripts&) = delete;
  TestScripts& operator=(const TestScripts&) = delete;

  void add(const std::string& name, const std::string& text) {
    const std::string file = path_ + "/" + name;
    if (FILE* out = std::fopen(file.c_str(), "wb")) {
      std::fwrite(text.data(), 1, text.size(), out);
      std::fclose(out);
      files_.push_back(file);
    }
  }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

// Runs Lua in the effect's scripting state; "" or the error.
inline std::string runLua(QwkTonalmire& effect, const std::string& code) {
  QW::LuaMIDIHelper& lua = *effect.luaHelper();
  lua_State* L = lua.GetLuaState();
  std::lock_guard<std::recursive_mutex> lock(lua.LuaLock());
  if (luaL_loadbuffer(L, code.data(), code.size(), "=test") != 0 || lua_pcall(L, 0, 0, 0) != 0) {
    std::string error = lua_tostring(L, -1) ? lua_tostring(L, -1) : "error";
    lua_pop(L, 1);
    return error;
  }
  return "";
}

inline double luaNumber(QwkTonalmire& effect, const std::string& expression) {
  QW::LuaMIDIHelper& lua = *effect.luaHelper();
  lua_State* L = lua.GetLuaState();
  std::lock_guard<std::recursive_mutex> lock(lua.LuaLock());
  const std::string code = "return " + expression;
  double value = -12345.0;
  if (luaL_loadbuffer(L, code.data(), code.size(), "=test") == 0 && lua_pcall(L, 0, 1, 0) == 0)
    value = lua_tonumber(L, -1);
  lua_pop(L, 1);
  return value;
}

}  // namespace osc_test
