#include "tests/tools/VeldranaHome.h"

#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/tools/OscTestSupport.h"

namespace hosttest {

namespace {

constexpr int kFirstBasePort = 30000;
constexpr int kBasePortStep = 20;
constexpr int kBasePortSlots = 1000;

void makeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0) throw std::runtime_error("cannot create " + path);
}

bool allFree(int base, const std::vector<int>& offsets) {
  for (const int offset : offsets)
    if (!udpPortIsFree(base + offset)) return false;
  return true;
}

}  // namespace

VeldranaHome::VeldranaHome(const std::vector<int>& offsets) {
  // Spread by process id, so test processes running side by side start
  // from different ports.
  const int first = static_cast<int>(getpid() % kBasePortSlots);
  for (int k = 0; k < kBasePortSlots && basePort_ == 0; ++k) {
    const int base = kFirstBasePort + (first + k) % kBasePortSlots * kBasePortStep;
    if (allFree(base, offsets)) basePort_ = base;
  }
  if (basePort_ == 0) throw std::runtime_error("no free UDP ports for the OSC server");

  makeFolder(path("config"));
  makeFolder(path("config/Quillworks"));
  makeFolder(path("config/Quillworks/Veldrana"));
  makeFolder(path("data"));
  writeText(path("config/Quillworks/Veldrana/preferences"),
            "OSC Base Port=" + std::to_string(basePort_) + "\n");
}

std::map<std::string, std::string> VeldranaHome::environment() const {
  // An empty VELDRANA_SCRIPTS_DIR counts as unset, and hides one the
  // developer may have exported.
  return {{"XDG_CONFIG_HOME", path("config")},
          {"XDG_DATA_HOME", path("data")},
          {"VELDRANA_SCRIPTS_DIR", ""}};
}

}  // namespace hosttest
