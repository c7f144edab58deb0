// Runs a program and captures what it prints and how it ends.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace hosttest {

struct RunResult {
  int exitCode = -1;  // -1 when killed by a signal
  int signal = 0;
  std::string out;
  std::string err;
};

// `environment` entries are added to (or replace) this process's variables;
// `directory`, when given, is the child's working folder.
RunResult runProgram(const std::vector<std::string>& argv,
                     const std::map<std::string, std::string>& environment = {},
                     const std::string& directory = "");

}  // namespace hosttest
