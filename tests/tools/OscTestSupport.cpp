#include "tests/tools/OscTestSupport.h"

#include <stdexcept>

#include "osc/OscOutboundPacketStream.h"
#include "osc/OscReceivedElements.h"
#include "tests/tools/HostTestSupport.h"

namespace hosttest {
namespace {

std::vector<uint8_t> encode(const OscMessage& message) {
  std::vector<uint8_t> bytes(4096);
  osc::OutboundPacketStream stream(reinterpret_cast<char*>(bytes.data()), bytes.size());
  stream << osc::BeginMessage(message.address.c_str());
  for (const auto& argument : message.arguments) {
    if (argument.type == 'i') stream << osc::int32{argument.i};
    if (argument.type == 'f') stream << argument.f;
    if (argument.type == 's') stream << argument.s.c_str();
  }
  stream << osc::EndMessage;
  bytes.resize(stream.Size());
  return bytes;
}

// nullopt for anything but a well-formed message of int32, float32 and
// string arguments.
std::optional<OscMessage> decode(const std::vector<uint8_t>& packet) try {
  const osc::ReceivedPacket received(reinterpret_cast<const char*>(packet.data()),
                                     static_cast<osc::osc_bundle_element_size_t>(packet.size()));
  if (!received.IsMessage()) return std::nullopt;
  const osc::ReceivedMessage message(received);
  OscMessage decoded{message.AddressPattern(), {}};
  for (auto it = message.ArgumentsBegin(); it != message.ArgumentsEnd(); ++it) {
    if (it->IsInt32())
      decoded.arguments.emplace_back(it->AsInt32());
    else if (it->IsFloat())
      decoded.arguments.emplace_back(it->AsFloat());
    else if (it->IsString())
      decoded.arguments.emplace_back(it->AsString());
    else
      return std::nullopt;
  }
  return decoded;
} catch (const osc::Exception&) {
  return std::nullopt;
}

}  // namespace

std::string OscMessage::typeTags() const {
  std::string tags;
  for (const auto& argument : arguments) tags += argument.type;
  return tags;
}

void UdpSocket::send(int port, const OscMessage& message) const {
  const std::vector<uint8_t> packet = encode(message);
  if (!send(port, packet.data(), packet.size()))
    throw std::runtime_error("cannot send a UDP datagram");
}

std::optional<OscMessage> UdpSocket::receive(const std::string& address,
                                             std::chrono::milliseconds limit) const {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (auto now = std::chrono::steady_clock::now(); now < deadline;
       now = std::chrono::steady_clock::now()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    const auto raw = receiveRaw(static_cast<int>(left.count()) + 1);
    if (!raw) continue;
    const std::vector<uint8_t> packet(raw->begin(), raw->end());
    if (auto message = decode(packet); message && message->address == address) return message;
  }
  return std::nullopt;
}

bool udpPortIsFree(int port) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  const sockaddr_in address = loopbackAddress(port);
  const bool free =
      fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) close(fd);
  return free;
}

}  // namespace hosttest
