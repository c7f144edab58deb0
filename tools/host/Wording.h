// Counts in messages and reports: "1 channel", "2 channels".
#pragma once

#include <string>

namespace vhost {

inline std::string counted(long long count, const std::string& singular) {
  return std::to_string(count) + " " + singular + (count == 1 ? "" : "s");
}

}  // namespace vhost
