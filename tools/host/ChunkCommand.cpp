// `chunk save` and `chunk load`: the plug-in's opaque state, byte for byte.
#include "tools/host/CommandLine.h"
#include "tools/host/CommandSupport.h"
#include "tools/host/Commands.h"
#include "tools/host/HostError.h"
#include "tools/host/JsonWriter.h"
#include "tools/host/ParameterReport.h"

namespace vhost {

namespace {

constexpr const char* kUsage =
    "chunk save PLUGIN FILE [--set NAME=VALUE]... [--program] [--json]\n"
    "       veldrana-host chunk load PLUGIN FILE [--then params] [--program] [--json]";

struct Settings : CommonSettings {
  std::vector<std::string> assignments;
  bool program = false;
  bool thenParams = false;
  std::string match;
};

OptionTable<Settings> chunkOptions() {
  return withCommonOptions<Settings>({
      {"--set", "NAME=VALUE", "(save) set a parameter or a range FIRST..LAST first; repeatable",
       [](Settings& s, const std::string& v) { s.assignments.push_back(v); }},
      {"--program", "", "the current program's chunk instead of the whole bank",
       [](Settings& s, const std::string&) { s.program = true; }},
      {"--then", "params", "(load) list the parameters afterwards",
       [](Settings& s, const std::string& v) {
         if (v != "params") throw usageError("--then takes 'params', not '" + v + "'");
         s.thenParams = true;
       }},
      {"--match", "TEXT", "(load) with --then params, only names containing TEXT",
       [](Settings& s, const std::string& v) { s.match = v; }},
  });
}

const char* kindOf(const Settings& s) {
  return s.program ? "program" : "bank";
}

void save(const Settings& s, std::ostream& out) {
  const std::string& pluginPath = s.positionals[1];
  const std::string& file = s.positionals[2];
  HostContext host;
  const auto plugin = openPlugin(pluginPath, host);
  const ParameterNames names(*plugin);
  applyAssignments(*plugin, parseAssignments(s.assignments, names));
  const auto chunk = takeChunk(*plugin, s.program);
  writeChunkFile(file, chunk);

  if (!s.json) {
    out << "saved " << chunk.size() << " bytes of " << kindOf(s) << " chunk to " << file << "\n";
    return;
  }
  JsonWriter json(out);
  json.beginObject();
  json.field("plugin", pluginPath);
  json.field("file", file);
  json.field("kind", kindOf(s));
  json.field("bytes", static_cast<int64_t>(chunk.size()));
  json.endObject();
  json.finish();
}

void load(const Settings& s, std::ostream& out) {
  if (!s.assignments.empty()) throw usageError("--set belongs to 'chunk save'");
  const std::string& pluginPath = s.positionals[1];
  const std::string& file = s.positionals[2];
  // Read before loading the plug-in, so a bad file fails fast.
  const auto chunk = readChunkFile(file);
  HostContext host;
  const auto plugin = openPlugin(pluginPath, host);
  plugin->setChunk(chunk, s.program);

  if (!s.json) {
    out << "loaded " << chunk.size() << " bytes of " << kindOf(s) << " chunk from " << file << "\n";
    if (s.thenParams) {
      const auto parameters = listParameters(*plugin, s.match);
      printParameterTable(out, parameters);
    }
    return;
  }
  JsonWriter json(out);
  json.beginObject();
  json.field("plugin", pluginPath);
  json.field("file", file);
  json.field("kind", kindOf(s));
  json.field("bytes", static_cast<int64_t>(chunk.size()));
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
