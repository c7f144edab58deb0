// What the preferences panel ("About") shows and does, apart from drawing:
// the editor draws it and forwards the user's actions here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Preferences.h"

class AudioEffect;

namespace QW {

// Reads the three editor switches into the process-wide settings (missing
// values: eye candy on, constant redraw on, floating tooltip off).
void loadEditorPreferences(const platform::Preferences& preferences);

class PreferencesDialog {
 public:
  enum ControlId : int32_t {
    kOk = 1,
    kCancel = 2,
    kMakerLabel = 103,
    kWebAddress = 104,
    kProductLabel = 105,
    kVersionLabel = 106,
    kPreferencesGroup = 109,
    kFloatingTooltip = 110,
    kBasePortField = 141,
    kBasePortLabel = 142,
    kEyeCandy = 143,
    kConstantRedraw = 144,
  };
  enum Result : int32_t { kOpen = 0, kClosedOk = 1, kClosedCancel = 2 };

  static constexpr const char* kWebAddressUrl = "https://quillworks.example/veldrana";

  // owner may be null (then a new port is stored but nothing is moved).
  PreferencesDialog(AudioEffect* owner, platform::Preferences preferences);

  const std::string& productText() const { return product_; }
  const std::string& versionText() const { return version_; }
  // The port field's text as the user edits it.
  std::string portText;
  bool checked(ControlId id) const;

  // A command from the panel; answers the dialog's state afterwards.
  Result command(ControlId id);
  Result result() const { return result_; }

  // How the web address is opened; replaceable for tests.
  std::function<bool(const std::string&)> openUrl;

 private:
  AudioEffect* owner_;
  platform::Preferences preferences_;
  std::string product_;
  std::string version_;
  Result result_ = kOpen;
};

}  // namespace QW
