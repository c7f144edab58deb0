// How many connections this process holds to one X server, counted from
// its own open sockets: a connection an editor forgets to close stays an
// open socket whose peer is the server's listening socket, and a count of
// descriptors alone would not say which of them talk to the server.
#pragma once

#include <dirent.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdlib>
#include <string>

namespace xsockets {

// The local socket path the server listens on for a display name such as
// ":5" or ":5.0"; Xlib connects to it in the abstract namespace or on disk.
inline std::string serverPath(const std::string& display) {
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return {};
  std::string number = display.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  return "/tmp/.X11-unix/X" + number;
}

// Sockets among /proc/self/fd whose peer is that server.
inline int connectionsTo(const std::string& display) {
  const std::string wanted = serverPath(display);
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return -1;
  const int own = dirfd(dir);
  while (const dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const int fd = std::atoi(e->d_name);
    if (fd == own) continue;
    sockaddr_un peer{};
    socklen_t length = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) continue;
    if (peer.sun_family != AF_UNIX || length <= offsetof(sockaddr_un, sun_path)) continue;
    std::string path(peer.sun_path, length - offsetof(sockaddr_un, sun_path));
    if (!path.empty() && path[0] == '\0') path.erase(0, 1);  // abstract name
    while (!path.empty() && path.back() == '\0') path.pop_back();
    if (path == wanted) ++count;
  }
  closedir(dir);
  return count;
}

}  // namespace xsockets
