#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "ScriptTestSupport.h"

using namespace scripting_test;

namespace {

// A UDP socket on 127.0.0.1 at a free port.
class Receiver {
 public:
  Receiver() : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Receiver() { close(fd_); }
  int port() const { return port_; }
  // One datagram, or empty after a second.
  std::string receive() {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 1000) <= 0) return {};
    char buffer[2048];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
  }

 private:
  int fd_;
  int port_ = 0;
};

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

struct SendOsc : ::testing::Test {
  RecordingHost host;
  std::unique_ptr<QwkTonalmire> effect = makeEffect();
  Receiver receiver;
  std::string url() const {
    return "'osc.udp://127.0.0.1:" + std::to_string(receiver.port()) + "'";
  }
  std::string run(const std::string& code) { return runLua(helperOf(*effect), code); }
};

TEST_F(SendOsc, AMessageWithoutArguments) {
  ASSERT_EQ(run("sendOSC(" + url() + ", '/ping')"), "");
  EXPECT_EQ(receiver.receive(), std::string("/ping\0\0\0,\0\0\0", 12));
}

TEST_F(SendOsc, TypeStringPicksIntegersOtherNumbersAreFloats) {
  ASSERT_EQ(
      run("sendOSC('127.0.0.1:" + std::to_string(receiver.port()) + "', '/v', 'if', {7, '2.5'})"),
      "");
  EXPECT_EQ(receiver.receive(),
            std::string("/v\0\0,if\0", 8) + bytes({0, 0, 0, 7}) + bytes({0x40, 0x20, 0, 0}));
}

TEST_F(SendOsc, NilStringsAndUntypedNumbers) {
  ASSERT_EQ(run("sendOSC(" + url() + ", '/m', {nil, 'hi', 1})"), "");
  // The table's length with a leading nil is what # says; accept either.
  const std::string got = receiver.receive();
  EXPECT_EQ(got.substr(0, 4), std::string("/m\0\0", 4));
  EXPECT_NE(got.find("hi"), std::string::npos);
}

TEST_F(SendOsc, Errors) {
  EXPECT_EQ(run("sendOSC(" + url() + ", '/x', 'if', {1, 2, 3})"),
            "format string length mismatch in sendOSC");
  EXPECT_EQ(run("sendOSC(" + url() + ", '/x', {true})"),
            "unhandled argument type return from call");
  EXPECT_EQ(run("sendOSC(nil, '/x')"), "bad argument #1 to 'sendOSC' (string expected, got nil)");
  EXPECT_EQ(run("sendOSC(" + url() + ")"),
            "bad argument #2 to 'sendOSC' (string expected, got no value)");
  EXPECT_EQ(run("sendOSC(" + url() + ", '/x', 5)"),
            "bad argument #3 to 'sendOSC' (table expected, got number)");
  EXPECT_EQ(run("sendOSC(" + url() + ", '/x', 'f', 5)"),
            "bad argument #4 to 'sendOSC' (table expected, got number)");
  EXPECT_EQ(run("local t = {} for i = 1, 400 do t[i] = i end sendOSC(" + url() + ", '/x', t)"),
            "out of buffer memory");
  EXPECT_NE(run("sendOSC('osc.udp://no-such-host.invalid:9', '/x')"), "");
  EXPECT_EQ(receiver.receive(), "");  // none of them sent anything
}

}  // namespace
