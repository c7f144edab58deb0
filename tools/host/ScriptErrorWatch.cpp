#include "tools/host/ScriptErrorWatch.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "tools/host/HostError.h"
#include "tools/host/Wording.h"

namespace vhost {

namespace {

constexpr const char* kErrorPrefix = "@@@ ";
constexpr size_t kLongestKeptLine = 1000;
// settle() writes one NUL byte down the pipe and waits for the reader to
// reach it: then everything printed before it has been counted. Plug-ins
// print text, so a NUL of theirs is unlikely, and would only end a wait early.
constexpr char kMarker = '\0';
// Only a reader that stopped reading could take this long.
constexpr auto kSettleLimit = std::chrono::seconds(30);

void closeIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

ScriptErrorWatch::ScriptErrorWatch() {
  int data[2] = {-1, -1};
  int stop[2] = {-1, -1};
  if (pipe2(data, O_CLOEXEC) != 0 || pipe2(stop, O_CLOEXEC) != 0) {
    const std::string reason = std::strerror(errno);
    for (int fd : {data[0], data[1], stop[0], stop[1]})
      if (fd >= 0) close(fd);
    throw failure("cannot watch the plug-in's output for --strict: " + reason);
  }
  readEnd_ = data[0];
  stopRead_ = stop[0];
  stopWrite_ = stop[1];
  std::fflush(stdout);
  savedStdout_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (savedStdout_ < 0 || dup2(data[1], STDOUT_FILENO) < 0) {
    const std::string reason = std::strerror(errno);
    close(data[1]);
    closeIfOpen(savedStdout_);
    closeIfOpen(readEnd_);
    closeIfOpen(stopRead_);
    closeIfOpen(stopWrite_);
    throw failure("cannot watch the plug-in's output for --strict: " + reason);
  }
  close(data[1]);
  reader_ = std::thread([this] { pump(); });
}

ScriptErrorWatch::~ScriptErrorWatch() {
  settle();
  dup2(savedStdout_, STDOUT_FILENO);
  const char stop = 1;
  while (write(stopWrite_, &stop, 1) < 0 && errno == EINTR) {
  }
  reader_.join();
  closeIfOpen(savedStdout_);
  closeIfOpen(readEnd_);
  closeIfOpen(stopRead_);
  closeIfOpen(stopWrite_);
}

void ScriptErrorWatch::requireNone() {
  settle();
  const std::lock_guard<std::mutex> lock(mutex_);
  if (errors_ == 0) return;
  throw failure("--strict: the plug-in reported " +
                counted(static_cast<long long>(errors_), "script error") +
                ", the first: " + firstError_);
}

void ScriptErrorWatch::settle() {
  std::fflush(stdout);
  uint64_t wanted = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    wanted = ++markersSent_;
  }
  // Written without the lock: a full pipe waits for the reader, which may
  // need the lock to get on.
  ssize_t written;
  do {
    written = write(STDOUT_FILENO, &kMarker, 1);
  } while (written < 0 && errno == EINTR);
  std::unique_lock<std::mutex> lock(mutex_);
  if (written != 1) {
    --markersSent_;
    return;
  }
  markerSeen_.wait_for(lock, kSettleLimit, [&] { return markersSeen_ >= wanted; });
}

void ScriptErrorWatch::pump() {
  char buffer[4096];
  pollfd fds[2] = {{readEnd_, POLLIN, 0}, {stopRead_, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if (fds[0].revents == 0) continue;
    const ssize_t got = read(readEnd_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    take(buffer, static_cast<size_t>(got));
  }
}

void ScriptErrorWatch::take(const char* data, size_t size) {
  size_t from = 0;
  for (size_t i = 0; i < size; ++i) {
    const char c = data[i];
    if (c == kMarker) {
      forward(data + from, i - from);
      from = i + 1;
      const std::lock_guard<std::mutex> lock(mutex_);
      ++markersSeen_;
      markerSeen_.notify_all();
      continue;
    }
    if (c != '\n') {
      if (line_.size() < kLongestKeptLine)
        line_ += c;
      else
        lineCut_ = true;
      continue;
    }
    if (line_.rfind(kErrorPrefix, 0) == 0) {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (errors_++ == 0)
        firstError_ = line_.substr(std::strlen(kErrorPrefix)) + (lineCut_ ? "..." : "");
    }
    line_.clear();
    lineCut_ = false;
  }
  forward(data + from, size - from);
}

void ScriptErrorWatch::forward(const char* data, size_t size) const {
  while (size > 0) {
    const ssize_t written = write(savedStdout_, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
}

}  // namespace vhost
