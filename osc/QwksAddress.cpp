#include "osc/QwksAddress.h"

#include <cstring>

#include "osc/ScanInt.h"

namespace QW {
namespace {

struct Segment {
  std::string text;
  bool endedBySlash = false;
};

// The segment at p, up to the next '/' or the end; p moves past the '/'.
Segment takeSegment(const char*& p) {
  const char* end = std::strchr(p, '/');
  Segment segment;
  if (end) {
    segment.text.assign(p, end);
    segment.endedBySlash = true;
    p = end + 1;
  } else {
    segment.text = p;
    p += segment.text.size();
  }
  return segment;
}

bool startsWithDigit(const std::string& text) {
  return !text.empty() && text[0] >= '0' && text[0] <= '9';
}

}  // namespace

std::optional<QwksAddress> ParseQwksAddress(const char* rest) {
  QwksAddress address;
  const char* p = rest;
  if (*p == '+') {
    const Segment mode = takeSegment(p);
    if (!mode.endedBySlash || mode.text != "+multi1") return std::nullopt;
    address.elementMode = true;
  }
  for (;;) {
    QwksTarget target;
    const Segment instance = takeSegment(p);
    if (!instance.endedBySlash) return std::nullopt;
    if (startsWithDigit(instance.text)) {
      ScanInt(instance.text.c_str(), target.instance);
    } else {
      target.hasProduct = true;
      target.product = instance.text;
      const Segment number = takeSegment(p);
      if (!number.endedBySlash) return std::nullopt;
      if (number.text == "*")
        target.everyInstance = true;
      else if (!ScanInt(number.text.c_str(), target.instance))
        return std::nullopt;
    }

    Segment last = takeSegment(p);
    if (startsWithDigit(last.text)) {
      ScanInt(last.text.c_str(), target.parameter);
    } else {
      target.parameterIsIndex = false;
      target.parameterName = last.text;
    }
    target.index = target.parameter;
    if (address.elementMode) {
      if (!last.endedBySlash) return std::nullopt;
      last = takeSegment(p);
      int32_t element = 0;
      if (!ScanInt(last.text.c_str(), element)) return std::nullopt;
      target.index += int64_t{element} - 1;
    }
    address.targets.push_back(std::move(target));
    if (!last.endedBySlash) return address;
  }
}

}  // namespace QW
