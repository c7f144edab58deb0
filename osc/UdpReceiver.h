// The listening socket: UDP at one port, on 127.0.0.1 or on every local
// IPv4 address.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "osc/Ipv4Endpoint.h"

namespace QW {

class UdpReceiver {
 public:
  // Throws std::runtime_error with oscpack's texts ("unable to bind udp
  // socket\n" when the port is taken), which the receive thread logs.
  UdpReceiver(int32_t port, bool everyInterface);
  ~UdpReceiver();
  UdpReceiver(const UdpReceiver&) = delete;
  UdpReceiver& operator=(const UdpReceiver&) = delete;

  int fd() const { return fd_; }
  // One waiting datagram, without blocking; -1 when none is waiting. A
  // datagram longer than size is cut to size.
  ssize_t Receive(char* buffer, size_t size, Ipv4Endpoint& sender) noexcept;

 private:
  int fd_;
};

}  // namespace QW
