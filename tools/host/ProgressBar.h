// A one-line progress bar on standard error, redrawn in place; it is only
// switched on for a terminal, so logs and pipes never see it.
#pragma once

#include <cstdint>

namespace vhost {

class ProgressBar {
 public:
  ProgressBar(bool enabled, int64_t total);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void update(int64_t done);
  void finish();

 private:
  bool enabled_;
  int64_t total_;
  int lastPercent_ = -1;
};

}  // namespace vhost
