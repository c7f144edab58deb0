// Who holds a UDP port, read from the kernel's socket tables: this process
// (a plug-in loaded here opened it) or another program. The port a plug-in
// asks for is bound by its own thread some time later, or never when it is
// taken, so the host looks instead of assuming.
#pragma once

#include <chrono>
#include <set>

namespace vhost {

enum class UdpPortOwner { kThisProcess, kOtherProgram, kNobody };

class UdpPortWatch {
 public:
  // Made before the plug-in is loaded: sockets this process already has
  // (inherited from whoever started it) are not the plug-in's.
  UdpPortWatch();

  // Looks until a socket opened since holds `port`, anyone else is found
  // holding it, or `limit` has passed (kNobody).
  UdpPortOwner waitForOwner(int port, std::chrono::milliseconds limit) const;

 private:
  std::set<unsigned long> before_;
};

}  // namespace vhost
