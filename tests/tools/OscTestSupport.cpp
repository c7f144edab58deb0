#include "tests/tools/OscTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace hosttest {

namespace {

void padToFour(std::vector<uint8_t>& bytes) {
  while (bytes.size() % 4 != 0) bytes.push_back(0);
}

// OSC strings end with at least one zero byte, padded to a multiple of four.
void putString(std::vector<uint8_t>& bytes, const std::string& text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
  bytes.push_back(0);
  padToFour(bytes);
}

void putWord(std::vector<uint8_t>& bytes, uint32_t word) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(word >> shift));
}

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  bool string(std::string& text) {
    size_t end = position_;
    while (end < bytes_.size() && bytes_[end] != 0) ++end;
    if (end >= bytes_.size()) return false;
    text.assign(bytes_.begin() + static_cast<long>(position_),
                bytes_.begin() + static_cast<long>(end));
    position_ = (end + 4) & ~size_t{3};
    return position_ <= bytes_.size();
  }
  bool word(uint32_t& value) {
    if (position_ + 4 > bytes_.size()) return false;
    value = 0;
    for (int k = 0; k < 4; ++k) value = (value << 8) | bytes_[position_ + k];
    position_ += 4;
    return true;
  }
  bool atEnd() const { return position_ == bytes_.size(); }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t position_ = 0;
};

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

OscMessage& OscMessage::add(int32_t value) {
  arguments.emplace_back().type = 'i';
  arguments.back().i = value;
  return *this;
}

OscMessage& OscMessage::add(float value) {
  arguments.emplace_back().type = 'f';
  arguments.back().f = value;
  return *this;
}

OscMessage& OscMessage::add(const std::string& value) {
  arguments.emplace_back().type = 's';
  arguments.back().s = value;
  return *this;
}

std::string OscMessage::typeTags() const {
  std::string tags;
  for (const auto& argument : arguments) tags += argument.type;
  return tags;
}

std::vector<uint8_t> OscMessage::encode() const {
  std::vector<uint8_t> bytes;
  putString(bytes, address);
  putString(bytes, "," + typeTags());
  for (const auto& argument : arguments) {
    if (argument.type == 'i') {
      putWord(bytes, static_cast<uint32_t>(argument.i));
    } else if (argument.type == 'f') {
      uint32_t word = 0;
      std::memcpy(&word, &argument.f, sizeof word);
      putWord(bytes, word);
    } else {
      putString(bytes, argument.s);
    }
  }
  return bytes;
}

std::optional<OscMessage> OscMessage::decode(const std::vector<uint8_t>& packet) {
  Reader reader(packet);
  OscMessage message;
  std::string tags;
  if (!reader.string(message.address) || message.address.empty() || message.address[0] != '/')
    return std::nullopt;
  if (!reader.string(tags) || tags.empty() || tags[0] != ',') return std::nullopt;
  for (size_t k = 1; k < tags.size(); ++k) {
    OscArgument argument;
    argument.type = tags[k];
    uint32_t word = 0;
    if (argument.type == 'i') {
      if (!reader.word(word)) return std::nullopt;
      argument.i = static_cast<int32_t>(word);
    } else if (argument.type == 'f') {
      if (!reader.word(word)) return std::nullopt;
      std::memcpy(&argument.f, &word, sizeof word);
    } else if (argument.type == 's') {
      if (!reader.string(argument.s)) return std::nullopt;
    } else {
      return std::nullopt;
    }
    message.arguments.push_back(argument);
  }
  if (!reader.atEnd()) return std::nullopt;
  return message;
}

UdpSocket::UdpSocket() {
  fd_ = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd_ < 0) throw std::runtime_error("cannot open a UDP socket");
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd_);
    throw std::runtime_error("cannot bind a UDP socket on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
}

UdpSocket::~UdpSocket() {
  close(fd_);
}

void UdpSocket::send(int port, const std::vector<uint8_t>& packet) const {
  const sockaddr_in address = loopback(port);
  if (sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&address),
             sizeof address) != static_cast<ssize_t>(packet.size()))
    throw std::runtime_error("cannot send a UDP datagram");
}

std::optional<std::vector<uint8_t>> UdpSocket::receive(std::chrono::milliseconds timeout) const {
  pollfd ready{fd_, POLLIN, 0};
  if (poll(&ready, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
  std::vector<uint8_t> packet(65536);
  const ssize_t got = recv(fd_, packet.data(), packet.size(), 0);
  if (got < 0) return std::nullopt;
  packet.resize(static_cast<size_t>(got));
  return packet;
}

bool udpPortIsFree(int port) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  sockaddr_in address = loopback(port);
  const bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return free;
}

}  // namespace hosttest
