// `params`, `set` and `get`: reading and changing parameters one instance
// at a time. Changes last only as long as the process unless saved as a
// chunk with `set --save`.
#include <cstdint>

#include "tools/host/CommandLine.h"
#include "tools/host/CommandSupport.h"
#include "tools/host/Commands.h"
#include "tools/host/HostError.h"
#include "tools/host/JsonWriter.h"
#include "tools/host/ParameterReport.h"
#include "tools/host/PluginState.h"

namespace vhost {

namespace {

struct ListingSettings : CommonSettings {
  std::string match;
  int limit = -1;  // rows shown; all when negative
};

template <class Settings>
void addListingOptions(OptionTable<Settings>& table) {
  table.push_back({"--match", "TEXT", "only parameters whose name contains TEXT (any case)",
                   [](Settings& s, const std::string& v) { s.match = v; }});
  table.push_back({"--limit", "N", "show at most N rows (the total is still reported)",
                   [](Settings& s, const std::string& v) {
                     s.limit = parseInteger(v, "--limit", 0, 1 << 30);
                   }});
}

void printListing(std::ostream& out, std::vector<ParameterInfo> parameters, int limit) {
  const size_t total = parameters.size();
  if (limit >= 0 && parameters.size() > static_cast<size_t>(limit))
    parameters.resize(static_cast<size_t>(limit));
  printParameterTable(out, parameters);
  if (parameters.size() < total)
    out << "... " << total - parameters.size() << " more, " << total << " parameters in all\n";
  else
    out << total << " parameters\n";
}

void writeListing(JsonWriter& json, std::vector<ParameterInfo> parameters, int limit) {
  json.field("count", static_cast<int64_t>(parameters.size()));
  if (limit >= 0 && parameters.size() > static_cast<size_t>(limit))
    parameters.resize(static_cast<size_t>(limit));
  writeParameterArray(json, "parameters", parameters);
}

void writeAutomation(JsonWriter& json, const HostContext& host) {
  json.key("automation");
  json.beginArray();
  for (const auto& record : host.automation()) {
    json.beginObject();
    json.field("index", record.index);
    json.field("value", static_cast<double>(record.value));
    json.endObject();
  }
  json.endArray();
}

}  // namespace

void runParams(const Arguments& args, std::ostream& out) {
  constexpr const char* kUsage = "params PLUGIN [--match TEXT] [--limit N] [--json]";
  OptionTable<ListingSettings> table;
  addListingOptions(table);
  table = withCommonOptions(std::move(table));
  ListingSettings settings;
  parseCommandLine(args, table, "params", settings);
  if (settings.help) return printHelp(out, kUsage, table);
  requireArguments(settings.positionals, 1, 1, kUsage);

  HostContext host;
  const auto plugin = openPlugin(settings.positionals[0], host);
  auto parameters = listParameters(*plugin, settings.match);
  if (!settings.json) return printListing(out, std::move(parameters), settings.limit);
  JsonWriter json(out);
  json.beginObject();
  json.field("plugin", settings.positionals[0]);
  json.field("total", plugin->numParams());
  writeListing(json, std::move(parameters), settings.limit);
  json.endObject();
  json.finish();
}

void runSet(const Arguments& args, std::ostream& out) {
  constexpr const char* kUsage =
      "set PLUGIN NAME_OR_INDEX=VALUE... [--then params] [--save FILE] [--program] [--json]\n"
      "       NAME may be a range FIRST..LAST; VALUE is normalized, 0 to 1";
  struct Settings : ListingSettings {
    bool thenParams = false;
    std::string save;
    bool program = false;
  };
  OptionTable<Settings> table{
      {"--then", "params", "list the parameters afterwards",
       [](Settings& s, const std::string& v) {
         if (v != "params") throw usageError("--then takes 'params', not '" + v + "'");
         s.thenParams = true;
       }},
      {"--save", "FILE", "save the resulting state as a chunk file",
       [](Settings& s, const std::string& v) { s.save = v; }},
      {"--program", "", "save the program chunk instead of the bank chunk",
       [](Settings& s, const std::string&) { s.program = true; }},
  };
  addListingOptions(table);
  table = withCommonOptions(std::move(table));
  Settings settings;
  parseCommandLine(args, table, "set", settings);
  if (settings.help) return printHelp(out, kUsage, table);
  requireArguments(settings.positionals, 2, SIZE_MAX, kUsage);

  HostContext host;
  const auto plugin = openPlugin(settings.positionals[0], host);
  const ParameterNames names(*plugin);
  const std::vector<std::string> texts(settings.positionals.begin() + 1,
                                       settings.positionals.end());
  const auto assignments = parseAssignments(texts, names);
  applyAssignments(*plugin, assignments);

  size_t savedBytes = 0;
  if (!settings.save.empty()) {
    savedBytes = saveState(*plugin, settings.save, settings.program, false).chunkBytes;
  }

  if (!settings.json) {
    printAssignments(out, *plugin, assignments);
    if (!settings.save.empty())
      out << "saved " << savedBytes << " bytes of " << (settings.program ? "program" : "bank")
          << " chunk to " << settings.save << "\n";
    if (settings.thenParams)
      printListing(out, listParameters(*plugin, settings.match), settings.limit);
    return;
  }
  JsonWriter json(out);
  json.beginObject();
  json.field("plugin", settings.positionals[0]);
  writeParameterArray(json, "set", assignedParameters(*plugin, assignments));
  writeAutomation(json, host);
  if (!settings.save.empty()) {
    json.key("saved");
    json.beginObject();
    json.field("file", settings.save);
    json.field("bytes", static_cast<int64_t>(savedBytes));
    json.field("kind", settings.program ? "program" : "bank");
    json.endObject();
  }
  if (settings.thenParams)
    writeListing(json, listParameters(*plugin, settings.match), settings.limit);
  json.endObject();
  json.finish();
}

void runGet(const Arguments& args, std::ostream& out) {
  constexpr const char* kUsage = "get PLUGIN NAME_OR_INDEX... [--json]  (NAME may be FIRST..LAST)";
  struct Settings : CommonSettings {};
  const auto table = withCommonOptions<Settings>({});
  Settings settings;
  parseCommandLine(args, table, "get", settings);
  if (settings.help) return printHelp(out, kUsage, table);
  requireArguments(settings.positionals, 2, SIZE_MAX, kUsage);

  HostContext host;
  const auto plugin = openPlugin(settings.positionals[0], host);
  const ParameterNames names(*plugin);
  // Resolve every name first so a typo reports before any output.
  std::vector<ParameterRange> ranges;
  for (size_t i = 1; i < settings.positionals.size(); ++i)
    ranges.push_back(names.resolveRange(settings.positionals[i]));
  std::vector<ParameterInfo> parameters;
  for (const auto& range : ranges)
    for (int32_t i = range.first; i <= range.last; ++i)
      parameters.push_back(describeParameter(*plugin, i));

  if (!settings.json) return printParameterTable(out, parameters);
  JsonWriter json(out);
  json.beginObject();
  json.field("plugin", settings.positionals[0]);
  writeParameterArray(json, "parameters", parameters);
  json.endObject();
  json.finish();
}

}  // namespace vhost
