// `serve PLUGIN`: keeps a plug-in running in real time, on silence or a
// looped file, so it can be played with from outside (OSC above all) the
// way it would behave inside a DAW, without one.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tools/host/AudioFiles.h"
#include "tools/host/ChannelRouting.h"
#include "tools/host/CommandLine.h"
#include "tools/host/CommandSupport.h"
#include "tools/host/Commands.h"
#include "tools/host/CrashGuard.h"
#include "tools/host/HostError.h"
#include "tools/host/JsonWriter.h"
#include "tools/host/OscPort.h"
#include "tools/host/ParameterReport.h"
#include "tools/host/PluginSetup.h"
#include "tools/host/RealtimeRunner.h"
#include "tools/host/ScriptErrorWatch.h"
#include "tools/host/StopRequest.h"
#include "tools/host/UdpPortOwner.h"
#include "tools/host/Wording.h"

namespace vhost {

namespace {

constexpr const char* kUsage =
    "serve PLUGIN [--seconds S] [--input FILE] [--osc-offset N] [--scripts DIR]\n"
    "       [--set NAME=VALUE]... [--chunk FILE] [--block N] [--rate R] [--strict]\n"
    "       [--verbose] [--json]";
constexpr double kLongestRun = 1e7;  // seconds; about four months
// How long the plug-in gets to open its OSC port once told to.
constexpr auto kOscOpenLimit = std::chrono::seconds(5);

struct ServeSettings : CommonSettings {
  PluginSetup setup;
  std::optional<double> seconds;
  std::string inputFile;
  int32_t blockSize = kDefaultBlockSize;
  std::optional<double> rate;
};

OptionTable<ServeSettings> serveOptions() {
  using S = ServeSettings;
  OptionTable<S> table = pluginSetupOptions<S>();
  const OptionTable<S> checks = scriptCheckOptions<S>();
  table.insert(table.end(), checks.begin(), checks.end());
  table.insert(table.end(),
               {
                   {"--seconds", "S", "stop after S seconds (default: run until Ctrl-C or SIGTERM)",
                    [](S& s, const std::string& v) {
                      const double seconds = parseNumber(v, "--seconds");
                      if (seconds <= 0.0 || seconds > kLongestRun)
                        throw usageError("--seconds must be more than 0 and at most 10000000");
                      s.seconds = seconds;
                    }},
                   {"--input", "FILE", "play this audio file in a loop (default: silence)",
                    [](S& s, const std::string& v) { s.inputFile = v; }},
                   {"--block", "N", "host block size in frames (default 512)",
                    [](S& s, const std::string& v) {
                      s.blockSize = parseInteger(v, "--block", 1, kLargestBlock);
                    }},
                   {"--rate", "R", "sample rate (default: the input file's, else 44100)",
                    [](S& s, const std::string& v) { s.rate = parseSampleRate(v, "--rate"); }},
               });
  return withCommonOptions(std::move(table));
}

void requireProcessing(PluginInstance& plugin) {
  if (!plugin.effect().processReplacing)
    throw loadError(plugin.path() + " cannot process in place (no processReplacing)");
}

// Where the plug-in's OSC server is, for a plug-in that has one. The
// parameter's value, not only --osc-offset, decides: a chunk may carry it.
std::optional<OscPort> findOscPort(PluginInstance& plugin, const PluginSetup& setup) {
  const ParameterNames names(plugin);
  const std::optional<int32_t> index = findOscOffsetParameter(names);
  if (!index) return std::nullopt;
  const int offset =
      setup.oscOffset.value_or(static_cast<int>(std::lround(plugin.parameter(*index) * 100.0f)));
  return oscPortFor(offset);
}

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", value);
  return text;
}

std::string stopReason(int signal) {
  switch (signal) {
    case 0:
      return "time";
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    default:
      return "signal " + std::to_string(signal);
  }
}

struct Session {
  std::string name, vendor;
  int32_t inputs = 0, outputs = 0, latency = 0;
  double rate = 0.0;
  std::optional<OscPort> osc;
  UdpPortOwner oscOwner = UdpPortOwner::kNobody;
  std::string inputFormat, routing;
  int inputChannels = 0, inputRate = 0;
  int64_t inputFrames = 0;
  RealtimeResult result;

