#include "tools/host/StdoutRedirect.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

namespace vhost {

namespace {
constexpr size_t kBufferSize = 8192;
}

StdoutRedirect::Buffer::Buffer(int fd) : fd_(fd), buffer_(kBufferSize) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

StdoutRedirect::Buffer::~Buffer() {
  flush();
}

StdoutRedirect::Buffer::int_type StdoutRedirect::Buffer::overflow(int_type c) {
  if (!flush()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int StdoutRedirect::Buffer::sync() {
  return flush() ? 0 : -1;
}

bool StdoutRedirect::Buffer::flush() {
  const char* data = pbase();
  size_t size = static_cast<size_t>(pptr() - pbase());
  while (size > 0) {
    const ssize_t written = write(fd_, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return true;
}

StdoutRedirect::StdoutRedirect() {
  std::fflush(stdout);
  savedStdout_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (savedStdout_ < 0) return;  // keep the plain stdout rather than lose output
  dup2(STDERR_FILENO, STDOUT_FILENO);
  buffer_ = std::make_unique<Buffer>(savedStdout_);
  previous_ = std::cout.rdbuf(buffer_.get());
}

StdoutRedirect::~StdoutRedirect() {
  if (savedStdout_ < 0) return;
  std::cout.flush();
  std::cout.rdbuf(previous_);
  buffer_.reset();
  std::fflush(stdout);
  dup2(savedStdout_, STDOUT_FILENO);
  close(savedStdout_);
}

}  // namespace vhost
