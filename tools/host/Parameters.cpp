#include "tools/host/Parameters.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <optional>

#include "tools/host/HostError.h"
#include "tools/host/ParameterValueSearch.h"

namespace vhost {

namespace {

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool parseIndex(const std::string& text, long& index) {
  if (text.empty() ||
      !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
    return false;
  errno = 0;
  index = std::strtol(text.c_str(), nullptr, 10);
  return errno == 0;
}

std::optional<float> parseNormalized(const std::string& value) {
  errno = 0;
  char* end = nullptr;
  const double number = std::strtod(value.c_str(), &end);
  if (value.empty() || *end != '\0' || errno != 0 || !std::isfinite(number) || number < 0.0 ||
      number > 1.0)
    return std::nullopt;
  return static_cast<float>(number);
}

HostError unknownParameter(const std::string& nameOrIndex) {
  return failure("no parameter named '" + trimmed(nameOrIndex) + "' (see 'params --match')");
}

}  // namespace

ParameterInfo describeParameter(PluginInstance& plugin, int32_t index) {
  ParameterInfo info;
  info.index = index;
  info.name = plugin.parameterName(index);
  info.label = plugin.parameterLabel(index);
  info.display = plugin.parameterDisplay(index);
  info.value = plugin.parameter(index);
  return info;
}

ParameterNames::ParameterNames(PluginInstance& plugin) : plugin_(plugin) {
  const int32_t count = std::max(plugin.numParams(), 0);
  names_.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) names_.push_back(trimmed(plugin.parameterName(i)));
}

bool ParameterNames::tryResolve(const std::string& nameOrIndex, int32_t& index) const {
  const std::string wanted = trimmed(nameOrIndex);
  for (size_t i = 0; i < names_.size(); ++i)
    if (names_[i] == wanted) return index = static_cast<int32_t>(i), true;
  for (size_t i = 0; i < names_.size(); ++i)
    if (equalsIgnoringCase(names_[i], wanted)) return index = static_cast<int32_t>(i), true;
  long number = 0;
  if (parseIndex(wanted, number)) {
    if (number >= count())
      throw failure("parameter index " + wanted + " is out of range (the plug-in has " +
                    std::to_string(count()) + " parameters)");
    return index = static_cast<int32_t>(number), true;
  }
  return false;
}

int32_t ParameterNames::resolve(const std::string& nameOrIndex) const {
  int32_t index = 0;
  if (!tryResolve(nameOrIndex, index)) throw unknownParameter(nameOrIndex);
  return index;
}

ParameterRange ParameterNames::resolveRange(const std::string& text) const {
  // A whole name wins over a range, in case a parameter's name has "..".
  int32_t index = 0;
  if (tryResolve(text, index)) return {index, index};
  const size_t dots = text.find("..");
  if (dots == std::string::npos) throw unknownParameter(text);
  const ParameterRange range{resolve(text.substr(0, dots)), resolve(text.substr(dots + 2))};
  if (range.last < range.first)
    throw usageError("the range '" + trimmed(text) + "' runs backwards (" +
                     std::to_string(range.first) + " > " + std::to_string(range.last) + ")");
  return range;
}

Assignment parseAssignment(const std::string& text, const ParameterNames& names) {
  // Names may contain '=' in principle, values never do.
  const size_t equals = text.rfind('=');
  if (equals == std::string::npos || equals == 0)
    throw usageError("'" + text + "' is not NAME=VALUE");
  const std::string target = text.substr(0, equals);
  const std::string value = trimmed(text.substr(equals + 1));
  const std::optional<float> normalized = parseNormalized(value);
  if (!normalized && value.empty())
    throw usageError("the value for '" + trimmed(target) +
                     "' must be a normalized number from 0 to 1, not ''");

  const ParameterRange range = names.resolveRange(target);
  Assignment assignment;
  assignment.first = range.first;
  assignment.last = range.last;
  if (normalized) {
    assignment.value = *normalized;
    return assignment;
  }
  for (int32_t i = range.first; i <= range.last; ++i) {
    const FoundValue found = findDisplayedValue(names.plugin(), i, names.name(i), value);
    assignment.found.push_back(found.normalized);
    // Said for the range's ends only, so a range of thousands stays short.
    if (i == range.first || i == range.last)
      std::cerr << "Note: " << names.name(i) << "=" << value << " is normalized "
                << found.normalized << " (shown as \"" << found.display << "\")\n";
  }
  assignment.value = assignment.found.front();
  return assignment;
}

std::vector<Assignment> parseAssignments(const std::vector<std::string>& texts,
                                         const ParameterNames& names) {
  std::vector<Assignment> assignments;
  assignments.reserve(texts.size());
  for (const auto& text : texts) assignments.push_back(parseAssignment(text, names));
  return assignments;
}

void applyAssignments(PluginInstance& plugin, const std::vector<Assignment>& assignments) {
  for (const auto& a : assignments)
    for (int32_t i = a.first; i <= a.last; ++i)
      plugin.setParameter(i, a.found.empty() ? a.value : a.found[static_cast<size_t>(i - a.first)]);
}

}  // namespace vhost