  double audioSeconds() const { return static_cast<double>(result.framesProcessed) / rate; }
};

void printStart(std::ostream& out, const ServeSettings& s, const Session& session) {
  out << "plug-in   " << session.name << (session.vendor.empty() ? "" : " by " + session.vendor)
      << ": " << session.inputs << " in, " << session.outputs << " out, latency " << session.latency
      << " samples, told " << session.rate << " Hz and blocks of " << s.blockSize << "\n";
  if (s.inputFile.empty())
    out << "input     silence\n";
  else
    out << "input     " << s.inputFile << ": " << session.inputFormat << ", "
        << counted(session.inputChannels, "channel") << ", " << session.inputRate << " Hz, "
        << session.inputFrames << " frames, played in a loop; " << session.routing << "\n";
  if (session.osc) {
    const OscPort& osc = *session.osc;
    const std::string where =
        "UDP port " + std::to_string(osc.port()) + " (base port " + std::to_string(osc.basePort) +
        " + offset " + std::to_string(osc.offset) + "; the base port is \"OSC Base Port\" in " +
        osc.preferencesFile + ", 7000 when unset)";
    if (!osc.turnedOn())
      out << "osc       off (\"" << kOscOffsetParameter << "\" is 0; use --osc-offset N)\n";
    else if (session.oscOwner == UdpPortOwner::kThisProcess)
      out << "osc       " << where << "\n";
    else if (session.oscOwner == UdpPortOwner::kOtherProgram)
      out << "osc       NOT listening: another program holds " << where << "\n";
    else
      out << "osc       NOT listening: the plug-in did not open " << where << "\n";
  }
  if (s.seconds)
    out << "serving   for " << seconds(*s.seconds) << "\n";
  else
    out << "serving   until Ctrl-C or SIGTERM\n";
  out.flush();
}

bool oscListening(const Session& session) {
  return session.osc && session.osc->turnedOn() && session.oscOwner == UdpPortOwner::kThisProcess;
}

const char* oscState(const Session& session) {
  if (!session.osc->turnedOn()) return "off";
  switch (session.oscOwner) {
    case UdpPortOwner::kThisProcess:
      return "listening";
    case UdpPortOwner::kOtherProgram:
      return "taken";
    default:
      return "not opened";
  }
}

void printEnd(std::ostream& out, const Session& session) {
  const RealtimeResult& r = session.result;
  char line[256];
  std::snprintf(line, sizeof line,
                "served    %.3f s of audio in %.3f s: %lld blocks, %lld late; output peak %.6f; "
                "stopped by %s\n",
                session.audioSeconds(), r.wallSeconds, static_cast<long long>(r.blocks),
                static_cast<long long>(r.lateBlocks), static_cast<double>(r.outputPeak),
                stopReason(r.stopSignal).c_str());
  out << line;
}

void printJson(std::ostream& out, const ServeSettings& s, const Session& session,
               const std::vector<ParameterInfo>& changed) {
  const RealtimeResult& r = session.result;
  JsonWriter json(out);
  json.beginObject();
  json.field("plugin", s.positionals[0]);
  json.field("name", session.name);
  json.field("vendor", session.vendor);
  json.field("latency", session.latency);
  json.field("blockSize", s.blockSize);
  json.field("sampleRate", session.rate);
  json.key("input");
  if (s.inputFile.empty()) {
    json.null();
  } else {
    json.beginObject();
    json.field("path", s.inputFile);
    json.field("format", session.inputFormat);
    json.field("channels", session.inputChannels);
    json.field("sampleRate", session.inputRate);
    json.field("frames", session.inputFrames);
    json.field("routing", session.routing);
    json.field("passes", r.inputPasses);
    json.endObject();
  }
  json.key("osc");
  if (!session.osc) {
    json.null();
  } else {
    json.beginObject();
    json.field("offset", session.osc->offset);
    json.field("basePort", session.osc->basePort);
    json.field("listening", oscListening(session));
    json.field("state", oscState(session));
    json.key("port");
    if (session.osc->turnedOn())
      json.value(session.osc->port());
    else
      json.null();
    json.field("preferences", session.osc->preferencesFile);
    json.endObject();
  }
  writeParameterArray(json, "set", changed);
  json.field("framesProcessed", r.framesProcessed);
  json.field("blocks", r.blocks);
  json.field("lateBlocks", r.lateBlocks);
  json.field("audioSeconds", session.audioSeconds());
  json.field("wallSeconds", r.wallSeconds);
  json.field("outputPeak", static_cast<double>(r.outputPeak));
  json.field("stoppedBy", stopReason(r.stopSignal));
  json.endObject();
  json.finish();
}

}  // namespace

