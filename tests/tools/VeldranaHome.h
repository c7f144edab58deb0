// A Veldrana user of the test's own: empty configuration and data folders in
// a scratch folder, so the developer's scripts and preferences never change
// what a test sees, and an OSC base port chosen so the ports the test will
// use are free.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/tools/HostTestSupport.h"

namespace hosttest {

class VeldranaHome {
 public:
  // base port + each of `offsets` is free when this returns.
  explicit VeldranaHome(const std::vector<int>& offsets = {});

  int basePort() const { return basePort_; }
  // XDG_CONFIG_HOME and XDG_DATA_HOME for the host, and no
  // VELDRANA_SCRIPTS_DIR.
  std::map<std::string, std::string> environment() const;
  // A path inside the scratch folder, for the test's own files.
  std::string path(const std::string& name) const { return dir_.path(name); }

 private:
  ScratchDir dir_;
  int basePort_ = 0;
};

}  // namespace hosttest
