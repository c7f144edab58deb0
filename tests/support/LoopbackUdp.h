// A UDP socket on 127.0.0.1 at a port the system picks: the client side of
// every test and benchmark that talks to an OSC service, whatever builds its
// messages.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

inline sockaddr_in loopbackAddress(int32_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

class LoopbackUdp {
 public:
  LoopbackUdp() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address = loopbackAddress(0);
    socklen_t length = sizeof address;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      if (fd_ >= 0) close(fd_);
      throw std::runtime_error("cannot bind a UDP socket on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    // Replies to a burst of requests must not be dropped before they are read.
    const int bytes = 4 << 20;
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
  }
  ~LoopbackUdp() { close(fd_); }
  LoopbackUdp(const LoopbackUdp&) = delete;
  LoopbackUdp& operator=(const LoopbackUdp&) = delete;

  int port() const { return port_; }
  std::string url() const { return "osc.udp://127.0.0.1:" + std::to_string(port_); }

  bool send(int32_t port, const void* bytes, size_t size) const {
    const sockaddr_in to = loopbackAddress(port);
    return sendto(fd_, bytes, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(size);
  }
  bool send(int32_t port, const std::string& datagram) const {
    return send(port, datagram.data(), datagram.size());
  }
  // The size of the next datagram read into buffer, -1 when none comes
  // within the time.
  ssize_t receive(char* buffer, size_t size, int milliseconds = 2000) const {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, milliseconds) <= 0) return -1;
    return recv(fd_, buffer, size, 0);
  }
  // The next datagram, or nothing when none comes within the time.
  std::optional<std::string> receiveRaw(int milliseconds) const {
    std::string buffer(65536, '\0');
    const ssize_t n = receive(buffer.data(), buffer.size(), milliseconds);
    if (n < 0) return std::nullopt;
    buffer.resize(static_cast<size_t>(n));
    return buffer;
  }
  void drain() const {
    while (receiveRaw(0)) {
    }
  }

 private:
  int fd_;
  int port_ = 0;
};
