#include "tools/host/ProgressBar.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace vhost {

namespace {
constexpr int kWidth = 40;
}

ProgressBar::ProgressBar(bool enabled, int64_t total)
    : enabled_(enabled && total > 0), total_(total) {}

ProgressBar::~ProgressBar() {
  finish();
}

void ProgressBar::update(int64_t done) {
  if (!enabled_) return;
  const int percent = static_cast<int>(100 * std::min(done, total_) / total_);
  if (percent == lastPercent_) return;
  lastPercent_ = percent;
  const int filled = percent * kWidth / 100;
  const std::string bar = std::string(filled, '#') + std::string(kWidth - filled, '.');
  std::fprintf(stderr, "\rrendering [%s] %3d%%", bar.c_str(), percent);
  std::fflush(stderr);
}

void ProgressBar::finish() {
  if (!enabled_) return;
  // Clear the line so the summary that follows starts clean.
  std::fprintf(stderr, "\r%*s\r", kWidth + 20, "");
  std::fflush(stderr);
  enabled_ = false;
}

}  // namespace vhost
