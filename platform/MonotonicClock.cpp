#include "platform/MonotonicClock.h"

#include <chrono>

namespace platform {
namespace {
// Initialised while the library's static objects are constructed, so the
// clock starts when the library loads rather than at the first script call.
const std::chrono::steady_clock::time_point loadTime = std::chrono::steady_clock::now();
}  // namespace

double secondsSinceLoad() {
  const auto elapsed = std::chrono::steady_clock::now() - loadTime;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
  return static_cast<double>(ms) * 0.001;
}

}  // namespace platform
