// Reads a leading decimal integer the way "%d" does (blanks, a sign, then
// digits; anything after is ignored), but saturates instead of overflowing:
// the text comes from the network.
#pragma once

#include <cstdint>

namespace QW {

inline bool ScanInt(const char* text, int32_t& value) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (*p < '0' || *p > '9') return false;
  int64_t magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (magnitude <= INT32_MAX) magnitude = magnitude * 10 + (*p - '0');
  }
  if (negative)
    value = magnitude > int64_t{INT32_MAX} + 1 ? INT32_MIN : static_cast<int32_t>(-magnitude);
  else
    value = magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
  return true;
}

}  // namespace QW
