#include "osc/UdpReceiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace QW {

UdpReceiver::UdpReceiver(int32_t port, bool everyInterface)
    : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
  if (fd_ < 0) throw std::runtime_error("unable to create udp socket\n");
  // No SO_REUSEADDR: a port another program (or instance) listens on must
  // fail here rather than share, or datagrams would go to either of us.
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(everyInterface ? INADDR_ANY : INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (port <= 0 || port > 65535 ||
      bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd_);
    throw std::runtime_error("unable to bind udp socket\n");
  }
}

UdpReceiver::~UdpReceiver() {
  close(fd_);
}

ssize_t UdpReceiver::Receive(char* buffer, size_t size, Ipv4Endpoint& sender) noexcept {
  sockaddr_in from{};
  socklen_t fromSize = sizeof from;
  const ssize_t got = recvfrom(fd_, buffer, size, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
  if (got < 0) return -1;
  sender.address = ntohl(from.sin_addr.s_addr);
  sender.port = ntohs(from.sin_port);
  return got;
}

}  // namespace QW
