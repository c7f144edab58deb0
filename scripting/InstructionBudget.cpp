#include "scripting/InstructionBudget.h"

#include "scripting/RealtimeScope.h"

namespace QW {
namespace {
const char kBudgetKey[] = "QW::InstructionBudget";
}  // namespace

void InstructionBudget::Install(lua_State* L) {
  state_ = L;
  lua_pushlightuserdata(L, const_cast<char*>(kBudgetKey));
  lua_pushlightuserdata(L, this);
  lua_rawset(L, LUA_REGISTRYINDEX);
  lua_sethook(L, Hook, LUA_MASKCOUNT, kHookInterval);
}

InstructionBudget::Scope::Scope(InstructionBudget& budget, const char* what, const char* name)
    : budget_(budget) {
  if (budget_.depth_++ == 0) {
    budget_.limit_ = RealtimeScope::active() ? kRealtimeLimit : kLimit;
    budget_.remaining_ = budget_.limit_;
    budget_.what_ = what;
    budget_.name_ = name;
    // A previous runaway may have left the main thread hooked at every
    // instruction.
    if (budget_.state_) lua_sethook(budget_.state_, Hook, LUA_MASKCOUNT, kHookInterval);
  }
}

InstructionBudget::Scope::~Scope() {
  --budget_.depth_;
}

void InstructionBudget::Hook(lua_State* L, lua_Debug* ar) {
  lua_pushlightuserdata(L, const_cast<char*>(kBudgetKey));
  lua_rawget(L, LUA_REGISTRYINDEX);
  auto* budget = static_cast<InstructionBudget*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  if (budget) budget->charge(L, ar);
}

void InstructionBudget::charge(lua_State* L, lua_Debug* ar) {
  if (depth_ == 0) return;  // an entry we do not watch
  remaining_ -= lua_gethookcount(L);
  if (remaining_ > 0) return;
  if (remaining_ + lua_gethookcount(L) > 0) {
    // First time over the limit in this entry: say which script it was.
    lua_getinfo(L, "Sl", ar);
    if (aborts_ < kReportedAborts) {
      const char* format = "%s:%d: %s%s%s%s stopped after %lld Lua instructions (endless loop?)\n";
      const long long limit = limit_;
      const char* open = name_ ? " \"" : "";
      const char* name = name_ ? name_ : "";
      const char* close = name_ ? "\"" : "";
      if (RealtimeScope::active())
        deferred_.Post(format, ar->short_src, ar->currentline, what_, open, name, close, limit);
      else
        LogError(format, ar->short_src, ar->currentline, what_, open, name, close, limit);
    }
    ++aborts_;
  }
  // From now on every instruction raises again, so a script that catches
  // the error with pcall cannot keep running.
  lua_sethook(L, Hook, LUA_MASKCOUNT, 1);
  luaL_where(L, 0);  // the running Lua function, not the hook's caller
  lua_pushliteral(L, "instruction limit exceeded");
  lua_concat(L, 2);
  lua_error(L);
}

}  // namespace QW
