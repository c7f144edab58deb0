// A small streaming JSON writer. Strings from plug-ins are not guaranteed to
// be UTF-8, so invalid bytes become U+FFFD rather than breaking the document.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vhost {

class JsonWriter {
 public:
  explicit JsonWriter(std::ostream& out) : out_(out) {}
  ~JsonWriter() = default;
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;

  void beginObject();
  void endObject();
  void beginArray();
  void endArray();
  void key(std::string_view name);

  void value(std::string_view text);
  void value(const char* text) { value(std::string_view(text)); }
  void value(const std::string& text) { value(std::string_view(text)); }
  void value(double number);  // NaN and infinities become null
  void value(int64_t number);
  void value(int32_t number) { value(static_cast<int64_t>(number)); }
  void value(bool flag);
  void null();

  template <class T>
  void field(std::string_view name, const T& v) {
    key(name);
    value(v);
  }

  // Ends the document with a newline.
  void finish();

 private:
  void beforeValue();
  void newline();
  void close(char bracket);

  std::ostream& out_;
  struct Level {
    bool isObject;
    bool empty;
  };
  std::vector<Level> levels_;
  bool afterKey_ = false;
};

std::string jsonEscape(std::string_view text);

}  // namespace vhost
