#include "platform/Preferences.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/Paths.h"

namespace platform {
namespace {

bool makeFolders(const std::string& folder) {
  if (folder.empty()) return false;
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  return true;
}

std::string trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const size_t last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

}  // namespace

Preferences::Preferences() {
  const std::string folder = configFolder();
  if (!folder.empty()) path_ = folder + "/preferences";
}

Preferences::Preferences(std::string path) : path_(std::move(path)) {}

bool Preferences::lookup(const std::string& name, std::string& value) const {
  if (path_.empty()) return false;
  std::ifstream in(path_);
  std::string line;
  bool found = false;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (trim(line.substr(0, eq)) != name) continue;
    value = trim(line.substr(eq + 1));
    found = true;  // the last line for a name wins, as a later write would
  }
  return found;
}

int32_t Preferences::readNumber(const std::string& name, int32_t defaultValue) const {
  std::string text;
  if (!lookup(name, text) || text.empty()) return defaultValue;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0') return defaultValue;
  if (value < INT32_MIN || value > UINT32_MAX) return defaultValue;
  // Stored as a 32-bit word: an unsigned form reads back as its bit pattern.
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

void Preferences::readString(const std::string& name, std::string& text) const {
  std::string value;
  if (lookup(name, value) && !value.empty()) text = value.substr(0, 255);
}

bool Preferences::writeNumber(const std::string& name, int32_t value) const {
  if (path_.empty()) return false;
  const size_t slash = path_.rfind('/');
  if (slash != std::string::npos && !makeFolders(path_.substr(0, slash))) return false;

  std::vector<std::string> lines;
  {
    std::ifstream in(path_);
    std::string line;
    while (std::getline(in, line)) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos && trim(line.substr(0, eq)) == name) continue;
      lines.push_back(line);
    }
  }
  lines.push_back(name + "=" + std::to_string(value));

  const std::string temp = path_ + ".tmp." + std::to_string(getpid());
  {
    std::ofstream out(temp, std::ios::trunc);
    for (const std::string& line : lines) out << line << '\n';
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path_.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace platform
