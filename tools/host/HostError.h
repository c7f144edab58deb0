// The one error type the host throws. main() turns it into a single
// "veldrana-host: ..." line and the exit code carried here, so every failure
// path ends the same way no matter how deep it started.
#pragma once

#include <stdexcept>
#include <string>

namespace vhost {

enum ExitCode : int {
  kExitOk = 0,
  kExitFailure = 1,  // files, audio, parameters, chunks
  kExitUsage = 2,    // the command line itself is wrong
  kExitLoad = 3,     // the plug-in cannot be loaded or cannot do the job
  kExitCrash = 4,    // a fatal signal, almost always inside the plug-in
};

class HostError : public std::runtime_error {
 public:
  HostError(ExitCode code, const std::string& message) : std::runtime_error(message), code_(code) {}
  ExitCode code() const { return code_; }

 private:
  ExitCode code_;
};

inline HostError usageError(const std::string& message) {
  return {kExitUsage, message};
}
inline HostError loadError(const std::string& message) {
  return {kExitLoad, message};
}
inline HostError failure(const std::string& message) {
  return {kExitFailure, message};
}

}  // namespace vhost
