#include "osc/OscMessageCheck.h"

#include <cstdint>

#include "osc/OscReceivedElements.h"

namespace QW {
namespace {

// Where oscpack takes the string at p to end: it looks for the terminating
// zero only in the last byte of each 4-byte word, so "ab\0x" runs on into
// the next word. The walk below must agree with it, not with the standard.
// Null when the string does not end before end.
const char* afterString(const char* p, const char* end) {
  if (p >= end) return nullptr;
  if (p[0] == '\0') return p + 4;
  p += 3;
  while (p < end - 1 && *p) p += 4;
  return *p ? nullptr : p + 1;
}

}  // namespace

void CheckMessageBlobs(const char* message, size_t size) {
  if (size == 0 || size % 4 != 0) return;
  const char* end = message + size;
  const char* tags = afterString(message, end);
  if (!tags || tags == end || *tags != ',') return;
  const char* argument = afterString(tags, end);
  if (!argument) return;
  for (const char* tag = tags + 1; *tag; ++tag) {
    size_t remaining = static_cast<size_t>(end - argument);
    switch (*tag) {
      case osc::INT32_TYPE_TAG:
      case osc::FLOAT_TYPE_TAG:
      case osc::CHAR_TYPE_TAG:
      case osc::RGBA_COLOR_TYPE_TAG:
      case osc::MIDI_MESSAGE_TYPE_TAG:
        if (remaining < 4) return;
        argument += 4;
        break;
      case osc::INT64_TYPE_TAG:
      case osc::TIME_TAG_TYPE_TAG:
      case osc::DOUBLE_TYPE_TAG:
        if (remaining < 8) return;
        argument += 8;
        break;
      case osc::STRING_TYPE_TAG:
      case osc::SYMBOL_TYPE_TAG:
        argument = afterString(argument, end);
        if (!argument) return;
        break;
      case osc::BLOB_TYPE_TAG: {
        if (remaining < 4) throw osc::MalformedMessageException("arguments exceed message size");
        const auto* bytes = reinterpret_cast<const unsigned char*>(argument);
        const uint64_t blobSize = (uint64_t{bytes[0]} << 24) | (uint64_t{bytes[1]} << 16) |
                                  (uint64_t{bytes[2]} << 8) | uint64_t{bytes[3]};
        const uint64_t padded = (blobSize + 3) & ~uint64_t{3};
        if (padded > remaining - 4)
          throw osc::MalformedMessageException("arguments exceed message size");
        argument += 4 + padded;
        break;
      }
      default:
        break;  // zero-length tags; unknown ones are oscpack's to refuse
    }
  }
}

}  // namespace QW
