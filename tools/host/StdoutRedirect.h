// Keeps standard output for our own results. Plug-ins print diagnostics with
// printf more often than one would hope; while this object lives, file
// descriptor 1 points at standard error, and std::cout writes to the real
// standard output through a private descriptor, so `--json` output stays
// parseable whatever the plug-in prints.
#pragma once

#include <memory>
#include <streambuf>
#include <vector>

namespace vhost {

class StdoutRedirect {
 public:
  StdoutRedirect();
  ~StdoutRedirect();
  StdoutRedirect(const StdoutRedirect&) = delete;
  StdoutRedirect& operator=(const StdoutRedirect&) = delete;

 private:
  class Buffer : public std::streambuf {
   public:
    explicit Buffer(int fd);
    ~Buffer() override;

   protected:
    int_type overflow(int_type c) override;
    int sync() override;

   private:
    bool flush();

    int fd_;
    std::vector<char> buffer_;
  };

  int savedStdout_ = -1;
  std::unique_ptr<Buffer> buffer_;
  std::streambuf* previous_ = nullptr;
};

}  // namespace vhost
