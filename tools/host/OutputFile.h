// A file that appears under its name only when complete: everything goes to
// a temporary file in the same folder, renamed over the target on commit()
// and deleted otherwise (also when the process dies of a signal).
#pragma once

#include <cstddef>
#include <string>

namespace vhost {

class OutputFile {
 public:
  // Throws HostError when the folder cannot take the file.
  explicit OutputFile(const std::string& target);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  int fd() const { return fd_; }
  const std::string& target() const { return target_; }
  void write(const void* data, size_t size);
  void commit();

 private:
  void discard();

  std::string target_;
  std::string temporary_;
  int fd_ = -1;
  int cleanupSlot_ = -1;
};

}  // namespace vhost
