#include "tools/host/FileIdentity.h"

#include <strings.h>
#include <sys/stat.h>

namespace vhost {

bool sameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool hasExtension(const std::string& name, const std::string& extension) {
  return name.size() > extension.size() &&
         strcasecmp(name.c_str() + name.size() - extension.size(), extension.c_str()) == 0;
}

}  // namespace vhost
