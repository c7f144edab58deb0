// The editor window bridge between the host and the editor framework.
#pragma once

#include "core/AEffEditor.h"

namespace QW {

class CarbonVSTEditor : public AEffEditor {
 public:
  CarbonVSTEditor(AudioEffect* effect, int16_t width, int16_t height);

  bool getRect(vst::ERect** rect) override;
  void setSize(int16_t width, int16_t height);

 protected:
  vst::ERect rect_{};
};

}  // namespace QW
