#include "osc/OSCAddressSpace.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/AudioUnitTypes.h"
#include "core/QwkAuBase.h"
#include "osc/OscInstanceDirectory.h"
#include "osc/OscLog.h"
#include "osc/OscLuaArguments.h"
#include "osc/OscMessageCheck.h"
#include "osc/OscOutboundPacketStream.h"
#include "osc/QwksAddress.h"
#include "osc/ReplyUrl.h"
#include "osc/ScanInt.h"
#include "osc/ScriptPaths.h"
#include "osc/SubscriberMap.h"
#include "osc/UdpSender.h"
#include "scripting/LuaMIDIHelper.h"

namespace QW {
namespace {

constexpr int kCallResults = 16;
constexpr int32_t kNoteChannel = 1;  // scripts see it as channel 2

bool startsWith(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The next argument as a string; oscpack's exceptions when it is missing or
// of another type.
const char* takeString(OscArgument& argument, const OscArgument& end) {
  if (argument == end) throw osc::MissingArgumentException();
  const char* text = argument->AsString();
  ++argument;
  return text;
}

// One message of a bundle or packet, checked for what oscpack misses.
osc::ReceivedMessage checkedMessage(const char* contents, osc::osc_bundle_element_size_t size) {
  CheckMessageBlobs(contents, static_cast<size_t>(size));
  return osc::ReceivedMessage(osc::ReceivedPacket(contents, size));
}

osc::ReceivedMessage checkedMessage(const osc::ReceivedBundleElement& element) {
  return checkedMessage(element.Contents(), element.Size());
}

// Velocity in 0..1 to the MIDI byte the scripts see: trunc(v * 127) in
// 32-bit float, low eight bits; anything not representable counts as 0.
int32_t velocityByte(float velocity) {
  const float scaled = velocity * 127.0f;
  if (!(scaled > -2147483648.0f && scaled < 2147483648.0f)) return 0;
  return static_cast<int32_t>(scaled) & 0xFF;
}

// A Lua call made in protected mode from start to end, so that neither
// looking the function up (a global may have a metamethod) nor pushing the
// arguments can raise an error outside pcall.
struct LuaCall {
  const char* global;  // looked up by name, or else
  int reference;       // a registry reference
  OscArgument begin;
  OscArgument end;
  int results;
};

int runLuaCall(lua_State* L) {
  const auto* call = static_cast<const LuaCall*>(lua_touserdata(L, 1));
  luaL_checkstack(L, 2, "OSC call");
  if (call->global)
    lua_getglobal(L, call->global);
  else
    lua_rawgeti(L, LUA_REGISTRYINDEX, call->reference);
  const int count = PushLuaArguments(L, call->begin, call->end);
  lua_call(L, count, call->results);
  return call->results;
}

// Restores the Lua stack however the scope is left.
class StackGuard {
 public:
  explicit StackGuard(lua_State* L) : L_(L), top_(lua_gettop(L)) {}
  ~StackGuard() { lua_settop(L_, top_); }
  StackGuard(const StackGuard&) = delete;
  StackGuard& operator=(const StackGuard&) = delete;
  int top() const { return top_; }

 private:
  lua_State* L_;
  int top_;
};

}  // namespace

const OSCAddressSpace::FixedCommand OSCAddressSpace::kFixedCommands[] = {
    {"/ping", &OSCAddressSpace::ping},
    {"/set", &OSCAddressSpace::set},
    {"/get", &OSCAddressSpace::get},
    {"/getAll", &OSCAddressSpace::getAll},
    {"/getAllRegistered", &OSCAddressSpace::getAllRegistered},
    {"/getNumParameters", &OSCAddressSpace::getNumParameters},
    {"/isParameterUsed", &OSCAddressSpace::isParameterUsed},
    {"/getInfo", &OSCAddressSpace::getInfo},
    {"/registerUpdate", &OSCAddressSpace::registerUpdate},
    {"/unregisterUpdate", &OSCAddressSpace::unregisterUpdate},
    {"/exec", &OSCAddressSpace::exec},
    {"/call", &OSCAddressSpace::call},
    {"/startNote", &OSCAddressSpace::startNote},
    {"/stopNote", &OSCAddressSpace::stopNote},
};

OSCAddressSpace::OSCAddressSpace(SubscriberMap& subscribers, ScriptPaths& paths)
    : subscribers_(subscribers), paths_(paths) {}

template <typename Arguments>
void OSCAddressSpace::reply(const char* url, const char* replyAddress, Arguments&& args) {
  Ipv4Endpoint to;
  if (!resolve(url, replyAddress, to)) return;
  char buffer[kReplyBytes];
  osc::OutboundPacketStream packet(buffer, sizeof buffer);
  packet << osc::BeginMessage(replyAddress);
  args(packet);
  packet << osc::EndMessage;
  send(to, packet);
}

void OSCAddressSpace::ProcessPacket(const char* data, size_t size,
                                    const Ipv4Endpoint& sender) noexcept {
  try {
    if (size > 0x7FFFFFFC) throw osc::MalformedPacketException("invalid packet size");
    const osc::ReceivedPacket packet(data, static_cast<osc::osc_bundle_element_size_t>(size));
    if (packet.IsBundle())
      processBundle(osc::ReceivedBundle(packet), sender, 1);
    else
      processMessage(checkedMessage(data, packet.Size()), sender);
  } catch (const osc::Exception& e) {
    OscLog("osc::Exception in TaskMain(): %s\n", e.what());
  } catch (const std::runtime_error& e) {
    OscLog("std::runtime_error in TaskMain(): %s\n", e.what());
  } catch (const std::exception& e) {
    OscLog("std::exception in TaskMain(): %s\n", e.what());
  }
}

void OSCAddressSpace::processBundle(const osc::ReceivedBundle& bundle, const Ipv4Endpoint& sender,
                                    int depth) {
  if (depth > kMaxBundleDepth) throw osc::MalformedBundleException("bundles nested too deeply");
  const auto first = bundle.ElementsBegin();
  if (first != bundle.ElementsEnd() && !first->IsBundle() &&
      startsWith(checkedMessage(*first).AddressPattern(), "/t3d/frm")) {
    processTouchFrame(bundle);
    return;
  }
  for (auto element = bundle.ElementsBegin(); element != bundle.ElementsEnd(); ++element) {
    if (element->IsBundle())
      processBundle(osc::ReceivedBundle(*element), sender, depth + 1);
    else
      processMessage(checkedMessage(*element), sender);
  }
}

// Touch frames come from multi-touch controllers at a high rate; their
// touches ("/t3d/tch<n>" with x, y, z and pressure) are read and checked
// but drive nothing in this product.
void OSCAddressSpace::processTouchFrame(const osc::ReceivedBundle& bundle) {
  for (auto element = bundle.ElementsBegin(); element != bundle.ElementsEnd(); ++element) {
    if (element->IsBundle()) continue;
    const osc::ReceivedMessage message = checkedMessage(*element);
    const char* address = message.AddressPattern();
    if (!startsWith(address, "/t3d/tch")) continue;
    try {
      int32_t touch = 0;
      ScanInt(address + 8, touch);
      float x, y, z, pressure;
      message.ArgumentStream() >> x >> y >> z >> pressure >> osc::EndMessage;
    } catch (const osc::Exception& e) {
      OscLog("error while parsing message: %s: %s\n", address, e.what());
    }
  }
}

void OSCAddressSpace::processMessage(const osc::ReceivedMessage& message,
                                     const Ipv4Endpoint& sender) {
  try {
    dispatch(message, sender);
  } catch (const osc::Exception& e) {
    OscLog("error while parsing message: %s: %s\n", message.AddressPattern(), e.what());
  }
}

void OSCAddressSpace::dispatch(const osc::ReceivedMessage& message, const Ipv4Endpoint& sender) {
  const char* address = message.AddressPattern();
  if (startsWith(address, "/qwks/")) {
    handleQwks(message);
    return;
  }
  // Scripts may take over any address, the fixed ones included.
  if (handleParameterPath(message) || handleFunctionPath(message)) return;
  for (const FixedCommand& command : kFixedCommands) {
    if (std::strcmp(address, command.address) == 0) {
      (this->*command.handler)(message, sender);
      return;
    }
  }
  OnUnhandledAddress(address, message, sender);
}

void OSCAddressSpace::handleQwks(const osc::ReceivedMessage& message) {
  const char* address = message.AddressPattern();
  const auto parsed = ParseQwksAddress(address + std::strlen("/qwks/"));
  if (!parsed) throw osc::Exception(address);
  auto arguments = message.ArgumentStream();
  for (const QwksTarget& target : parsed->targets) {
    float value;
    arguments >> value;
    // A named parameter would be looked up in the names an effect lists
    // through property 64005; this product lists none, so it finds nothing.
    if (!target.parameterIsIndex) continue;
    OscInstanceDirectory::instance().ForEachMatch(
        target.hasProduct ? &target.product : nullptr, target.everyInstance, target.instance,
        [&](QwkAuBase* effect) {
          uint32_t count = 0;
          if (effect->GetProperty(kQwkProperty_ParameterCount, 0, 0, &count) != kAudioUnitNoErr)
            return;
          if (target.index >= 0 && target.index < int64_t{count})
            effect->setParameterPlain(static_cast<int32_t>(target.index), value, true);
        });
  }
}

bool OSCAddressSpace::handleParameterPath(const osc::ReceivedMessage& message) {
  const std::vector<ParameterPath> registrations =
      paths_.ParameterPathsOf(message.AddressPattern());
  if (registrations.empty()) return false;
  // Every registration of one address has the same length.
  const size_t count = registrations.front().size();
  std::vector<float> values(count);
  auto arguments = message.ArgumentStream();
  for (float& value : values) arguments >> value;
  arguments >> osc::EndMessage;
  for (const ParameterPath& targets : registrations) {
    for (size_t i = 0; i < count && i < targets.size(); ++i) {
      const ParameterTarget& target = targets[i];
      effect_.effect->setParameterPlain(target.index, values[i] * target.scale + target.offset,
                                        true);
    }
  }
  return true;
}

bool OSCAddressSpace::handleFunctionPath(const osc::ReceivedMessage& message) {
  const std::vector<int> references = paths_.FunctionPathsOf(message.AddressPattern());
  if (references.empty()) return false;
  LuaMIDIHelper& lua = requireLua();
  CheckLuaConvertible(message.ArgumentsBegin(), message.ArgumentsEnd());
  std::lock_guard<std::recursive_mutex> lock(lua.LuaLock());
  lua_State* L = lua.GetLuaState();
  if (!L) throw osc::Exception("no Lua support from OSC");
  for (const int reference : references) {
    LuaCall call{nullptr, reference, message.ArgumentsBegin(), message.ArgumentsEnd(), 0};
    if (!lua_checkstack(L, 2)) throw osc::Exception("failed to pcall function");
    lua_pushcfunction(L, runLuaCall);
    lua_pushlightuserdata(L, &call);
    if (lua.CallProtected(1) != 0) throw osc::Exception("failed to pcall function");
  }
  return true;
}

LuaMIDIHelper& OSCAddressSpace::requireLua() const {
  if (!effect_.lua) throw osc::Exception("no Lua support from OSC");
  return *effect_.lua;
}

float OSCAddressSpace::valueOf(int32_t index) const {
  return effect_.effect->getParameterPlain(index);
}

bool OSCAddressSpace::resolve(const char* url, Ipv4Endpoint& endpoint) {
  const auto resolved = ResolveReplyUrl(url);
  if (!resolved) {
    OscLog("OSC: no reply sent to \"%.200s\" (no port, or the host is unknown)\n", url);
    return false;
  }
  endpoint = *resolved;
  return true;
}

bool OSCAddressSpace::resolve(const char* url, const char* address, Ipv4Endpoint& endpoint) {
  if (address[0] != '/') {
    OscLog("OSC: nothing sent to \"%.200s\" at \"%.200s\" (an OSC address begins with '/')\n", url,
           address);
    return false;
  }
  return resolve(url, endpoint);
}

void OSCAddressSpace::send(const Ipv4Endpoint& to, const osc::OutboundPacketStream& packet) {
  // A datagram that cannot go out is dropped like one lost on the way.
  SendDatagram(to, packet.Data(), packet.Size());
}

void OSCAddressSpace::ping(const osc::ReceivedMessage& message, const Ipv4Endpoint&) {
  const char* url;
  const char* replyAddress;
  message.ArgumentStream() >> url >> replyAddress >> osc::EndMessage;
  Ipv4Endpoint to;
  if (!resolve(url, replyAddress, to)) return;
  const uint32_t local = LocalAddressTowards(to);
  char self[64];
  std::snprintf(self, sizeof self, "osc.udp://%u.%u.%u.%u:%d", (local >> 24) & 0xFF,
                (local >> 16) & 0xFF, (local >> 8) & 0xFF, local & 0xFF, listeningPort_.load());
  char version[256];
  std::snprintf(version, sizeof version, "%s %d.%d.%d", effect_.displayName, 1, 0, 5);
  char buffer[kReplyBytes];
  osc::OutboundPacketStream packet(buffer, sizeof buffer);
  packet << osc::BeginMessage(replyAddress) << self << version << osc::EndMessage;
  send(to, packet);
}

void OSCAddressSpace::set(const osc::ReceivedMessage& message, const Ipv4Endpoint&) {
  osc::int32 index;
  float value;
  message.ArgumentStream() >> index >> value >> osc::EndMessage;
  if (!inRange(index)) throw osc::Exception("parameter id out of range in set");
  effect_.effect->setParameterPlain(index, value, true);
}

void OSCAddressSpace::get(const osc::ReceivedMessage& message, const Ipv4Endpoint&) {
  osc::int32 index;
  const char* url;
  const char* replyAddress;
  message.ArgumentStream() >> index >> url >> replyAddress >> osc::EndMessage;
  if (!inRange(index)) throw osc::Exception("parameter id out of range in get");
  reply(url, replyAddress, [&](osc::OutboundPacketStream& p) { p << index << valueOf(index); });
}

void OSCAddressSpace::getAll(const osc::ReceivedMessage& message, const Ipv4Endpoint&) {
  const char* url;
  const char* replyAddress;
  message.ArgumentStream() >> url >> replyAddress >> osc::EndMessage;
  Ipv4Endpoint to;
  if (!resolve(url, replyAddress, to)) return;
  char buffer[kReplyBytes];
  for (uint32_t i = 0; i < effect_.parameterCount; ++i) {
    const auto index = static_cast<int32_t>(i);
    if (!IsParameterUsed(index)) continue;
    osc::OutboundPacketStream packet(buffer, sizeof buffer);
    packet << osc::BeginMessage(replyAddress) << index << valueOf(index) << osc::EndMessage;
    send(to, packet);
  }
}

void OSCAddressSpace::getAllRegistered(const osc::ReceivedMessage&, const Ipv4Endpoint&) {
  char buffer[kReplyBytes];
  for (const auto& [index, subscriber] : subscribers_.All()) {
    osc::OutboundPacketStream packet(buffer, sizeof buffer);
    packet << osc::BeginMessage(subscriber.path.c_str()) << index << valueOf(index)
           << osc::EndMessage;
    send(subscriber.endpoint, packet);
  }
}

void OSCAddressSpace::getNumParameters(const osc::ReceivedMessage& message, const Ipv4Endpoint&) {
  const char* url;
  const char* replyAddress;
  message.ArgumentStream() >> url >> replyAddress >> osc::EndMessage;
  reply(url, replyAddress, [&](osc::OutboundPacketStream& p) {
    p << static_cast<osc::int32>(effect_.parameterCount);
  });
}

void OSCAddressSpace::isParameterUsed(const osc::ReceivedMessage& message, const Ipv4Endpoint&) {
  osc::int32 index;
  const char* url;
  const char* replyAddress;
  message.ArgumentStream() >> index >> url >> replyAddress >> osc::EndMessage;
  if (!inRange(index)) throw osc::Exception("parameter id out of range in isParameterUsed");
  reply(url, replyAddress,
        [&](osc::OutboundPacketStream& p) { p << index << IsParameterUsed(index); });
}

void OSCAddressSpace::getInfo(const osc::ReceivedMessage& message, const Ipv4Endpoint&) {
  osc::int32 index;
  const char* url;
  const char* replyAddress;
  message.ArgumentStream() >> index >> url >> replyAddress >> osc::EndMessage;
  if (!inRange(index)) throw osc::Exception("parameter id out of range in getInfo");
  if (!IsParameterUsed(index)) throw osc::Exception("parameter id is unused");
  const ParamSpec& row = effect_.table[index];
  reply(url, replyAddress, [&](osc::OutboundPacketStream& p) {
    p << index << row.minValue << row.maxValue << row.defaultValue << (row.name ? row.name : "")
      << static_cast<osc::int32>(row.unit);
  });
}

void OSCAddressSpace::registerUpdate(const osc::ReceivedMessage& message, const Ipv4Endpoint&) {
  osc::int32 index;
  const char* url;
  const char* path;
  message.ArgumentStream() >> index >> url >> path >> osc::EndMessage;
  if (!inRange(index)) throw osc::Exception("parameter id out of range in registerUpdate");
  Ipv4Endpoint to;
  if (!resolve(url, path, to)) return;
  subscribers_.Add(index, Subscriber{to, path});
}

void OSCAddressSpace::unregisterUpdate(const osc::ReceivedMessage& message, const Ipv4Endpoint&) {
  osc::int32 index;
  const char* url;
  const char* path;
  message.ArgumentStream() >> index >> url >> path >> osc::EndMessage;
  if (!inRange(index)) throw osc::Exception("parameter id out of range in registerUpdate");
  Ipv4Endpoint to;
  if (!resolve(url, to)) return;
  subscribers_.Remove(index, Subscriber{to, path});
}

void OSCAddressSpace::exec(const osc::ReceivedMessage& message, const Ipv4Endpoint&) {
  LuaMIDIHelper& lua = requireLua();
  OscArgument argument = message.ArgumentsBegin();
  const OscArgument end = message.ArgumentsEnd();
  const char* name = takeString(argument, end);
  CheckLuaConvertible(argument, end);
  std::lock_guard<std::recursive_mutex> lock(lua.LuaLock());
  lua_State* L = lua.GetLuaState();
  if (!L || !lua_checkstack(L, 2)) throw osc::Exception("failed to exec function");
  LuaCall call{name, 0, argument, end, 0};
  lua_pushcfunction(L, runLuaCall);
  lua_pushlightuserdata(L, &call);
  if (lua.CallProtected(1) != 0) throw osc::Exception("failed to exec function");
}

void OSCAddressSpace::call(const osc::ReceivedMessage& message, const Ipv4Endpoint&) {
  LuaMIDIHelper& lua = requireLua();
  OscArgument argument = message.ArgumentsBegin();
  const OscArgument end = message.ArgumentsEnd();
  const char* name = takeString(argument, end);
  const char* url = takeString(argument, end);
  const char* replyAddress = takeString(argument, end);
  CheckLuaConvertible(argument, end);

  char buffer[kReplyBytes];
  osc::OutboundPacketStream packet(buffer, sizeof buffer);
  {
    std::lock_guard<std::recursive_mutex> lock(lua.LuaLock());
    lua_State* L = lua.GetLuaState();
    if (!L) throw osc::Exception("failed to exec function");
    const StackGuard stack(L);
    if (!lua_checkstack(L, 2 + kCallResults)) throw osc::Exception("failed to exec function");
    LuaCall call{name, 0, argument, end, kCallResults};
    lua_pushcfunction(L, runLuaCall);
    lua_pushlightuserdata(L, &call);
    int status;
    {
      InstructionBudget::Scope budget(lua.budget(), "OSC call", name);
      status = lua_pcall(L, 1, kCallResults, 0);
    }
    if (status != 0) throw osc::Exception("failed to exec function");
    packet << osc::BeginMessage(replyAddress);
    for (int i = 1; i <= kCallResults; ++i) {
      const int at = stack.top() + i;
      if (lua_isnil(L, at)) break;
      if (lua_isnumber(L, at))
        packet << static_cast<float>(lua_tonumber(L, at));
      else if (lua_type(L, at) == LUA_TSTRING)
        packet << lua_tostring(L, at);
      else
        throw osc::Exception("unhandled argument type return from call");
    }
    packet << osc::EndMessage;
  }
  Ipv4Endpoint to;
  if (!resolve(url, replyAddress, to)) return;
  send(to, packet);
}

void OSCAddressSpace::startNote(const osc::ReceivedMessage& message, const Ipv4Endpoint&) {
  osc::int32 note;
  float velocity;
  message.ArgumentStream() >> note >> velocity >> osc::EndMessage;
  if (effect_.lua) effect_.lua->NoteOn(kNoteChannel, note & 0xFF, velocityByte(velocity));
}

void OSCAddressSpace::stopNote(const osc::ReceivedMessage& message, const Ipv4Endpoint&) {
  osc::int32 note;
  float velocity;
  message.ArgumentStream() >> note >> velocity >> osc::EndMessage;
  if (effect_.lua) effect_.lua->NoteOff(kNoteChannel, note & 0xFF, velocityByte(velocity));
}

}  // namespace QW
