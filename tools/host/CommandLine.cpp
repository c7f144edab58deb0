#include "tools/host/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iomanip>

#include "tools/host/HostError.h"

namespace vhost {

void scanArguments(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
                   const std::string& command,
                   const std::function<void(size_t, const std::string&)>& onOption,
                   const std::function<void(const std::string&)>& onPositional) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
      onPositional(arg);
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    size_t row = 0;
    while (row < shapes.size() && shapes[row].name != name) ++row;
    if (row == shapes.size())
      throw usageError("unknown option " + name + " for '" + command + "' (see '" + command +
                       " --help')");
    const OptionShape& shape = shapes[row];
    if (!shape.takesValue) {
      if (equals != std::string::npos) throw usageError(name + " takes no value");
      onOption(row, "");
    } else if (equals != std::string::npos) {
      onOption(row, arg.substr(equals + 1));
    } else if (i + 1 < args.size()) {
      onOption(row, args[++i]);
    } else {
      throw usageError(name + " needs a value");
    }
  }
}

void printOptionRows(std::ostream& out, const std::vector<OptionShape>& shapes,
                     const std::vector<std::string>& helps) {
  size_t width = 0;
  for (const auto& shape : shapes) width = std::max(width, shape.name.size());
  for (size_t i = 0; i < shapes.size(); ++i)
    out << "  " << std::left << std::setw(static_cast<int>(width)) << shapes[i].name << "  "
        << helps[i] << "\n";
}

int parseInteger(const std::string& text, const std::string& what, int minimum, int maximum) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < minimum || value > maximum)
    throw usageError(what + " must be a whole number from " + std::to_string(minimum) + " to " +
                     std::to_string(maximum) + ", not '" + text + "'");
  return static_cast<int>(value);
}

double parseNumber(const std::string& text, const std::string& what) {
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value))
    throw usageError(what + " must be a number, not '" + text + "'");
  return value;
}

double parseSampleRate(const std::string& text, const std::string& what) {
  const double rate = parseNumber(text, what);
  if (rate < 1.0 || rate > 10e6) throw usageError(what + " must be from 1 to 10000000");
  return rate;
}

}  // namespace vhost
