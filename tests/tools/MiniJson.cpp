#include "tests/tools/MiniJson.h"

#include <cctype>
#include <cstdlib>

namespace hosttest {

namespace {

class Parser {
 public:
  explicit Parser(const std::string& text) : text_(text) {}

  Json document() {
    Json value = parseValue();
    skipSpace();
    if (pos_ != text_.size()) fail("trailing characters");
    return value;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw std::runtime_error("invalid JSON at offset " + std::to_string(pos_) + ": " + what);
  }
  void skipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\n'))
      ++pos_;
  }
  char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  void expect(char c) {
    if (peek() != c) fail(std::string("expected '") + c + "'");
    ++pos_;
  }
  void literal(const char* word) {
    for (const char* p = word; *p; ++p) expect(*p);
  }

  Json parseValue() {
    skipSpace();
    Json value;
    switch (peek()) {
      case '{':
        return parseObject();
      case '[':
        return parseArray();
      case '"':
        value.type = Json::Type::kString;
        value.string = parseString();
        return value;
      case 't':
        literal("true");
        value.type = Json::Type::kBool;
        value.boolean = true;
        return value;
      case 'f':
        literal("false");
        value.type = Json::Type::kBool;
        return value;
      case 'n':
        literal("null");
        return value;
      default:
        return parseNumber();
    }
  }

  Json parseObject() {
    Json value;
    value.type = Json::Type::kObject;
    expect('{');
    skipSpace();
    if (peek() == '}') return ++pos_, value;
    for (;;) {
      skipSpace();
      const std::string key = parseString();
      skipSpace();
      expect(':');
      value.object[key] = parseValue();
      skipSpace();
      if (peek() == ',') {
        ++pos_;
        continue;
      }
      expect('}');
      return value;
    }
  }

  Json parseArray() {
    Json value;
    value.type = Json::Type::kArray;
    expect('[');
    skipSpace();
    if (peek() == ']') return ++pos_, value;
    for (;;) {
      value.array.push_back(parseValue());
      skipSpace();
      if (peek() == ',') {
        ++pos_;
        continue;
      }
      expect(']');
      return value;
    }
  }

  std::string parseString() {
    expect('"');
    std::string s;
    for (;;) {
      if (pos_ >= text_.size()) fail("unterminated string");
      const char c = text_[pos_++];
      if (c == '"') return s;
      if (static_cast<unsigned char>(c) < 0x20) fail("control character in string");
      if (c != '\\') {
        s += c;
        continue;
      }
      const char e = peek();
      ++pos_;
      switch (e) {
        case '"':
        case '\\':
        case '/':
          s += e;
          break;
        case 'n':
          s += '\n';
          break;
        case 't':
          s += '\t';
          break;
        case 'r':
          s += '\r';
          break;
        case 'b':
          s += '\b';
          break;
        case 'f':
          s += '\f';
          break;
        case 'u': {
          if (pos_ + 4 > text_.size()) fail("short \\u escape");
          for (int i = 0; i < 4; ++i)
            if (!std::isxdigit(static_cast<unsigned char>(text_[pos_ + i]))) fail("bad \\u escape");
          const long code = std::strtol(text_.substr(pos_, 4).c_str(), nullptr, 16);
          pos_ += 4;
          s += code < 0x80 ? static_cast<char>(code) : '?';
          break;
        }
        default:
          fail("bad escape");
      }
    }
  }

  Json parseNumber() {
    const size_t start = pos_;
    if (peek() == '-') ++pos_;
    if (!std::isdigit(static_cast<unsigned char>(peek()))) fail("expected a value");
    if (peek() == '0') {
      ++pos_;
    } else {
      while (std::isdigit(static_cast<unsigned char>(peek()))) ++pos_;
    }
    if (peek() == '.') {
      ++pos_;
      if (!std::isdigit(static_cast<unsigned char>(peek()))) fail("digit expected after '.'");
      while (std::isdigit(static_cast<unsigned char>(peek()))) ++pos_;
    }
    if (peek() == 'e' || peek() == 'E') {
      ++pos_;
      if (peek() == '+' || peek() == '-') ++pos_;
      if (!std::isdigit(static_cast<unsigned char>(peek()))) fail("digit expected in exponent");
      while (std::isdigit(static_cast<unsigned char>(peek()))) ++pos_;
    }
    Json value;
    value.type = Json::Type::kNumber;
    value.number = std::strtod(text_.substr(start, pos_ - start).c_str(), nullptr);
    return value;
  }

  const std::string& text_;
  size_t pos_ = 0;
};

}  // namespace

Json parseJson(const std::string& text) {
  return Parser(text).document();
}

}  // namespace hosttest
