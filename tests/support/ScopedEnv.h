// An environment variable changed for the life of the object and then put
// back as it was, so one test's display or preferences folder never leaks
// into the next.
#pragma once

#include <stdlib.h>

#include <string>
#include <utility>

class ScopedEnv {
 public:
  // A null value unsets the variable.
  ScopedEnv(std::string name, const char* value) : name_(std::move(name)) {
    const char* old = getenv(name_.c_str());
    had_ = old != nullptr;
    if (old) saved_ = old;
    if (value)
      setenv(name_.c_str(), value, 1);
    else
      unsetenv(name_.c_str());
  }
  ~ScopedEnv() {
    if (had_)
      setenv(name_.c_str(), saved_.c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string saved_;
  bool had_ = false;
};

// A T made while XDG_CONFIG_HOME names no folder: a manager reads its
// preferences as it is made, and a test wants none of the machine's.
template <typename T, typename... Args>
T makeWithoutPreferences(Args&&... args) {
  const ScopedEnv noPreferences("XDG_CONFIG_HOME", "/nonexistent-veldrana-test");
  return T(std::forward<Args>(args)...);
}
