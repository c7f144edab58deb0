// A bounds check of one OSC message before oscpack parses it. oscpack
// 1.1.0 forgets to throw for a blob whose size runs past the message end
// (and reads the size of a blob that has none), so a hostile datagram
// would make it read outside the packet. This walk rejects those; every
// other fault is left for oscpack to report with its own texts.
#pragma once

#include <cstddef>

namespace QW {

// Throws osc::MalformedMessageException("arguments exceed message size")
// for a blob that does not fit.
void CheckMessageBlobs(const char* message, size_t size);

}  // namespace QW
