#include "scripting/RealtimeScope.h"

namespace QW {
namespace {
thread_local bool realtimeThread = false;
}  // namespace

RealtimeScope::RealtimeScope() : previous_(realtimeThread) {
  realtimeThread = true;
}

RealtimeScope::~RealtimeScope() {
  realtimeThread = previous_;
}

bool RealtimeScope::active() {
  return realtimeThread;
}

}  // namespace QW
