// The reply URLs of the OSC commands: "host:port", optionally with the
// "osc.udp://" scheme in front ("osc.udp://127.0.0.1:9000",
// "studio-pc:9000/").
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "osc/Ipv4Endpoint.h"

namespace QW {

struct ReplyUrlParts {
  std::string host;
  int32_t port = -1;  // -1: no ':' or no number after it
};

// At most the first 1023 bytes of url count.
ReplyUrlParts ParseReplyUrl(const char* url);

// The endpoint, or nothing when the URL has no usable port (1 to 65535) or
// its host does not resolve to an IPv4 address.
std::optional<Ipv4Endpoint> ResolveReplyUrl(const char* url);

}  // namespace QW
