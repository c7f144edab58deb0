// Colours that every editor of the process shares: the layout script sets
// them for all open editors at once.
#pragma once

#include "gui/Bounds.h"

namespace QW {

struct SharedStyle {
  static Colour groupActiveColour();    // default 0.5, 0.8, 1.0, 0.6
  static Colour groupInactiveColour();  // default 0.5, 0.5, 0.5, 0.5
  static Colour bannerTextColour();     // default 0.5, 0.5, 0.5, 1.0
  static void setGroupActiveColour(Colour c);
  static void setGroupInactiveColour(Colour c);
  static void setBannerTextColour(Colour c);
};

}  // namespace QW
