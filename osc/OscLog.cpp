#include "osc/OscLog.h"

#include <cstdarg>
#include <cstdio>

namespace QW {

void OscLog(const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  std::fputs(line, stdout);
  std::fflush(stdout);
}

}  // namespace QW
