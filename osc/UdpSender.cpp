#include "osc/UdpSender.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace QW {
namespace {

class Socket {
 public:
  Socket() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

sockaddr_in toSockaddr(const Ipv4Endpoint& endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(endpoint.address);
  address.sin_port = htons(static_cast<uint16_t>(endpoint.port));
  return address;
}

}  // namespace

bool SendDatagram(const Ipv4Endpoint& to, const char* data, size_t size) noexcept {
  if (to.port <= 0 || to.port > 65535) return false;
  const Socket socket;
  if (socket.fd() < 0) return false;
  const sockaddr_in address = toSockaddr(to);
  return sendto(socket.fd(), data, size, 0, reinterpret_cast<const sockaddr*>(&address),
                sizeof address) == static_cast<ssize_t>(size);
}

uint32_t LocalAddressTowards(const Ipv4Endpoint& to) noexcept {
  const Socket socket;
  if (socket.fd() < 0) return 0;
  // Connecting a UDP socket sends nothing; it only picks the route.
  const sockaddr_in address = toSockaddr(to);
  if (connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return 0;
  sockaddr_in local{};
  socklen_t localSize = sizeof local;
  if (getsockname(socket.fd(), reinterpret_cast<sockaddr*>(&local), &localSize) != 0) return 0;
  return ntohl(local.sin_addr.s_addr);
}

}  // namespace QW
