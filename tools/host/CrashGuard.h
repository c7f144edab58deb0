// Turns a fatal signal (almost always a plug-in fault) or an interruption
// into one "veldrana-host: ..." line and an exit code, after deleting the
// temporary output files that would otherwise be left behind.
#pragma once

namespace vhost {

class CrashGuard {
 public:
  static void install();
  // Returns a slot for unregister, or -1 when all slots are taken (the file
  // then simply is not cleaned up after a crash).
  static int registerTemporaryFile(const char* path);
  static void unregisterTemporaryFile(int slot);
  // Names what the host is doing ("running the plug-in"), for the message;
  // the text must outlive the call, a literal is best.
  static void setActivity(const char* activity);

  // Sets an activity for the lifetime of a scope.
  class Activity {
   public:
    explicit Activity(const char* activity) { setActivity(activity); }
    ~Activity() { setActivity(nullptr); }
    Activity(const Activity&) = delete;
    Activity& operator=(const Activity&) = delete;
  };
};

}  // namespace vhost
