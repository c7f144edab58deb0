#include "platform/ScriptDiagnostics.h"

#include <cstdlib>
#include <cstring>

namespace platform {

bool spectralScriptErrorsWanted() {
  const char* value = std::getenv("VELDRANA_SCRIPT_ERRORS");
  return value && *value && std::strcmp(value, "0") != 0;
}

}  // namespace platform
