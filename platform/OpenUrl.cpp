#include "platform/OpenUrl.h"

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace platform {

bool openUrl(const std::string& url) {
  if (url.empty()) return false;
  // xdg-open may keep running for the browser's lifetime; it is started as
  // its own process and reaped by a short-lived intermediate so the host is
  // left with neither a zombie nor a blocked thread.
  const char* shell[] = {"/bin/sh", "-c", "xdg-open \"$0\" >/dev/null 2>&1 &", url.c_str(),
                         nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(shell), environ) !=
      0)
    return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace platform
