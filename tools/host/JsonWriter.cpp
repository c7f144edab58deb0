#include "tools/host/JsonWriter.h"

#include <cmath>
#include <cstdio>

namespace vhost {

namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0.
size_t utf8SequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = 0;
  uint32_t minimum = 0;
  uint32_t code = 0;
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, minimum = 0x80, code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, minimum = 0x800, code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, minimum = 0x10000, code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string jsonEscape(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size() + 2);
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"':
        escaped += "\\\"";
        break;
      case '\\':
        escaped += "\\\\";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\r':
        escaped += "\\r";
        break;
      case '\t':
        escaped += "\\t";
        break;
      default:
        if (c < 0x20) {
          char code[8];
          std::snprintf(code, sizeof code, "\\u%04x", c);
          escaped += code;
        } else if (c >= 0x80) {
          const size_t length = utf8SequenceLength(text, i);
          if (length == 0) {
            escaped += "\xEF\xBF\xBD";
            ++i;
          } else {
            escaped.append(text.substr(i, length));
            i += length;
          }
          continue;
        } else {
          escaped += static_cast<char>(c);
        }
    }
    ++i;
  }
  return escaped;
}

void JsonWriter::newline() {
  out_ << '\n' << std::string(levels_.size() * 2, ' ');
}

void JsonWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (levels_.empty()) return;
  if (!levels_.back().empty) out_ << ',';
  levels_.back().empty = false;
  newline();
}

void JsonWriter::beginObject() {
  beforeValue();
  out_ << '{';
  levels_.push_back({true, true});
}

void JsonWriter::close(char bracket) {
  const bool empty = levels_.back().empty;
  levels_.pop_back();
  if (!empty) newline();
  out_ << bracket;
}

void JsonWriter::endObject() {
  close('}');
}

void JsonWriter::beginArray() {
  beforeValue();
  out_ << '[';
  levels_.push_back({false, true});
}

void JsonWriter::endArray() {
  close(']');
}

void JsonWriter::key(std::string_view name) {
  beforeValue();
  out_ << '"' << jsonEscape(name) << "\": ";
  afterKey_ = true;
}

void JsonWriter::value(std::string_view text) {
  beforeValue();
  out_ << '"' << jsonEscape(text) << '"';
}

void JsonWriter::value(double number) {
  beforeValue();
  if (!std::isfinite(number)) {
    out_ << "null";
    return;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", number);
  out_ << text;
}

void JsonWriter::value(int64_t number) {
  beforeValue();
  out_ << number;
}

void JsonWriter::value(bool flag) {
  beforeValue();
  out_ << (flag ? "true" : "false");
}

void JsonWriter::null() {
  beforeValue();
  out_ << "null";
}

void JsonWriter::finish() {
  out_ << '\n';
}

}  // namespace vhost
