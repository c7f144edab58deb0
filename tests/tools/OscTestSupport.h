// Just enough OSC for the tests to talk to a plug-in's OSC server: messages
// with int32, float32 and string arguments, encoded and decoded by hand, and
// a UDP socket on 127.0.0.1 whose every receive has a timeout.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hosttest {

struct OscArgument {
  char type = 'i';  // 'i', 'f' or 's'
  int32_t i = 0;
  float f = 0.0f;
  std::string s;
};

struct OscMessage {
  std::string address;
  std::vector<OscArgument> arguments;

  OscMessage& add(int32_t value);
  OscMessage& add(float value);
  OscMessage& add(const std::string& value);
  std::string typeTags() const;  // without the leading comma

  std::vector<uint8_t> encode() const;
  // nullopt for anything that is not a well-formed message of those types.
  static std::optional<OscMessage> decode(const std::vector<uint8_t>& packet);
};

class UdpSocket {
 public:
  // Bound to 127.0.0.1 on a port the system picks.
  UdpSocket();
  ~UdpSocket();
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  int port() const { return port_; }
  void send(int port, const std::vector<uint8_t>& packet) const;
  // The next datagram, or nullopt when none arrives within `timeout`.
  std::optional<std::vector<uint8_t>> receive(std::chrono::milliseconds timeout) const;

 private:
  int fd_ = -1;
  int port_ = 0;
};

// Whether a UDP port on 127.0.0.1 can be bound right now.
bool udpPortIsFree(int port);

}  // namespace hosttest
