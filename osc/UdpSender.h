// Outgoing datagrams: replies and change notifications. Each one goes
// through a socket of its own that is closed right after, so nothing is
// kept for subscribers that went away.
#pragma once

#include <cstddef>
#include <cstdint>

#include "osc/Ipv4Endpoint.h"

namespace QW {

// False when the socket could not be made or the datagram not sent.
bool SendDatagram(const Ipv4Endpoint& to, const char* data, size_t size) noexcept;

// The local IPv4 address (host order) the system would send to `to` from;
// 0 when there is no route.
uint32_t LocalAddressTowards(const Ipv4Endpoint& to) noexcept;

}  // namespace QW
