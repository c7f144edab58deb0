// Marks the stretches of a thread that run under the host's audio deadline
// (MIDI handling and spectral runs), so that the Lua allocator does not go
// to the system there. Nests; thread-local.
#pragma once

namespace QW {

class RealtimeScope {
 public:
  RealtimeScope();
  ~RealtimeScope();
  RealtimeScope(const RealtimeScope&) = delete;
  RealtimeScope& operator=(const RealtimeScope&) = delete;

  static bool active();

 private:
  bool previous_;
};

}  // namespace QW
