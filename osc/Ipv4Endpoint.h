// Where a datagram goes: an IPv4 address and a UDP port, both in host byte
// order.
#pragma once

#include <cstdint>

namespace QW {

struct Ipv4Endpoint {
  uint32_t address = 0;
  int32_t port = 0;

  bool operator==(const Ipv4Endpoint& other) const {
    return address == other.address && port == other.port;
  }
};

}  // namespace QW
