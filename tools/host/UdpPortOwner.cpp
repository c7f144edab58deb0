#include "tools/host/UdpPortOwner.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <thread>

namespace vhost {

namespace {

using Inodes = std::set<unsigned long>;

// The socket inodes of every socket bound to `port`, IPv4 and IPv6: a
// dual-stack IPv6 socket takes the IPv4 port too.
Inodes socketsOnPort(int port) {
  Inodes inodes;
  for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);  // the column names
    while (std::getline(in, line)) {
      unsigned int localPort = 0;
      unsigned long inode = 0;
      if (std::sscanf(
              line.c_str(),
              " %*d: %*[0-9A-Fa-f]:%x %*[0-9A-Fa-f]:%*x %*x %*x:%*x %*x:%*x %*x %*u %*d %lu",
              &localPort, &inode) == 2 &&
          static_cast<int>(localPort) == port && inode != 0)
        inodes.insert(inode);
    }
  }
  return inodes;
}

Inodes ownSockets() {
  Inodes inodes;
  DIR* folder = opendir("/proc/self/fd");
  if (!folder) return inodes;
  while (const dirent* entry = readdir(folder)) {
    char target[64] = {};
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    if (readlink(link.c_str(), target, sizeof target - 1) <= 0) continue;
    unsigned long inode = 0;
    if (std::sscanf(target, "socket:[%lu]", &inode) == 1) inodes.insert(inode);
  }
  closedir(folder);
  return inodes;
}

}  // namespace

UdpPortWatch::UdpPortWatch() : before_(ownSockets()) {}

UdpPortOwner UdpPortWatch::waitForOwner(int port, std::chrono::milliseconds limit) const {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const Inodes onPort = socketsOnPort(port);
    if (!onPort.empty()) {
      const Inodes own = ownSockets();
      for (const unsigned long inode : onPort)
        if (own.count(inode) && !before_.count(inode)) return UdpPortOwner::kThisProcess;
      // Without SO_REUSEADDR nobody else can bind it while that lasts.
      return UdpPortOwner::kOtherProgram;
    }
    if (std::chrono::steady_clock::now() >= deadline) return UdpPortOwner::kNobody;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace vhost
