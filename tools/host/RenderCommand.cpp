// `render PLUGIN IN OUT`: offline processing of an audio file.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/host/AudioFiles.h"
#include "tools/host/CommandLine.h"
#include "tools/host/CommandSupport.h"
#include "tools/host/Commands.h"
#include "tools/host/CrashGuard.h"
#include "tools/host/FileIdentity.h"
#include "tools/host/HostError.h"
#include "tools/host/JsonWriter.h"
#include "tools/host/MidiEvents.h"
#include "tools/host/ParameterReport.h"
#include "tools/host/PluginSetup.h"
#include "tools/host/Renderer.h"
#include "tools/host/ScriptErrorWatch.h"
#include "tools/host/TruncatedWav.h"
#include "tools/host/Wording.h"

namespace vhost {

namespace {

constexpr const char* kUsage =
    "render PLUGIN IN OUT [--set NAME=VALUE]... [--chunk FILE] [--scripts DIR]\n"
    "       [--osc-offset N] [--block N] [--rate R] [--midi FILE] [--compensate]\n"
    "       [--format float|24|16] [--tail SECONDS] [--strict] [--verbose] [--json]";
constexpr double kProgressMinimumSeconds = 20.0;
// An hour of reverb is more than any plug-in rings for; more is a typo.
constexpr double kLongestTail = 3600.0;

struct RenderSettings : CommonSettings {
  PluginSetup setup;
  int32_t blockSize = kDefaultBlockSize;
  std::optional<double> rate;
  std::string midiFile;
  bool compensate = false;
  double tailSeconds = 0.0;
  SampleFormat sampleFormat = SampleFormat::kDefault;
};

// One row per option. Rows run in command-line order, so repeated options
// accumulate and later ones win.
OptionTable<RenderSettings> renderOptions() {
  using S = RenderSettings;
  OptionTable<S> table = pluginSetupOptions<S>();
  const OptionTable<S> checks = scriptCheckOptions<S>();
  table.insert(table.end(), checks.begin(), checks.end());
  table.insert(
      table.end(),
      {
          {"--block", "N", "host block size in frames (default 512)",
           [](S& s, const std::string& v) {
             s.blockSize = parseInteger(v, "--block", 1, kLargestBlock);
           }},
          {"--rate", "R", "sample rate told to the plug-in (default: the input file's)",
           [](S& s, const std::string& v) { s.rate = parseSampleRate(v, "--rate"); }},
          {"--midi", "FILE", "feed the events of a Standard MIDI File at their sample positions",
           [](S& s, const std::string& v) { s.midiFile = v; }},
          {"--compensate", "", "remove the plug-in's latency so the output lines up with the input",
           [](S& s, const std::string&) { s.compensate = true; }},
          {"--tail", "SECONDS",
           "go on past the input's end for SECONDS of silence, so the output holds the "
           "plug-in's tail",
           [](S& s, const std::string& v) {
             const double seconds = parseNumber(v, "--tail");
             if (seconds < 0.0 || seconds > kLongestTail)
               throw usageError("--tail must be from 0 to 3600 seconds, not '" + v + "'");
             s.tailSeconds = seconds;
           }},
          {"--format", "float|24|16",
           "output samples (default: float for WAV and AIFF, 24 for FLAC, which has no float)",
           [](S& s, const std::string& v) { s.sampleFormat = parseSampleFormat(v); }},
      });
  return withCommonOptions(std::move(table));
}

void requireEffect(PluginInstance& plugin) {
  const vst::AEffect& effect = plugin.effect();
  const int32_t category = plugin.category();
  if ((effect.flags & vst::effFlagsIsSynth) || category == vst::kPlugCategSynth)
    throw loadError(plugin.path() + " is an instrument, not an effect: render needs an effect");
  constexpr int32_t kPlugCategShell = 10;
  constexpr int32_t kPlugCategGenerator = 11;
  if (category == kPlugCategShell)
    throw loadError(plugin.path() + " is a shell of several plug-ins, not an effect");
  if (category == kPlugCategGenerator)
    throw loadError(plugin.path() + " is a generator, not an effect: render needs an effect");
  if (effect.numOutputs < 1) throw loadError(plugin.path() + " has no audio outputs");
  if (!effect.processReplacing)
    throw loadError(plugin.path() + " cannot process in place (no processReplacing)");
}

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", value);
  return text;
}

struct Report {
  std::string name, vendor;
  int32_t inputs = 0, outputs = 0, latency = 0;
  double pluginRate = 0.0;
  std::string inputFormat;
  int inputChannels = 0, fileRate = 0;
  int64_t inputFrames = 0;
  int64_t tailFrames = 0;
  std::string routing;
  size_t midiTotal = 0, midiDelivered = 0;
  RenderResult result;
  std::string outputFormat;
  bool outputClips = false;
  bool outputCanBeFloat = true;
  std::vector<int64_t> overFullScale;
  bool latencyChanged = false;

