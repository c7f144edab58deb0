// A strict little JSON reader for checking the host's --json output: it
// rejects anything that is not JSON (trailing commas, bare words, control
// characters in strings, trailing garbage), so a test that parses also
// validates.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace hosttest {

struct Json {
  enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };
  Type type = Type::kNull;
  bool boolean = false;
  double number = 0.0;
  std::string string;
  std::vector<Json> array;
  std::map<std::string, Json> object;

  bool has(const std::string& key) const { return object.count(key) != 0; }
  const Json& operator[](const std::string& key) const {
    const auto it = object.find(key);
    if (type != Type::kObject || it == object.end())
      throw std::runtime_error("no key '" + key + "'");
    return it->second;
  }
  const Json& operator[](size_t index) const { return array.at(index); }
};

// Throws std::runtime_error with the offset of the first problem.
Json parseJson(const std::string& text);

}  // namespace hosttest
