// Diagnostic lines of the OSC service on standard output. Several threads
// write them; each line goes out whole and at once, so a host's log (or a
// test capturing stdout) sees it even if the process dies right after.
#pragma once

namespace QW {

void OscLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace QW
