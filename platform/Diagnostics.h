// Diagnostic output of the plug-in: everything goes to standard error, the
// host's log on Linux.
#pragma once

#include <string>

namespace platform {

// A failure the user should know of: "Error: <text>".
void showError(const std::string& text);
// A debugger line (what a Windows build would send to the debugger).
void debugOutput(const std::string& text);

}  // namespace platform
