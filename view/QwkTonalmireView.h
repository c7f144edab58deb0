// The effect's own editor.
#pragma once

#include "gui/CarbonVSTEditor.h"

class QwkTonalmireView : public QW::CarbonVSTEditor {
 public:
  static constexpr int16_t kDefaultWidth = 1024;
  static constexpr int16_t kDefaultHeight = 512;

  explicit QwkTonalmireView(AudioEffect* effect);
  ~QwkTonalmireView() override;

 protected:
  std::unique_ptr<QW::Manager> createManager() override;
};
