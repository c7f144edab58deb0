// Where the user's Lua scripts live and which of them are loaded.
#pragma once

#include <string>
#include <vector>

namespace platform {

// $VELDRANA_SCRIPTS_DIR when set (our host tool's --scripts), else
// <data folder>/Quillworks/<displayName>/Scripts/. Ends with '/'.
std::string scriptsFolder(const std::string& displayName);

// Full paths of the readable regular files ending in ".lua" in folder,
// sorted by name (byte order). A missing or unreadable folder gives none.
std::vector<std::string> listUserScripts(const std::string& folder);

// The part of a path after its last '/'.
std::string fileNameOf(const std::string& path);

}  // namespace platform
