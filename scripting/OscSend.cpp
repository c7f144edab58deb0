#include "scripting/OscSend.h"

#include <netdb.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "ip/UdpSocket.h"
#include "osc/OscOutboundPacketStream.h"
#include "scripting/LuaIntegers.h"

namespace QW {
namespace {

constexpr size_t kUrlBytes = 1024;
constexpr size_t kPacketBytes = 1024;

struct AddrInfoFree {
  void operator()(addrinfo* info) const { freeaddrinfo(info); }
};

// Host byte order IPv4 address of host; false when it does not resolve.
bool resolveIPv4(const char* host, unsigned long& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return false;
  const std::unique_ptr<addrinfo, AddrInfoFree> owner(found);
  const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  address = ntohl(in->sin_addr.s_addr);
  return true;
}

// Builds and sends the message; answers false with the reason in error.
// Touches the Lua state only through calls that cannot raise, so no Lua
// error can jump over the C++ objects here.
bool send(lua_State* L, const char* host, int port, const char* path, const char* types,
          int tableArg, int count, char* error, size_t errorBytes) {
  try {
    unsigned long address = 0;
    if (!resolveIPv4(host, address)) {
      std::snprintf(error, errorBytes, "unable to resolve host '%.200s'", host);
      return false;
    }
    char buffer[kPacketBytes];
    osc::OutboundPacketStream packet(buffer, sizeof buffer);
    packet << osc::BeginMessage(path);
    for (int i = 1; i <= count; ++i) {
      lua_rawgeti(L, tableArg, i);
      if (lua_isnil(L, -1)) {
        packet << osc::OscNil;
      } else if (lua_isnumber(L, -1)) {
        const lua_Number value = lua_tonumber(L, -1);
        if (types && types[i - 1] == 'i')
          packet << static_cast<osc::int32>(toInt32(value).value_or(0));
        else
          packet << static_cast<float>(value);
      } else {
        packet << lua_tostring(L, -1);
      }
      lua_pop(L, 1);
    }
    packet << osc::EndMessage;
    UdpTransmitSocket socket(IpEndpointName(address, port));
    socket.Send(packet.Data(), packet.Size());
    return true;
  } catch (const std::exception& e) {
    std::snprintf(error, errorBytes, "%s", e.what());
  } catch (...) {
    std::snprintf(error, errorBytes, "OSC send failed");
  }
  return false;
}

}  // namespace

int luaSendOSC(lua_State* L) {
  const int argc = lua_gettop(L);
  const char* url = luaL_checkstring(L, 1);
  const char* path = luaL_checkstring(L, 2);
  int tableArg = 0;
  const char* types = nullptr;
  size_t typesLength = 0;
  if (argc == 3) {
    luaL_checktype(L, 3, LUA_TTABLE);
    tableArg = 3;
  } else if (argc == 4) {
    types = luaL_checklstring(L, 3, &typesLength);
    luaL_checktype(L, 4, LUA_TTABLE);
    tableArg = 4;
  }
  const int count = tableArg ? static_cast<int>(lua_objlen(L, tableArg)) : 0;
  if (types && typesLength != static_cast<size_t>(count))
    return luaL_error(L, "format string length mismatch in sendOSC");
  for (int i = 1; i <= count; ++i) {
    lua_rawgeti(L, tableArg, i);
    const int type = lua_type(L, -1);
    const bool badInteger =
        types && types[i - 1] == 'i' && lua_isnumber(L, -1) && !toInt32(lua_tonumber(L, -1));
    lua_pop(L, 1);
    if (type != LUA_TNIL && type != LUA_TNUMBER && type != LUA_TSTRING)
      return luaL_error(L, "unhandled argument type return from call");
    if (badInteger) return luaL_error(L, "integer argument %d out of range in sendOSC", i);
  }

  char target[kUrlBytes + 1];
  std::snprintf(target, sizeof target, "%s", url);
  char* host = target;
  static const char kScheme[] = "osc.udp://";
  if (std::strncmp(host, kScheme, sizeof kScheme - 1) == 0) host += sizeof kScheme - 1;
  int port = -1;
  if (char* colon = std::strchr(host, ':')) {
    *colon = '\0';
    if (std::sscanf(colon + 1, "%d", &port) != 1) port = -1;
  }
  // As for reply addresses: a port is 1..65535, never taken modulo 65536.
  if (port < 1 || port > 65535) return luaL_error(L, "invalid port in sendOSC url: %s", url);

  char error[256] = {};
  if (!send(L, host, port, path, types, tableArg, count, error, sizeof error))
    return luaL_error(L, "%s", error);
  return 0;
}

}  // namespace QW
