#include "core/GlobalSettings.h"

namespace QW {

std::atomic<int32_t> GlobalSettings::oscBasePort{kDefaultOscBasePort};
std::atomic<bool> GlobalSettings::oscOpenToNetwork{false};
std::atomic<bool> GlobalSettings::eyeCandy{true};
std::atomic<bool> GlobalSettings::constantRedraw{true};
std::atomic<bool> GlobalSettings::floatingTooltip{false};

}  // namespace QW
