// Where Veldrana's OSC server listens: the user's base port plus the
// instance's "OSC Port Offset". The base port is read exactly as the plug-in
// reads it, from the same preference file, so what the host prints is the
// port that is really open.
#pragma once

#include <string>

namespace vhost {

struct OscPort {
  int basePort = 0;
  int offset = 0;
  std::string preferencesFile;  // where the base port comes from; may not exist

  bool turnedOn() const { return offset != 0; }  // offset 0 turns the server off
  int port() const { return basePort + offset; }
};

// Reads the preference file each time, as a newly loaded plug-in does.
OscPort oscPortFor(int offset);

}  // namespace vhost
