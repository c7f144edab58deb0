#include "osc/ReplyUrl.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include "osc/ScanInt.h"

namespace QW {
namespace {
constexpr size_t kUsedBytes = 1023;
constexpr char kScheme[] = "osc.udp://";
}  // namespace

ReplyUrlParts ParseReplyUrl(const char* url) {
  std::string text(url, strnlen(url, kUsedBytes));
  const size_t schemeLength = sizeof kScheme - 1;
  if (text.compare(0, schemeLength, kScheme) == 0) text.erase(0, schemeLength);
  ReplyUrlParts parts;
  const size_t colon = text.find(':');
  parts.host = text.substr(0, colon);
  if (colon != std::string::npos && !ScanInt(text.c_str() + colon + 1, parts.port)) parts.port = -1;
  return parts;
}

std::optional<Ipv4Endpoint> ResolveReplyUrl(const char* url) {
  const ReplyUrlParts parts = ParseReplyUrl(url);
  if (parts.port <= 0 || parts.port > 65535 || parts.host.empty()) return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(parts.host.c_str(), nullptr, &hints, &found) != 0 || !found) return std::nullopt;
  Ipv4Endpoint endpoint;
  endpoint.address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
  endpoint.port = parts.port;
  freeaddrinfo(found);
  return endpoint;
}

}  // namespace QW
