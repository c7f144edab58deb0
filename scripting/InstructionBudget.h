// Stops a script entry (a callback, a spectral run, a script's loading)
// that runs away: a count hook charges every Lua instruction of the
// outermost entry against a limit that depends on the thread it runs on and raises a Lua error once
// it is spent, with an "@@@ " line naming the script. Nested entries share the outer entry's
// budget.
#pragma once

#include <cstdint>

#include "scripting/LuaHeaders.h"
#include "scripting/ScriptLog.h"

namespace QW {

class InstructionBudget {
 public:
  // Entries on the audio thread (spectral runs, MIDI from the host): about
  // 50 to 200 ms of plain Lua on a current machine, far above what a
  // spectral run over 2049 bins or a MIDI callback needs, short enough that
  // a stuck script costs the host one audible glitch, not a hang.
  static constexpr int64_t kRealtimeLimit = 10000000;
  // Entries on other threads (loading, timers, OSC calls): the audio thread
  // never waits for them, so they get twenty times as much: room for real
  // set-up work (a loop over millions of entries), and still only a second
  // or two before a script that never stops is ended.
  static constexpr int64_t kLimit = 200000000;
  static constexpr int kHookInterval = 1000;
  // Abort lines are written for the first few runaways only; a script stuck
  // in every frame would otherwise flood the host's log.
  static constexpr int kReportedAborts = 16;

  // Installs the count hook on L and remembers the budget in L's registry.
  void Install(lua_State* L);

  // Arms the budget for the outermost entry; what ("MIDI callback",
  // "spectral script") and the optional name ("Gate") go into the abort
  // line. Both must outlive the scope.
  class Scope {
   public:
    Scope(InstructionBudget& budget, const char* what, const char* name = nullptr);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    InstructionBudget& budget_;
  };

  // Lines raised on a real-time thread wait here; see Flush.
  DeferredLog& deferred() { return deferred_; }
  int aborts() const { return aborts_; }

 private:
  static void Hook(lua_State* L, lua_Debug* ar);
  void charge(lua_State* L, lua_Debug* ar);

  lua_State* state_ = nullptr;
  int depth_ = 0;
  int64_t remaining_ = 0;
  int64_t limit_ = 0;
  const char* what_ = "";
  const char* name_ = nullptr;
  int aborts_ = 0;
  DeferredLog deferred_;
};

}  // namespace QW
