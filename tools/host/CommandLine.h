// Table-driven option parsing. Each command describes its options as rows
// (name, value placeholder, help, and what the option does to the command's
// settings); adding an option is adding a row. Rows are applied in the
// order the options appear, so repeated options accumulate naturally.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace vhost {

// What every command accepts besides its own options.
struct CommonSettings {
  bool json = false;
  bool help = false;
  std::vector<std::string> positionals;
};

template <class Settings>
struct Option {
  std::string name;       // "--block"
  std::string valueName;  // "N"; empty for a switch
  std::string help;
  std::function<void(Settings&, const std::string& value)> apply;
};

template <class Settings>
using OptionTable = std::vector<Option<Settings>>;

struct OptionShape {
  std::string name;
  bool takesValue;
};

// Accepts "--name value", "--name=value" and "--" to end options. Throws a
// usage error for an unknown option or a missing value.
void scanArguments(const std::vector<std::string>& args, const std::vector<OptionShape>& shapes,
                   const std::string& command,
                   const std::function<void(size_t row, const std::string& value)>& onOption,
                   const std::function<void(const std::string& positional)>& onPositional);

void printOptionRows(std::ostream& out, const std::vector<OptionShape>& shapes,
                     const std::vector<std::string>& helps);

template <class Settings>
OptionTable<Settings> withCommonOptions(OptionTable<Settings> table) {
  table.push_back({"--json", "", "print machine-readable JSON",
                   [](Settings& s, const std::string&) { s.json = true; }});
  table.push_back(
      {"--help", "", "show this help", [](Settings& s, const std::string&) { s.help = true; }});
  return table;
}

template <class Settings>
std::vector<OptionShape> shapesOf(const OptionTable<Settings>& table) {
  std::vector<OptionShape> shapes;
  for (const auto& row : table) shapes.push_back({row.name, !row.valueName.empty()});
  return shapes;
}

template <class Settings>
void parseCommandLine(const std::vector<std::string>& args, const OptionTable<Settings>& table,
                      const std::string& command, Settings& settings) {
  scanArguments(
      args, shapesOf(table), command,
      [&](size_t row, const std::string& value) { table[row].apply(settings, value); },
      [&](const std::string& positional) { settings.positionals.push_back(positional); });
}

template <class Settings>
void printHelp(std::ostream& out, const std::string& usage, const OptionTable<Settings>& table) {
  out << "usage: veldrana-host " << usage << "\n\noptions:\n";
  std::vector<std::string> helps;
  std::vector<OptionShape> shapes;
  for (const auto& row : table) {
    shapes.push_back({row.name + (row.valueName.empty() ? "" : " " + row.valueName), false});
    helps.push_back(row.help);
  }
  printOptionRows(out, shapes, helps);
}

// Number parsing for option values; throws usage errors naming `what`.
int parseInteger(const std::string& text, const std::string& what, int minimum, int maximum);
double parseNumber(const std::string& text, const std::string& what);
// A sample rate in hertz, 1 to 10 MHz.
double parseSampleRate(const std::string& text, const std::string& what);

}  // namespace vhost
