#include "tests/tools/OscTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

// OSC strings end with at least one zero byte, padded to a multiple of four.
void putString(std::vector<uint8_t>& bytes, const std::string& text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
  do bytes.push_back(0);
  while (bytes.size() % 4 != 0);
}

bool getString(const std::vector<uint8_t>& bytes, size_t& at, std::string& text) {
  const auto end = std::find(bytes.begin() + at, bytes.end(), 0);
  if (end == bytes.end()) return false;
  text.assign(bytes.begin() + at, end);
  at = (static_cast<size_t>(end - bytes.begin()) + 4) & ~size_t{3};
  return at <= bytes.size();
}

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

std::vector<uint8_t> encode(const OscMessage& message) {
  std::vector<uint8_t> bytes;
  putString(bytes, message.address);
  putString(bytes, "," + message.typeTags());
  for (const auto& argument : message.arguments) {
    if (argument.type == 's') {
      putString(bytes, argument.s);
      continue;
    }
    uint32_t word = static_cast<uint32_t>(argument.i);
    if (argument.type == 'f') std::memcpy(&word, &argument.f, sizeof word);
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(uint8_t(word >> shift));
  }
  return bytes;
}

std::optional<OscMessage> decode(const std::vector<uint8_t>& packet) {
  OscMessage message;
  std::string tags;
  size_t at = 0;
  if (!getString(packet, at, message.address) || message.address.rfind('/', 0) != 0 ||
      !getString(packet, at, tags) || tags.rfind(',', 0) != 0)
    return std::nullopt;
  for (const char type : tags.substr(1)) {
    OscArgument argument(0);
    argument.type = type;
    if (type == 's') {
      if (!getString(packet, at, argument.s)) return std::nullopt;
    } else if ((type == 'i' || type == 'f') && at + 4 <= packet.size()) {
      uint32_t word = 0;
      for (int k = 0; k < 4; ++k) word = word << 8 | packet[at++];
      argument.i = static_cast<int32_t>(word);
      std::memcpy(&argument.f, &word, sizeof word);
    } else {
      return std::nullopt;
    }
    message.arguments.push_back(argument);
  }
  if (at != packet.size()) return std::nullopt;
  return message;
}

}  // namespace

std::string OscMessage::typeTags() const {
  std::string tags;
  for (const auto& argument : arguments) tags += argument.type;
  return tags;
}

UdpSocket::UdpSocket() : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd_ >= 0) close(fd_);
    throw std::runtime_error("cannot bind a UDP socket on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
}

UdpSocket::~UdpSocket() {
  close(fd_);
}

void UdpSocket::send(int port, const OscMessage& message) const {
  const std::vector<uint8_t> packet = encode(message);
  const sockaddr_in address = loopback(port);
  if (sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&address),
             sizeof address) != static_cast<ssize_t>(packet.size()))
    throw std::runtime_error("cannot send a UDP datagram");
}

std::optional<OscMessage> UdpSocket::receive(const std::string& address,
                                             std::chrono::milliseconds limit) const {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (auto now = std::chrono::steady_clock::now(); now < deadline;
       now = std::chrono::steady_clock::now()) {
    pollfd ready{fd_, POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    if (poll(&ready, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
    std::vector<uint8_t> packet(65536);
    const ssize_t got = recv(fd_, packet.data(), packet.size(), 0);
    if (got < 0) continue;
    packet.resize(static_cast<size_t>(got));
    if (auto message = decode(packet); message && message->address == address) return message;
  }
  return std::nullopt;
}

bool udpPortIsFree(int port) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  const sockaddr_in address = loopback(port);
  const bool free =
      fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) close(fd);
  return free;
}

}  // namespace hosttest
