// Lets a long-running command end cleanly on Ctrl-C or `kill`: while a
// StopRequest lives, SIGINT and SIGTERM only raise a flag that the command
// polls, so it can close the plug-in properly and exit 0. A second signal
// gets the previous handling (the crash guard's immediate exit), so a
// plug-in that hangs while closing can still be interrupted. One at a time.
#pragma once

namespace vhost {

class StopRequest {
 public:
  StopRequest();
  ~StopRequest();
  StopRequest(const StopRequest&) = delete;
  StopRequest& operator=(const StopRequest&) = delete;

  bool requested() const;
  // The signal that asked to stop, 0 while none has.
  int signal() const;
};

}  // namespace vhost
