// OSC datagrams to and from the plug-in's service over loopback, built by
// hand: the tests talk to it over the wire only.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

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

class OscClient {
 public:
  OscClient() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address = loopback(0);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    url_ = "osc.udp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    const int bytes = 4 << 20;
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
  }
  ~OscClient() { close(fd_); }
  OscClient(const OscClient&) = delete;
  OscClient& operator=(const OscClient&) = delete;

  const std::string& url() const { return url_; }

  void send(int32_t port, const OscMessage& message) const { send(port, message.bytes()); }
  void send(int32_t port, const std::string& datagram) const {
    const sockaddr_in to = loopback(port);
    sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
           sizeof to);
  }

  // Reads whatever has arrived.
  void drain() const {
    char buffer[65536];
    while (recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) >= 0) {
    }
  }

  // Whether a "/ping" to port is answered at reply within the time, asked
  // again every waitMilliseconds (a moved service opens its port
  // asynchronously); other datagrams are dropped.
  bool pingAnswered(int32_t port, const std::string& reply, int waitMilliseconds,
                    int milliseconds) const {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    char buffer[65536];
    for (auto askAt = Clock::now(); Clock::now() < deadline;) {
      if (Clock::now() >= askAt) {
        send(port, OscMessage("/ping").s(url_).s(reply));
        askAt = Clock::now() + std::chrono::milliseconds(waitMilliseconds);
      }
      pollfd p{fd_, POLLIN, 0};
      const ssize_t n = poll(&p, 1, 10) > 0 ? recv(fd_, buffer, sizeof buffer - 1, 0) : 0;
      if (n > 0 && reply == std::string(buffer, strnlen(buffer, static_cast<size_t>(n))))
        return true;
    }
    return false;
  }

 private:
  static sockaddr_in loopback(int32_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
  }
  int fd_;
  std::string url_;
};

// 200 ports per test process, so parallel test processes never share one.
inline int32_t oscBasePort() {
  return 10000 + static_cast<int32_t>(getpid() % 250) * 200;
}