void runServe(const Arguments& args, std::ostream& out) {
  const auto table = serveOptions();
  ServeSettings s;
  parseCommandLine(args, table, "serve", s);
  if (s.help) return printHelp(out, kUsage, table);
  requireArguments(s.positionals, 1, 1, kUsage);

  std::optional<AudioReader> input;
  if (!s.inputFile.empty()) input.emplace(s.inputFile);
  const std::vector<uint8_t> chunk = readSetupFiles(s.setup);
  Session session;
  session.rate = s.rate.value_or(input ? input->sampleRate() : kDefaultSampleRate);

  // Installed before the plug-in is loaded and removed after it is closed,
  // so an interruption at any point in between still closes it.
  const StopRequest stop;
  const UdpPortWatch ports;
  applyEnvironment(s.setup);
  // Outlives the plug-in, which may print until it is closed.
  std::optional<ScriptErrorWatch> scriptErrors;
  if (s.setup.strict) scriptErrors.emplace();
  HostContext host;
  const CrashGuard::Activity activity("running the plug-in");
  const auto plugin = openPlugin(s.positionals[0], host, session.rate, s.blockSize);
  requireProcessing(*plugin);
  const auto assignments = configurePlugin(*plugin, s.setup, chunk);
  if (scriptErrors) scriptErrors->requireNone();
  session.osc = findOscPort(*plugin, s.setup);
  // The plug-in's own thread binds the port, and cannot when another
  // program has it: what is reported is what the system shows.
  if (session.osc && session.osc->turnedOn())
    session.oscOwner = ports.waitForOwner(session.osc->port(), kOscOpenLimit);

  plugin->resume();
  plugin->startProcess();
  session.name = plugin->text(vst::effGetEffectName);
  session.vendor = plugin->text(vst::effGetVendorString);
  session.inputs = plugin->numInputs();
  session.outputs = plugin->numOutputs();
  session.latency = plugin->latency();
  if (input) {
    session.inputFormat = input->formatName();
    session.inputChannels = input->channels();
    session.inputRate = input->sampleRate();
    session.inputFrames = input->frames();
    session.routing = ChannelRouting(input->channels(), plugin->numInputs()).describe();
  }
  // With --json, standard output holds only the final object, but whoever
  // started the server still wants to know where it listens.
  std::ostream& progress = s.json ? std::cerr : out;
  if (!s.json) printAssignments(out, *plugin, assignments);
  printStart(progress, s, session);

  RealtimePlan plan;
  plan.blockSize = s.blockSize;
  plan.sampleRate = session.rate;
  if (s.seconds) plan.frames = std::max<int64_t>(1, std::llround(*s.seconds * session.rate));
  session.result = runRealtime(*plugin, input ? &*input : nullptr, plan, stop);
  plugin->stopProcess();
  plugin->suspend();
  if (scriptErrors) scriptErrors->requireNone();

  if (s.json) return printJson(out, s, session, assignedParameters(*plugin, assignments));
  printEnd(out, session);
}

}  // namespace vhost
