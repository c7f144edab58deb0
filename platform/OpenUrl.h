// Opens a web address in the user's browser.
#pragma once

#include <string>

namespace platform {

// Runs xdg-open detached; answers false when it could not be started.
bool openUrl(const std::string& url);

}  // namespace platform
