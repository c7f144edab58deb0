// A structural check of a Standard MIDI File before libsmf sees it. libsmf
// trusts the chunk lengths it reads (a cut file makes it read past its
// buffer) and asserts on some malformed events, so only files this check
// passes are handed to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vhost {

// Files larger than this are refused before they are read.
constexpr size_t kLargestMidiFile = 64u << 20;

// Empty when `data` is a well-formed format 0 or 1 file with pulses per
// quarter note that libsmf reads exactly as written; otherwise what is
// wrong, as a phrase for an error message ("track 1 is cut short ...").
std::string midiFileProblem(const uint8_t* data, size_t size);

}  // namespace vhost
