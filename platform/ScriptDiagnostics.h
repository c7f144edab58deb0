// Whether the user asked for the errors of spectral scripts. They run on
// every frame and are quiet by default; a script's author trying it out
// (our host tool's --verbose and --strict) sets VELDRANA_SCRIPT_ERRORS=1.
#pragma once

namespace platform {

bool spectralScriptErrorsWanted();

}  // namespace platform
