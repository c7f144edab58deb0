#include "tools/host/OscPort.h"

#include "core/GlobalSettings.h"
#include "platform/Preferences.h"

namespace vhost {

OscPort oscPortFor(int offset) {
  const platform::Preferences preferences;
  OscPort port;
  port.basePort = preferences.readNumber(QW::kPrefOscBasePort, QW::kDefaultOscBasePort);
  port.offset = offset;
  port.preferencesFile = preferences.path();
  return port;
}

}  // namespace vhost
