// How many connections this process holds to one X server: its sockets
// whose peer is the server's listening socket (a count of descriptors alone
// would not say which of them talk to the server).
#pragma once

#include <dirent.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdlib>
#include <string>

namespace xsockets {

// For a display such as ":5" or ":5.0"; Xlib connects to the path in the
// abstract namespace or on disk.
inline int connectionsTo(const std::string& display) {
  std::string wanted = display.substr(display.rfind(':') + 1);
  wanted = "/tmp/.X11-unix/X" + wanted.substr(0, wanted.find('.'));
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return -1;
  while (const dirent* e = readdir(dir)) {
    sockaddr_un peer{};
    socklen_t length = sizeof peer;
    const int fd = std::atoi(e->d_name);
    if (e->d_name[0] == '.' || fd == dirfd(dir) ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
        peer.sun_family != AF_UNIX || length <= offsetof(sockaddr_un, sun_path))
      continue;
    std::string path(peer.sun_path, length - offsetof(sockaddr_un, sun_path));
    if (path[0] == '\0') path.erase(0, 1);  // abstract name
    while (!path.empty() && path.back() == '\0') path.pop_back();
    count += path == wanted;
  }
  closedir(dir);
  return count;
}

}  // namespace xsockets
