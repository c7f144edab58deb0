#include "core/PreferencesDialog.h"

#include <cstdio>

#include "core/AudioEffect.h"
#include "core/GlobalSettings.h"
#include "platform/OpenUrl.h"

namespace QW {

void loadEditorPreferences(const platform::Preferences& preferences) {
  GlobalSettings::eyeCandy = preferences.readNumber(kPrefEyeCandy, 1) != 0;
  GlobalSettings::constantRedraw = preferences.readNumber(kPrefConstantRedraw, 1) != 0;
  GlobalSettings::floatingTooltip = preferences.readNumber(kPrefFloatingTooltip, 0) != 0;
}

PreferencesDialog::PreferencesDialog(AudioEffect* owner, platform::Preferences preferences)
    : openUrl(platform::openUrl),
      owner_(owner),
      preferences_(std::move(preferences)),
      product_("Veldrana") {
  char text[32];
  std::snprintf(text, sizeof text, "%d.%d.%d", 1, 0, 5);
  version_ = text;
  std::snprintf(text, sizeof text, "%d", GlobalSettings::oscBasePort.load());
  portText = text;
}

bool PreferencesDialog::checked(ControlId id) const {
  switch (id) {
    case kEyeCandy:
      return GlobalSettings::eyeCandy;
    case kConstantRedraw:
      return GlobalSettings::constantRedraw;
    case kFloatingTooltip:
      return GlobalSettings::floatingTooltip;
    default:
      return false;
  }
}

PreferencesDialog::Result PreferencesDialog::command(ControlId id) {
  if (result_ != kOpen || id < 1 || id > 144) return result_;
  auto toggle = [&](std::atomic<bool>& flag, const char* name) {
    flag = !flag;
    preferences_.writeNumber(name, flag ? 1 : 0);
  };
  switch (id) {
    case kOk: {
      int port = 0;
      const std::string text = portText.substr(0, 256);
      if (std::sscanf(text.c_str(), "%d", &port) == 1 && port > 0) {
        preferences_.writeNumber(kPrefOscBasePort, port);
        GlobalSettings::oscBasePort = port;
        // Re-applying the offset moves the OSC service to the new port.
        if (owner_) owner_->setParameter(0, owner_->getParameter(0));
      }
      result_ = kClosedOk;
      break;
    }
    case kCancel:
      result_ = kClosedCancel;
      break;
    case kWebAddress:
      if (openUrl) openUrl(kWebAddressUrl);
      break;
    case kFloatingTooltip:
      toggle(GlobalSettings::floatingTooltip, kPrefFloatingTooltip);
      break;
    case kEyeCandy:
      toggle(GlobalSettings::eyeCandy, kPrefEyeCandy);
      break;
    case kConstantRedraw:
      toggle(GlobalSettings::constantRedraw, kPrefConstantRedraw);
      break;
    default:
      break;
  }
  return result_;
}

}  // namespace QW
