// Per-user folders of the Linux build (XDG base directories).
#pragma once

#include <string>

namespace platform {

// $XDG_CONFIG_HOME/Quillworks/Veldrana, else ~/.config/Quillworks/Veldrana;
// empty when neither variable gives a folder.
std::string configFolder();
// $XDG_DATA_HOME, else $HOME/.local/share, else empty.
std::string dataFolder();

}  // namespace platform
