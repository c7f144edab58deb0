// Runs a program and captures what it prints and how it ends.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <future>
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

// A program running beside the test, for servers the test talks to while
// they run. Its output is collected in the background, so it never blocks
// on a full pipe. One that is still running when this is destroyed is
// killed, so a hanging program cannot hang the test.
class RunningProgram {
 public:
  RunningProgram(const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& environment = {});
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  pid_t pid() const { return pid_; }
  bool finished() const;
  // Waits at most `limit`, then kills the program (SIGKILL shows in the
  // result's `signal`). Call once.
  RunResult wait(std::chrono::milliseconds limit);

 private:
  pid_t pid_ = -1;
  std::future<RunResult> result_;
};

}  // namespace hosttest
