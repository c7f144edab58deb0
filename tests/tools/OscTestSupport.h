// Just enough OSC to talk to a plug-in's server: messages with int32, float32
// and string arguments, and a UDP socket on 127.0.0.1 whose receives time out.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/LoopbackUdp.h"

namespace hosttest {

struct OscArgument {
  OscArgument(int32_t value) : type('i'), i(value) {}
  OscArgument(float value) : type('f'), f(value) {}
  OscArgument(std::string value) : type('s'), s(std::move(value)) {}
  OscArgument(const char* value) : OscArgument(std::string(value)) {}
  char type;
  int32_t i = 0;
  float f = 0.0f;
  std::string s;
};

struct OscMessage {
  std::string address;
  std::vector<OscArgument> arguments;
  std::string typeTags() const;  // without the leading comma
};

class UdpSocket : public LoopbackUdp {
 public:
  using LoopbackUdp::send;
  void send(int port, const OscMessage& message) const;
  // The next message with `address`, skipping others, or nullopt after `limit`.
  std::optional<OscMessage> receive(const std::string& address,
                                    std::chrono::milliseconds limit) const;
};

}  // namespace hosttest
