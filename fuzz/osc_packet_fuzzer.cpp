// libFuzzer target: one datagram into the OSC service's packet handler, on a
// real effect with its Lua state, as the receive thread would hand it over.
#include <arpa/inet.h>
#include <netdb.h>

#include "fuzz/FuzzSupport.h"
#include "osc/OSCHelper.h"

// Reply URLs come from the input: every host resolves to 127.0.0.1, so
// replies and notifications never leave the machine and no name is looked
// up on the network.
extern "C" int getaddrinfo(const char* node, const char*, const struct addrinfo*,
                           struct addrinfo** result) {
  if (!node || !*node) return EAI_NONAME;
  auto* info = static_cast<addrinfo*>(std::calloc(1, sizeof(addrinfo) + sizeof(sockaddr_in)));
  auto* address = reinterpret_cast<sockaddr_in*>(info + 1);
  address->sin_family = AF_INET;
  address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  info->ai_family = AF_INET;
  info->ai_socktype = SOCK_DGRAM;
  info->ai_addrlen = sizeof(sockaddr_in);
  info->ai_addr = reinterpret_cast<sockaddr*>(address);
  *result = info;
  return 0;
}

extern "C" void freeaddrinfo(struct addrinfo* info) {
  std::free(info);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QwkTonalmire* effect = fuzz::makeEffect().release();
  effect->oscHelper()->ProcessPacket(reinterpret_cast<const char*>(data), size,
                                     QW::Ipv4Endpoint{0x7F000001u, 9});
  return 0;
}
