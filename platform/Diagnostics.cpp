#include "platform/Diagnostics.h"

#include <cstdio>

namespace platform {

void showError(const std::string& text) {
  std::fprintf(stderr, "Error: %s\n", text.c_str());
}

void debugOutput(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
}

}  // namespace platform
