// Values as a person types them ("2048", "-6 dB", "Hann"): the plug-in is
// asked what it displays at many normalized values, and the one whose
// display matches is taken. Works for any plug-in, as it only needs
// effGetParamDisplay and effGetParamLabel.
#pragma once

#include <cstdint>
#include <string>

#include "tools/host/PluginInstance.h"

namespace vhost {

struct FoundValue {
  float normalized = 0.0f;
  std::string display;  // what the plug-in shows at that value, label included
};

// The normalized value at which the parameter displays `typed`: an exact
// text match (ignoring case and blanks, with or without the label) first,
// else the value whose displayed number is nearest to the typed number,
// when that number lies within what the parameter can show and a unit typed
// with it is the parameter's own. The parameter is left as it was. Throws a
// usage HostError saying why nothing fits.
FoundValue findDisplayedValue(PluginInstance& plugin, int32_t index, const std::string& name,
                              const std::string& typed);

}  // namespace vhost
