// Whether two paths name one file, through links, symlinks or different
// spellings: the same device and inode.
#pragma once

#include <string>

namespace vhost {

// False when either does not exist (a new output cannot be the input).
bool sameFile(const std::string& a, const std::string& b);

// True when the name ends in the extension (".png"), in any case.
bool hasExtension(const std::string& name, const std::string& extension);

}  // namespace vhost
