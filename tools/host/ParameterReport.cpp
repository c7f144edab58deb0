#include "tools/host/ParameterReport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iomanip>

namespace vhost {

namespace {

constexpr int32_t kLongestListedRange = 8;

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string formatValue(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", static_cast<double>(value));
  return text;
}

std::string withLabel(const ParameterInfo& p) {
  return p.label.empty() ? p.display : p.display + " " + p.label;
}

}  // namespace

std::vector<ParameterInfo> listParameters(PluginInstance& plugin, const std::string& match) {
  const std::string wanted = lowered(match);
  std::vector<ParameterInfo> parameters;
  for (int32_t i = 0; i < plugin.numParams(); ++i) {
    ParameterInfo info = describeParameter(plugin, i);
    if (wanted.empty() || lowered(info.name).find(wanted) != std::string::npos)
      parameters.push_back(std::move(info));
  }
  return parameters;
}

void printParameterTable(std::ostream& out, const std::vector<ParameterInfo>& parameters) {
  size_t nameWidth = 4;
  for (const auto& p : parameters) nameWidth = std::max(nameWidth, p.name.size());
  nameWidth = std::min<size_t>(nameWidth, 40);
  const int width = static_cast<int>(nameWidth);
  out << std::right << std::setw(5) << "Index"
      << "  " << std::left << std::setw(width) << "Name"
      << "  " << std::setw(8) << "Value"
      << "  Display\n";
  for (const auto& p : parameters)
    out << std::right << std::setw(5) << p.index << "  " << std::left << std::setw(width) << p.name
        << "  " << std::setw(8) << formatValue(p.value) << "  " << withLabel(p) << "\n";
}

void writeParameter(JsonWriter& json, const ParameterInfo& p) {
  json.beginObject();
  json.field("index", p.index);
  json.field("name", p.name);
  json.field("label", p.label);
  json.field("display", p.display);
  json.field("value", static_cast<double>(p.value));
  json.endObject();
}

void writeParameterArray(JsonWriter& json, const std::string& key,
                         const std::vector<ParameterInfo>& parameters) {
  json.key(key);
  json.beginArray();
  for (const auto& p : parameters) writeParameter(json, p);
  json.endArray();
}

void printAssignments(std::ostream& out, PluginInstance& plugin,
                      const std::vector<Assignment>& assignments) {
  for (const auto& a : assignments) {
    const int32_t count = a.last - a.first + 1;
    if (count > kLongestListedRange) {
      out << "set " << plugin.parameterName(a.first) << " .. " << plugin.parameterName(a.last)
          << " (" << count << " parameters) to " << formatValue(a.value) << "\n";
      continue;
    }
    for (int32_t i = a.first; i <= a.last; ++i) {
      const ParameterInfo p = describeParameter(plugin, i);
      out << "set " << p.name << " (" << p.index << ") to " << formatValue(a.value) << ": now "
          << formatValue(p.value) << " = " << withLabel(p) << "\n";
    }
  }
}

std::vector<ParameterInfo> assignedParameters(PluginInstance& plugin,
                                              const std::vector<Assignment>& assignments) {
  std::vector<ParameterInfo> parameters;
  for (const auto& a : assignments)
    for (int32_t i = a.first; i <= a.last; ++i) parameters.push_back(describeParameter(plugin, i));
  return parameters;
}

}  // namespace vhost
