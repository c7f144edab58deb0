// `info PLUGIN`: what the plug-in says about itself.
#include <cctype>
#include <cstdio>
#include <iomanip>

#include "tools/host/CommandLine.h"
#include "tools/host/CommandSupport.h"
#include "tools/host/Commands.h"
#include "tools/host/JsonWriter.h"
#include "tools/host/PresetFile.h"

namespace vhost {

namespace {

constexpr const char* kUsage = "info PLUGIN [--json]";

// Capabilities a host commonly asks about before deciding how to use a
// plug-in.
const char* const kCapabilities[] = {
    "receiveVstEvents",
    "receiveVstMidiEvent",
    "receiveVstTimeInfo",
    "sendVstEvents",
    "sendVstMidiEvent",
    "midiProgramNames",
    "bypass",
    "offline",
    "plugAsChannelInsert",
    "plugAsSend",
    "mixDryWet",
    "noRealTime",
    "multipass",
    "metapass",
    "1in1out",
    "1in2out",
    "2in1out",
    "2in2out",
    "2in4out",
    "4in4out",
};

struct FlagName {
  int32_t bit;
  const char* name;
};

const FlagName kFlags[] = {
    {vst::effFlagsHasEditor, "HasEditor"},
    {vst::effFlagsHasClip, "HasClip (deprecated)"},
    {vst::effFlagsHasVu, "HasVu (deprecated)"},
    {vst::effFlagsCanMono, "CanMono (deprecated)"},
    {vst::effFlagsCanReplacing, "CanReplacing"},
    {vst::effFlagsProgramChunks, "ProgramChunks"},
    {vst::effFlagsIsSynth, "IsSynth"},
    {vst::effFlagsNoSoundInStop, "NoSoundInStop"},
    {vst::effFlagsExtIsAsync, "ExtIsAsync (deprecated)"},
    {vst::effFlagsExtHasBuffer, "ExtHasBuffer (deprecated)"},
    {vst::effFlagsCanDoubleReplacing, "CanDoubleReplacing"},
};

const char* categoryName(int32_t category) {
  static const char* const kNames[] = {"Unknown",     "Effect",         "Synth",  "Analysis",
                                       "Mastering",   "Spacializer",    "RoomFx", "SurroundFx",
                                       "Restoration", "OfflineProcess", "Shell",  "Generator"};
  if (category < 0 || category >= static_cast<int32_t>(std::size(kNames))) return "Unknown";
  return kNames[category];
}

std::vector<std::string> flagNames(int32_t flags) {
  std::vector<std::string> names;
  int32_t known = 0;
  for (const auto& flag : kFlags) {
    known |= flag.bit;
    if (flags & flag.bit) names.push_back(flag.name);
  }
  // Bits we have no name for are still shown, so nothing is hidden.
  for (int bit = 0; bit < 32; ++bit) {
    const auto mask = static_cast<int32_t>(1u << bit);
    if ((flags & mask) && !(known & mask)) names.push_back("bit" + std::to_string(bit));
  }
  return names;
}

const char* answerText(CanDoAnswer answer) {
  switch (answer) {
    case CanDoAnswer::kYes:
      return "yes";
    case CanDoAnswer::kNo:
      return "no";
    default:
      return "unknown";
  }
}

struct PluginFacts {
  std::string name, vendor, product;
  int64_t vendorVersion = 0, vstVersion = 0, tailSize = 0;
  int32_t category = 0, uniqueId = 0, version = 0, flags = 0;
  int32_t inputs = 0, outputs = 0, latency = 0, parameters = 0, programs = 0;
  std::vector<std::pair<std::string, CanDoAnswer>> capabilities;
};

PluginFacts gather(PluginInstance& plugin) {
  PluginFacts facts;
  const vst::AEffect& effect = plugin.effect();
  facts.name = plugin.text(vst::effGetEffectName);
  facts.vendor = plugin.text(vst::effGetVendorString);
  facts.product = plugin.text(vst::effGetProductString);
  facts.vendorVersion = plugin.dispatch(vst::effGetVendorVersion);
  facts.vstVersion = plugin.dispatch(vst::effGetVstVersion);
  facts.tailSize = plugin.dispatch(vst::effGetTailSize);
  facts.category = plugin.category();
  facts.uniqueId = effect.uniqueID;
  facts.version = effect.version;
  facts.flags = effect.flags;
  facts.inputs = effect.numInputs;
  facts.outputs = effect.numOutputs;
  facts.latency = effect.initialDelay;
  facts.parameters = effect.numParams;
  facts.programs = effect.numPrograms;
  for (const char* capability : kCapabilities)
    facts.capabilities.emplace_back(capability, plugin.canDo(capability));
  return facts;
}

void printJson(std::ostream& out, const std::string& path, const PluginFacts& f) {
  JsonWriter json(out);
  json.beginObject();
  json.field("path", path);
  json.field("name", f.name);
  json.field("vendor", f.vendor);
  json.field("product", f.product);
  json.field("vendorVersion", f.vendorVersion);
  json.field("uniqueId", uniqueIdText(f.uniqueId));
  json.field("uniqueIdNumber", f.uniqueId);
  json.field("version", f.version);
  json.field("vstVersion", f.vstVersion);
  json.field("category", categoryName(f.category));
  json.field("categoryNumber", f.category);
  json.field("inputs", f.inputs);
  json.field("outputs", f.outputs);
  json.field("flagsValue", f.flags);
  json.key("flags");
  json.beginArray();
  for (const auto& name : flagNames(f.flags)) json.value(name);
  json.endArray();
  json.field("latency", f.latency);
  json.field("tailSize", f.tailSize);
  json.field("parameters", f.parameters);
  json.field("programs", f.programs);
  json.key("canDo");
  json.beginObject();
  for (const auto& [capability, answer] : f.capabilities)
    json.field(capability, answerText(answer));
  json.endObject();
  json.endObject();
  json.finish();
}

void printText(std::ostream& out, const std::string& path, const PluginFacts& f) {
  const auto row = [&out](const char* key) -> std::ostream& {
    return out << std::left << std::setw(16) << key;
  };
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08x", static_cast<uint32_t>(f.uniqueId));
  row("Plug-in") << path << "\n";
  row("Name") << f.name << "\n";
  row("Vendor") << f.vendor << "\n";
  row("Product") << f.product << "\n";
  row("Vendor version") << f.vendorVersion << "\n";
  row("Unique ID") << uniqueIdText(f.uniqueId) << " (" << hex << ", " << f.uniqueId << ")\n";
  row("Version") << f.version << "\n";
  row("VST version") << f.vstVersion << "\n";
  row("Category") << categoryName(f.category) << " (" << f.category << ")\n";
  row("Inputs") << f.inputs << "\n";
  row("Outputs") << f.outputs << "\n";
  std::snprintf(hex, sizeof hex, "0x%x", static_cast<uint32_t>(f.flags));
  row("Flags");
  const auto names = flagNames(f.flags);
  for (size_t i = 0; i < names.size(); ++i) out << (i ? ", " : "") << names[i];
  out << (names.empty() ? "" : " ") << "(" << hex << ")\n";
  row("Latency") << f.latency << " samples\n";
  row("Tail size") << f.tailSize << "\n";
  row("Parameters") << f.parameters << "\n";
  row("Programs") << f.programs << "\n";
  out << "Can do\n";
  for (const auto& [capability, answer] : f.capabilities)
    out << "  " << std::left << std::setw(22) << capability << answerText(answer) << "\n";
}

}  // namespace

void runInfo(const Arguments& args, std::ostream& out) {
  struct Settings : CommonSettings {};
  const auto table = withCommonOptions<Settings>({});
  Settings settings;
  parseCommandLine(args, table, "info", settings);
  if (settings.help) return printHelp(out, kUsage, table);
  requireArguments(settings.positionals, 1, 1, kUsage);

  HostContext host;
  const auto plugin = openPlugin(settings.positionals[0], host);
  const PluginFacts facts = gather(*plugin);
  if (settings.json)
    printJson(out, settings.positionals[0], facts);
  else
    printText(out, settings.positionals[0], facts);
}

}  // namespace vhost
