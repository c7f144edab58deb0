// A private X server for tests that need a display. It picks a free display
// number itself and reports it on a pipe, so parallel test processes never
// share one; it is stopped when the object goes.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

class PrivateXvfb {
 public:
  // extraArguments go to Xvfb after ours (e.g. "-extension", "GLX" for a
  // server without GLX).
  explicit PrivateXvfb(std::vector<std::string> extraArguments = {}) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const int devnull = ::open("/dev/null", O_WRONLY);
      dup2(devnull, 1);
      dup2(devnull, 2);
      std::vector<std::string> arguments = {"Xvfb",      "-displayfd", std::to_string(fds[1]),
                                            "-screen",   "0",          "1280x800x24",
                                            "-nolisten", "tcp",        "-noreset"};
      arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
      std::vector<char*> argv;
      for (std::string& a : arguments) argv.push_back(a.data());
      argv.push_back(nullptr);
      execvp("Xvfb", argv.data());
      _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
      close(fds[0]);
      return;
    }
    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&ready, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
  }
  ~PrivateXvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  PrivateXvfb(const PrivateXvfb&) = delete;
  PrivateXvfb& operator=(const PrivateXvfb&) = delete;

  // Empty when the server did not start.
  const std::string& display() const { return display_; }

  static bool installed() { return std::system("command -v Xvfb >/dev/null 2>&1") == 0; }

  // A server for a test suite to share; null when Xvfb is not installed or
  // did not start, which the suite's tests tell apart with installed().
  static std::unique_ptr<PrivateXvfb> startForSuite() {
    if (!installed()) return nullptr;
    auto server = std::make_unique<PrivateXvfb>();
    if (server->display().empty()) server.reset();
    return server;
  }

 private:
  pid_t pid_ = -1;
  std::string display_;
};
