#include "tools/host/OutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/host/CrashGuard.h"
#include "tools/host/HostError.h"

namespace vhost {

namespace {

HostError cannotWrite(const std::string& target, int error) {
  return failure("cannot write " + target + ": " + std::strerror(error));
}

// The permissions a file created normally would get, which mkstemp's 0600
// would otherwise replace.
mode_t defaultFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

OutputFile::OutputFile(const std::string& target) : target_(target) {
  struct stat st {};
  if (stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw failure("cannot write " + target + ": it is a directory");
  if (!target.empty() && target.back() == '/')
    throw failure("cannot write " + target + ": it names a directory");

  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string pattern = folder + "." + base + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = mkstemp(name.data());
  if (fd_ < 0) throw cannotWrite(target, errno);
  temporary_ = name.data();
  cleanupSlot_ = CrashGuard::registerTemporaryFile(temporary_.c_str());
}

OutputFile::~OutputFile() {
  discard();
}

void OutputFile::write(const void* data, size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd_, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      throw cannotWrite(target_, errno);
    }
    bytes += written;
    size -= static_cast<size_t>(written);
  }
}

void OutputFile::commit() {
  if (fchmod(fd_, defaultFileMode()) != 0 || fsync(fd_) != 0) throw cannotWrite(target_, errno);
  const int closed = close(fd_);
  fd_ = -1;
  if (closed != 0) throw cannotWrite(target_, errno);
  if (rename(temporary_.c_str(), target_.c_str()) != 0) throw cannotWrite(target_, errno);
  CrashGuard::unregisterTemporaryFile(cleanupSlot_);
  cleanupSlot_ = -1;
  temporary_.clear();
}

void OutputFile::discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
  CrashGuard::unregisterTemporaryFile(cleanupSlot_);
  cleanupSlot_ = -1;
}

}  // namespace vhost
