// Per-user settings that outlive a song: a "Name=value" text file in the
// user's configuration folder. Failures are silent: reads fall back to the
// caller's default and writes that cannot be made are dropped.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class Preferences {
 public:
  // The file in the user's configuration folder.
  Preferences();
  explicit Preferences(std::string path);

  int32_t readNumber(const std::string& name, int32_t defaultValue) const;
  // Replaces the file atomically (temporary file, then rename).
  bool writeNumber(const std::string& name, int32_t value) const;
  // Leaves text unchanged when the value is missing or empty.
  void readString(const std::string& name, std::string& text) const;

  const std::string& path() const { return path_; }

 private:
  bool lookup(const std::string& name, std::string& value) const;
  std::string path_;
};

}  // namespace platform
