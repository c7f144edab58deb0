#include "gui/CarbonVSTEditor.h"

namespace QW {

CarbonVSTEditor::CarbonVSTEditor(AudioEffect* effect, int16_t width, int16_t height)
    : AEffEditor(effect) {
  setSize(width, height);
}

void CarbonVSTEditor::setSize(int16_t width, int16_t height) {
  rect_ = {0, 0, height, width};
}

bool CarbonVSTEditor::getRect(vst::ERect** rect) {
  *rect = &rect_;
  return true;
}

}  // namespace QW