  double audioSeconds() const { return static_cast<double>(result.framesWritten) / fileRate; }
  double realtimeFactor() const { return audioSeconds() / std::max(result.wallSeconds, 1e-9); }
};

// Only when there is something to say: a silent clip is what this is for.
void printOverFullScale(std::ostream& out, const Report& r) {
  int64_t total = 0;
  for (const int64_t count : r.overFullScale) total += count;
  if (total == 0) return;
  out << (r.outputClips ? "clipped   " : "over 0 dB ") << total << " samples beyond full scale (";
  for (size_t c = 0; c < r.overFullScale.size(); ++c)
    out << (c ? ", " : "") << "channel " << c + 1 << ": " << r.overFullScale[c];
  if (!r.outputClips)
    out << "); kept, " + r.outputFormat + " holds them\n";
  else
    out << "); " << r.outputFormat << " cannot hold them, "
        << (r.outputCanBeFloat ? "--format float would keep them\n"
                               : "a .wav or .aiff output would keep them\n");
}

void printText(std::ostream& out, const RenderSettings& s, const Report& r) {
  const auto& in = s.positionals[1];
  const auto& outPath = s.positionals[2];
  out << "plug-in   " << r.name << (r.vendor.empty() ? "" : " by " + r.vendor) << ": " << r.inputs
      << " in, " << r.outputs << " out, latency " << r.latency << " samples, told " << r.pluginRate
      << " Hz and blocks of " << s.blockSize << "\n";
  out << "input     " << in << ": " << r.inputFormat << ", " << counted(r.inputChannels, "channel")
      << ", " << r.fileRate << " Hz, " << r.inputFrames << " frames ("
      << seconds(static_cast<double>(r.inputFrames) / r.fileRate) << "); " << r.routing << "\n";
  if (!s.midiFile.empty())
    out << "midi      " << s.midiFile << ": " << r.midiDelivered << " of " << r.midiTotal
        << " events delivered\n";
  out << "output    " << outPath << ": " << r.outputFormat << ", " << counted(r.outputs, "channel")
      << ", " << r.result.framesWritten << " frames"
      << (r.tailFrames ? " with a tail of " + counted(r.tailFrames, "frame") : "")
      << (s.compensate ? "; latency of " + std::to_string(r.latency) + " samples removed" : "")
      << "\n";
  printOverFullScale(out, r);
  char summary[128];
  std::snprintf(summary, sizeof summary, "rendered  %.3f s of audio in %.3f s: %.1fx realtime\n",
                r.audioSeconds(), r.result.wallSeconds, r.realtimeFactor());
  out << summary;
}

void printJson(std::ostream& out, const RenderSettings& s, const Report& r,
               const std::vector<ParameterInfo>& changed) {
  JsonWriter json(out);
  json.beginObject();
  json.field("plugin", s.positionals[0]);
  json.field("name", r.name);
  json.field("vendor", r.vendor);
  json.field("latency", r.latency);
  json.field("compensated", s.compensate);
  json.field("latencyChanged", r.latencyChanged);
  json.field("blockSize", s.blockSize);
  json.field("pluginSampleRate", r.pluginRate);
  json.key("input");
  json.beginObject();
  json.field("path", s.positionals[1]);
  json.field("format", r.inputFormat);
  json.field("channels", r.inputChannels);
  json.field("sampleRate", r.fileRate);
  json.field("frames", r.inputFrames);
  json.field("routing", r.routing);
  json.endObject();
  json.key("output");
  json.beginObject();
  json.field("path", s.positionals[2]);
  json.field("format", r.outputFormat);
  json.field("channels", r.outputs);
  json.field("sampleRate", r.fileRate);
  json.field("frames", r.result.framesWritten);
  json.field("tailFrames", r.tailFrames);
  json.key("overFullScale");
  json.beginArray();
  for (const int64_t count : r.overFullScale) json.value(count);
  json.endArray();
  json.key("clipped");
  json.beginArray();
  for (const int64_t count : r.overFullScale) json.value(r.outputClips ? count : int64_t{0});
  json.endArray();
  json.endObject();
  json.key("midi");
  if (s.midiFile.empty()) {
    json.null();
  } else {
    json.beginObject();
    json.field("path", s.midiFile);
    json.field("events", static_cast<int64_t>(r.midiTotal));
    json.field("delivered", static_cast<int64_t>(r.midiDelivered));
    json.endObject();
  }
  writeParameterArray(json, "set", changed);
  json.field("framesProcessed", r.result.framesProcessed);
  json.field("audioSeconds", r.audioSeconds());
  json.field("wallSeconds", r.result.wallSeconds);
  json.field("realtimeFactor", r.realtimeFactor());
  json.endObject();
  json.finish();
}

// The render goes on with the frames that are there, but the user should
// know the file is not what its header says.
void warnIfTruncated(const std::string& path, const AudioReader& input) {
  const std::optional<Truncation> cut = findTruncatedWav(path);
  if (!cut) return;
  std::cerr << "Warning: " << path << " is cut short: its header promises " << cut->promisedBytes
            << " bytes of audio, the file holds " << cut->presentBytes << "; rendering the "
            << counted(input.frames(), "frame") << " that are there\n";
}

}  // namespace

