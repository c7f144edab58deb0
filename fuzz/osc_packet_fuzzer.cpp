// libFuzzer target: one datagram into the OSC service's packet handler, on a
// real effect with its Lua state, as the receive thread would hand it over.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "core/GlobalSettings.h"
#include "core/QwkTonalmire.h"
#include "osc/OSCHelper.h"
#include "scripting/LuaMIDIHelper.h"

namespace {

intptr_t quietHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// Functions a fuzzed "/exec" must not reach: they read files or load
// modules by name.
void withoutFileAccess(QW::LuaMIDIHelper& lua) {
  lua_State* L = lua.GetLuaState();
  std::lock_guard<std::recursive_mutex> lock(lua.LuaLock());
  for (const char* name : {"dofile", "loadfile", "require", "module"}) {
    lua_pushnil(L);
    lua_setglobal(L, name);
  }
}

QwkTonalmire& effect() {
  static const std::unique_ptr<QwkTonalmire> instance = [] {
    setenv("VELDRANA_SCRIPTS_DIR", "/nonexistent/veldrana-fuzz-scripts", 1);
    setenv("XDG_CONFIG_HOME", "/nonexistent/veldrana-fuzz-config", 1);
    auto made = std::make_unique<QwkTonalmire>(&quietHost);
    // Every "OSC Port Offset" a packet may set then lies beyond the last
    // port, so the service never opens a socket while fuzzed.
    QW::GlobalSettings::oscBasePort = 70000;
    withoutFileAccess(*made->luaHelper());
    return made;
  }();
  return *instance;
}

}  // namespace

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
  QW::OSCHelper& service = *effect().oscHelper();
  service.ProcessPacket(reinterpret_cast<const char*>(data), size,
                        QW::Ipv4Endpoint{0x7F000001u, 9});
  return 0;
}
