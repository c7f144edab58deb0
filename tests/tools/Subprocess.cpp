#include "tests/tools/Subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace hosttest {

namespace {

class Pipe {
 public:
  Pipe() {
    if (pipe(fds_) != 0) throw std::runtime_error("pipe failed");
  }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  int read() const { return fds_[0]; }
  int write() const { return fds_[1]; }
  void closeRead() { closeEnd(0); }
  // The read end, now owned by the caller.
  int releaseRead() {
    const int fd = fds_[0];
    fds_[0] = -1;
    return fd;
  }
  void closeWrite() { closeEnd(1); }

 private:
  void closeEnd(int end) {
    if (fds_[end] >= 0) close(fds_[end]);
    fds_[end] = -1;
  }
  int fds_[2] = {-1, -1};
};

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& extra) {
  std::vector<std::string> merged;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (!extra.count(name)) merged.push_back(text);
  }
  for (const auto& [name, value] : extra) merged.push_back(name + "=" + value);
  return merged;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (auto& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

struct Spawned {
  pid_t pid;
  int out;  // read ends of the program's standard output and error
  int err;
};

Spawned spawn(const std::vector<std::string>& argv,
              const std::map<std::string, std::string>& environment, const std::string& directory) {
  Pipe out, err;
  SpawnActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(actions.get(), out.write(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.get(), err.write(), STDERR_FILENO);
  posix_spawn_file_actions_addclose(actions.get(), out.read());
  posix_spawn_file_actions_addclose(actions.get(), err.read());
  if (!directory.empty()) posix_spawn_file_actions_addchdir_np(actions.get(), directory.c_str());

  std::vector<std::string> args = argv;
  std::vector<std::string> env = mergedEnvironment(environment);
  const auto argPointers = pointers(args);
  const auto envPointers = pointers(env);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, args[0].c_str(), actions.get(), nullptr, argPointers.data(),
                                  envPointers.data());
  if (spawned != 0) throw std::runtime_error("cannot run " + args[0] + ": " + strerror(spawned));
  return {pid, out.releaseRead(), err.releaseRead()};
}

// Reads both pipes to their end, closes them and reaps the program.
RunResult collect(Spawned program) {
  RunResult result;
  pollfd fds[2] = {{program.out, POLLIN, 0}, {program.err, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  close(program.out);
  close(program.err);
  int status = 0;
  while (waitpid(program.pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

}  // namespace

RunResult runProgram(const std::vector<std::string>& argv,
                     const std::map<std::string, std::string>& environment,
                     const std::string& directory) {
  return collect(spawn(argv, environment, directory));
}

RunningProgram::RunningProgram(const std::vector<std::string>& argv,
                               const std::map<std::string, std::string>& environment) {
  const Spawned program = spawn(argv, environment, "");
  pid_ = program.pid;
  result_ = std::async(std::launch::async, collect, program);
}

RunningProgram::~RunningProgram() {
  if (result_.valid()) wait(std::chrono::milliseconds(0));
}

bool RunningProgram::finished() const {
  return result_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

RunResult RunningProgram::wait(std::chrono::milliseconds limit) {
  if (result_.wait_for(limit) != std::future_status::ready) kill(pid_, SIGKILL);
  return result_.get();
}

}  // namespace hosttest
