// OSC datagrams to and from the plug-in's service over loopback, built by
// hand: the tests talk to it over the wire only.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "tests/support/LoopbackUdp.h"

class OscMessage {
 public:
  explicit OscMessage(std::string address) : address_(std::move(address)) {}
  OscMessage& i(int32_t v) { return word('i', static_cast<uint32_t>(v)); }
  OscMessage& f(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return word('f', bits);
  }
  OscMessage& s(const std::string& v) {
    tags_ += 's';
    padded(arguments_, v);
    return *this;
  }
  std::string bytes() const {
    std::string out;
    padded(out, address_);
    padded(out, "," + tags_);
    return out + arguments_;
  }

 private:
  static void padded(std::string& out, const std::string& text) {
    out += text;
    out.append(4 - text.size() % 4, '\0');
  }
  OscMessage& word(char tag, uint32_t v) {
    tags_ += tag;
    for (int shift = 24; shift >= 0; shift -= 8) arguments_ += static_cast<char>(v >> shift);
    return *this;
  }
  std::string address_, tags_, arguments_;
};

class OscClient : public LoopbackUdp {
 public:
  using LoopbackUdp::send;
  bool send(int32_t port, const OscMessage& message) const { return send(port, message.bytes()); }

  // Whether a "/ping" to port is answered at reply within the time, asked
  // again every waitMilliseconds (a moved service opens its port
  // asynchronously); other datagrams are dropped.
  bool pingAnswered(int32_t port, const std::string& reply, int waitMilliseconds,
                    int milliseconds) const {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (auto askAt = Clock::now(); Clock::now() < deadline;) {
      if (Clock::now() >= askAt) {
        send(port, OscMessage("/ping").s(url()).s(reply));
        askAt = Clock::now() + std::chrono::milliseconds(waitMilliseconds);
      }
      const auto got = receiveRaw(10);
      if (got && reply == std::string(got->c_str())) return true;
    }
    return false;
  }
};

// 200 ports per test process, so parallel test processes never share one.
inline int32_t oscBasePort() {
  return 10000 + static_cast<int32_t>(getpid() % 250) * 200;
}