void runRender(const Arguments& args, std::ostream& out) {
  const auto table = renderOptions();
  RenderSettings s;
  parseCommandLine(args, table, "render", s);
  if (s.help) return printHelp(out, kUsage, table);
  requireArguments(s.positionals, 3, 3, kUsage);
  const std::string& pluginPath = s.positionals[0];

  // Everything that can be checked without the plug-in is checked first.
  if (sameFile(s.positionals[1], s.positionals[2]))
    throw usageError("the output " + s.positionals[2] +
                     " is the input file: render to another name, then rename");
  AudioReader input(s.positionals[1]);
  warnIfTruncated(s.positionals[1], input);
  AudioWriter output(s.positionals[2], s.sampleFormat);
  const double pluginRate = s.rate.value_or(input.sampleRate());
  const std::vector<uint8_t> chunk = readSetupFiles(s.setup);
  std::vector<TimedMidiMessage> messages;
  if (!s.midiFile.empty()) {
    const CrashGuard::Activity activity("reading the MIDI file");
    messages = readMidiFile(s.midiFile, pluginRate);
  }
  MidiSchedule midi(std::move(messages));

  applyEnvironment(s.setup);
  // Outlives the plug-in, which may print until it is closed.
  std::optional<ScriptErrorWatch> scriptErrors;
  if (s.setup.strict) scriptErrors.emplace();
  HostContext host;
  host.setProcessLevel(vst::kVstProcessLevelOffline);
  const CrashGuard::Activity activity("running the plug-in");
  const auto plugin = openPlugin(pluginPath, host, pluginRate, s.blockSize);
  requireEffect(*plugin);
  const auto assignments = configurePlugin(*plugin, s.setup, chunk);
  // Scripts load with the plug-in: a failed one is known before any audio.
  if (scriptErrors) scriptErrors->requireNone();

  // Many plug-ins settle their latency only when switched on.
  plugin->resume();
  const int32_t latency = std::max(plugin->latency(), 0);
  const int ioChangesBefore = host.ioChanges();
  plugin->startProcess();
  // Frames of the file's rate, which the output keeps.
  const int64_t tailFrames = std::llround(s.tailSeconds * input.sampleRate());
  output.open(plugin->numOutputs(), input.sampleRate(), input.frames() + tailFrames);

  RenderPlan plan;
  plan.blockSize = s.blockSize;
  plan.outputFrames = input.frames() + tailFrames;
  plan.skipFrames = s.compensate ? latency : 0;
  const double outputSeconds = static_cast<double>(plan.outputFrames) / input.sampleRate();
  ProgressBar progress(isatty(STDERR_FILENO) && outputSeconds >= kProgressMinimumSeconds,
                       plan.outputFrames + plan.skipFrames);

  Report report;
  report.result = renderOffline(*plugin, input, output, midi, plan, progress);
  plugin->stopProcess();
  plugin->suspend();
  if (scriptErrors) scriptErrors->requireNone();
  output.commit();

  report.name = plugin->text(vst::effGetEffectName);
  report.vendor = plugin->text(vst::effGetVendorString);
  report.inputs = plugin->numInputs();
  report.outputs = plugin->numOutputs();
  report.latency = latency;
  report.latencyChanged = host.ioChanges() != ioChangesBefore || plugin->latency() != latency;
  report.pluginRate = pluginRate;
  report.inputFormat = input.formatName();
  report.inputChannels = input.channels();
  report.fileRate = input.sampleRate();
  report.inputFrames = input.frames();
  report.tailFrames = tailFrames;
  report.routing = ChannelRouting(input.channels(), plugin->numInputs()).describe();
  report.midiTotal = midi.total();
  report.midiDelivered = midi.delivered();
  report.outputFormat = output.format().description;
  report.outputClips = !output.format().floating;
  report.outputCanBeFloat = output.format().floatPossible;
  report.overFullScale = output.overFullScale();
  if (report.latencyChanged && s.compensate)
    std::fprintf(stderr,
                 "veldrana-host: warning: the plug-in changed its latency while rendering; "
                 "%d samples were removed\n",
                 latency);

  if (s.json) return printJson(out, s, report, assignedParameters(*plugin, assignments));
  printAssignments(out, *plugin, assignments);
  printText(out, s, report);
}

}  // namespace vhost
