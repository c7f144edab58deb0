// `chunk save` and `chunk load`: the plug-in's opaque state as a VST preset
// (.fxp/.fxb) or, with --raw, byte for byte.
#include "tools/host/CommandLine.h"
#include "tools/host/CommandSupport.h"
#include "tools/host/Commands.h"
#include "tools/host/HostError.h"
#include "tools/host/JsonWriter.h"
#include "tools/host/ParameterReport.h"
#include "tools/host/PluginState.h"

namespace vhost {

namespace {

constexpr const char* kUsage =
    "chunk save PLUGIN FILE [--set NAME=VALUE]... [--program] [--raw] [--json]\n"
    "       veldrana-host chunk load PLUGIN FILE [--then params] [--program] [--raw] [--json]";

struct Settings : CommonSettings {
  std::vector<std::string> assignments;
  bool program = false;
  bool raw = false;
  bool thenParams = false;
  std::string match;
};

OptionTable<Settings> chunkOptions() {
  return withCommonOptions<Settings>({
      {"--set", "NAME=VALUE", "(save) set a parameter or a range FIRST..LAST first; repeatable",
       [](Settings& s, const std::string& v) { s.assignments.push_back(v); }},
      {"--program", "", "the current program (.fxp) instead of the whole bank (.fxb)",
       [](Settings& s, const std::string&) { s.program = true; }},
      {"--raw", "", "the file holds the chunk's bytes alone, not a preset",
       [](Settings& s, const std::string&) { s.raw = true; }},
      {"--then", "params", "(load) list the parameters afterwards",
       [](Settings& s, const std::string& v) {
         if (v != "params") throw usageError("--then takes 'params', not '" + v + "'");
         s.thenParams = true;
       }},
      {"--match", "TEXT", "(load) with --then params, only names containing TEXT",
       [](Settings& s, const std::string& v) { s.match = v; }},
  });
}

constexpr const char* kRawOption = "--raw";

const char* kindOf(const StateFileInfo& info) {
  return info.program ? "program" : "bank";
}

void writeJsonFacts(JsonWriter& json, const Settings& s, const StateFileInfo& info) {
  json.field("plugin", s.positionals[1]);
  json.field("file", s.positionals[2]);
  json.field("kind", kindOf(info));
  json.field("format", info.format);
  json.field("bytes", static_cast<int64_t>(info.chunkBytes));
  json.field("fileBytes", static_cast<int64_t>(info.fileBytes));
}

std::string describe(const StateFileInfo& info) {
  const std::string what = std::to_string(info.chunkBytes) + " bytes of " + kindOf(info) + " chunk";
  return std::string(info.format) == "raw" ? what + " (raw)"
                                           : what + " in a ." + info.format + " preset";
}

void save(const Settings& s, std::ostream& out) {
  const std::string& pluginPath = s.positionals[1];
  const std::string& file = s.positionals[2];
  HostContext host;
  const auto plugin = openPlugin(pluginPath, host);
  const ParameterNames names(*plugin);
  applyAssignments(*plugin, parseAssignments(s.assignments, names));
  const StateFileInfo info = saveState(*plugin, file, s.program, s.raw);

  if (!s.json) {
    out << "saved " << describe(info) << " to " << file << "\n";
    return;
  }
  JsonWriter json(out);
  json.beginObject();
  writeJsonFacts(json, s, info);
  json.endObject();
  json.finish();
}

void load(const Settings& s, std::ostream& out) {
  if (!s.assignments.empty()) throw usageError("--set belongs to 'chunk save'");
  const std::string& pluginPath = s.positionals[1];
  const std::string& file = s.positionals[2];
  // Read before loading the plug-in, so a bad file fails fast.
  const auto bytes = readChunkFile(file);
  checkStateFile(bytes, file, s.raw, kRawOption);
  HostContext host;
  const auto plugin = openPlugin(pluginPath, host);
  const StateFileInfo info = restoreState(*plugin, bytes, file, s.program, s.raw, kRawOption);

  if (!s.json) {
    out << "loaded " << describe(info) << " from " << file << "\n";
    if (s.thenParams) {
      const auto parameters = listParameters(*plugin, s.match);
      printParameterTable(out, parameters);
    }
    return;
  }
  JsonWriter json(out);
  json.beginObject();
  writeJsonFacts(json, s, info);
  if (s.thenParams) writeParameterArray(json, "parameters", listParameters(*plugin, s.match));
  json.endObject();
  json.finish();
}

}  // namespace

void runChunk(const Arguments& args, std::ostream& out) {
  const auto table = chunkOptions();
  Settings settings;
  parseCommandLine(args, table, "chunk", settings);
  if (settings.help) return printHelp(out, kUsage, table);
  requireArguments(settings.positionals, 3, 3, kUsage);
  const std::string& action = settings.positionals[0];
  if (action == "save") return save(settings, out);
  if (action == "load") return load(settings, out);
  throw usageError("chunk takes 'save' or 'load', not '" + action + "'");
}

}  // namespace vhost
