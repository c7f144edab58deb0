// `editor PLUGIN`: opens the plug-in's editor in a window of our own, as a
// DAW on X11 would, and can save what it shows as a PNG, so the editor can
// be looked at (and checked) without a DAW. With --play a file runs through
// the plug-in meanwhile, so an editor that shows its audio has some to show.
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tools/host/AudioFiles.h"
#include "tools/host/BackgroundPlayback.h"
#include "tools/host/ChannelRouting.h"
#include "tools/host/CommandLine.h"
#include "tools/host/CommandSupport.h"
#include "tools/host/Commands.h"
#include "tools/host/CrashGuard.h"
#include "tools/host/FileIdentity.h"
#include "tools/host/HostError.h"
#include "tools/host/HostWindow.h"
#include "tools/host/JsonWriter.h"
#include "tools/host/OutputFile.h"
#include "tools/host/ParameterReport.h"
#include "tools/host/PluginSetup.h"
#include "tools/host/RealtimeRunner.h"
#include "tools/host/StopRequest.h"
#include "tools/host/Wording.h"

namespace vhost {

namespace {

constexpr const char* kUsage =
    "editor PLUGIN [--seconds S] [--screenshot FILE.png] [--size WxH] [--frames N]\n"
    "       [--play FILE] [--block N] [--set NAME=VALUE]... [--chunk FILE] [--scripts DIR]\n"
    "       [--osc-offset N] [--json]";
constexpr double kLongestRun = 1e7;  // seconds; about four months
constexpr int kIdleCallsPerSecond = 30;
constexpr int kDefaultFrames = 30;
// Two seconds: long enough for an editor that shows its audio to have
// drawn some, short frames of analysis included.
constexpr int kDefaultFramesWhilePlaying = 60;
constexpr int kLargestFrames = 1000000;
constexpr int kLargestSide = 16384;
constexpr HostContext::WindowSize kFallbackSize{640, 480};

using WindowSize = HostContext::WindowSize;

struct EditorSettings : CommonSettings {
  PluginSetup setup;
  std::string playFile;
  int32_t blockSize = kDefaultBlockSize;
  std::optional<double> seconds;
  std::string screenshot;
  std::optional<WindowSize> size;
  std::optional<int> frames;
};

WindowSize parseSize(const std::string& text) {
  const size_t x = text.find('x');
  if (x == std::string::npos) throw usageError("--size must be WIDTHxHEIGHT, not '" + text + "'");
  return {parseInteger(text.substr(0, x), "--size width", 1, kLargestSide),
          parseInteger(text.substr(x + 1), "--size height", 1, kLargestSide)};
}

OptionTable<EditorSettings> editorOptions() {
  using S = EditorSettings;
  OptionTable<S> table{
      {"--seconds", "S",
       "close the editor after S seconds (default: when the window is closed, on Ctrl-C or "
       "SIGTERM, or after the screenshot)",
       [](S& s, const std::string& v) {
         const double seconds = parseNumber(v, "--seconds");
         if (seconds <= 0.0 || seconds > kLongestRun)
           throw usageError("--seconds must be more than 0 and at most 10000000");
         s.seconds = seconds;
       }},
      {"--screenshot", "FILE.png", "save what the window shows as an RGB PNG",
       [](S& s, const std::string& v) {
         if (v.empty()) throw usageError("--screenshot needs a file name");
         // Only PNG is written, so another name would hold the wrong format.
         if (!hasExtension(v, ".png"))
           throw usageError("--screenshot writes PNG: name the file .png, not '" + v + "'");
         s.screenshot = v;
       }},
      {"--size", "WxH", "the window's size (default: what the editor asks for, else 640x480)",
       [](S& s, const std::string& v) { s.size = parseSize(v); }},
      {"--frames", "N",
       "take the screenshot after N idle calls, 30 a second (default 30, with --play 60; with "
       "--seconds and no --frames, at the end)",
       [](S& s, const std::string& v) {
         s.frames = parseInteger(v, "--frames", 1, kLargestFrames);
       }},
      {"--play", "FILE",
       "while the editor is open, play this audio file through the plug-in in real time, in a "
       "loop, at its own sample rate (the output is discarded)",
       [](S& s, const std::string& v) {
         if (v.empty()) throw usageError("--play needs a file name");
         s.playFile = v;
       }},
      {"--block", "N", "host block size in frames for --play (default 512)",
       [](S& s, const std::string& v) {
         s.blockSize = parseInteger(v, "--block", 1, kLargestBlock);
       }},
  };
  // The same rows as `render` and `serve`, so --set spells ranges the same.
  const OptionTable<S> setup = pluginSetupOptions<S>();
  table.insert(table.end(), setup.begin(), setup.end());
  return withCommonOptions(std::move(table));
}

// The editor's own idea of its size, which many plug-ins only know once the
// editor is open.
std::optional<WindowSize> editorRect(PluginInstance& plugin) {
  vst::ERect* rect = nullptr;
  plugin.dispatch(vst::effEditGetRect, 0, 0, &rect);
  if (!rect) return std::nullopt;
  const int width = rect->right - rect->left;
  const int height = rect->bottom - rect->top;
  if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide)
    return std::nullopt;
  return WindowSize{width, height};
}

// Some editors answer effEditOpen with 0 even when they did open (hosts
// differ in whether they look at the answer); an editor that put a window
// into ours is open, whatever it said.
bool editorWindowAppeared(HostWindow& window) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  while (!window.hasChildren()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// effEditOpen for the lifetime of this object; effEditClose always follows,
// also when the editor did not open, since some leave half an editor behind.
class OpenEditor {
 public:
  OpenEditor(PluginInstance& plugin, HostWindow& window) : plugin_(plugin) {
    const intptr_t opened =
        plugin_.dispatch(vst::effEditOpen, 0, 0, reinterpret_cast<void*>(window.id()));
    if (opened == 0 && !editorWindowAppeared(window)) {
      plugin_.dispatch(vst::effEditClose);
      throw loadError(plugin_.path() +
                      ": the plug-in would not open its editor (effEditOpen answered 0 and no "
                      "editor window appeared)");
    }
  }
  ~OpenEditor() { plugin_.dispatch(vst::effEditClose); }
  OpenEditor(const OpenEditor&) = delete;
  OpenEditor& operator=(const OpenEditor&) = delete;

 private:
  PluginInstance& plugin_;
};

enum class StopCause { kTime, kScreenshot, kWindowClosed, kSignal, kPlaybackEnded };

// What --play played, for the report.
struct Playback {
  std::string format, routing;
  int channels = 0, sampleRate = 0;
  int64_t frames = 0;
  RealtimeResult result;

  double audioSeconds() const { return static_cast<double>(result.framesProcessed) / sampleRate; }
};

struct Session {
  std::string name;
  WindowSize requested{0, 0};  // what the window was made with
  WindowSize shown{0, 0};      // its size at the end
  int64_t idleCalls = 0;
  int resizes = 0;
  double wallSeconds = 0.0;
  StopCause cause = StopCause::kTime;
  int signal = 0;
  std::optional<RgbImage> screenshot;
  std::optional<Playback> played;
};

std::string stopReason(const Session& session) {
  switch (session.cause) {
    case StopCause::kTime:
      return "time";
    case StopCause::kScreenshot:
      return "screenshot";
    case StopCause::kWindowClosed:
      return "window";
    case StopCause::kPlaybackEnded:
      return "playback";
    case StopCause::kSignal:
      break;
  }
  if (session.signal == SIGINT) return "SIGINT";
  if (session.signal == SIGTERM) return "SIGTERM";
  return "signal " + std::to_string(session.signal);
}

// Which idle call the screenshot follows; nullopt means at the end.
std::optional<int64_t> screenshotFrame(const EditorSettings& s) {
  if (s.screenshot.empty()) return std::nullopt;
  if (s.frames) return *s.frames;
  if (s.seconds) return std::nullopt;
  return s.playFile.empty() ? kDefaultFrames : kDefaultFramesWhilePlaying;
}

// Idles the editor about 30 times a second until something ends the run.
// `playback` is null without --play.
void idleEditor(const EditorSettings& s, PluginInstance& plugin, HostContext& host,
                HostWindow& window, const StopRequest& stop, const BackgroundPlayback* playback,
                Session& session) {
  using Clock = std::chrono::steady_clock;
  const auto period = std::chrono::microseconds(1000000 / kIdleCallsPerSecond);
  const auto start = Clock::now();
  std::optional<Clock::time_point> deadline;
  if (s.seconds)
    deadline = start + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(*s.seconds));
  const std::optional<int64_t> shotAt = screenshotFrame(s);
  auto next = start;
  for (;;) {
    // Read before the signal: a signal also ends playing, and is then the
    // cause to report.
    const bool playbackEnded = playback && !playback->playing();
    if (stop.requested()) {
      session.cause = StopCause::kSignal;
      session.signal = stop.signal();
      break;
    }
    if (playbackEnded) {
      session.cause = StopCause::kPlaybackEnded;
      break;
    }
    if (!window.handleEvents()) {
      session.cause = StopCause::kWindowClosed;
      break;
    }
    if (const auto request = host.takeWindowSizeRequest()) {
      window.resize(request->width, request->height);
      ++session.resizes;
    }
    if (deadline && Clock::now() >= *deadline) {
      session.cause = StopCause::kTime;
      break;
    }
    plugin.dispatch(vst::effEditIdle);
    ++session.idleCalls;
    if (shotAt && session.idleCalls == *shotAt) {
      session.screenshot = window.capture();
      if (!s.seconds) {
        session.cause = StopCause::kScreenshot;
        break;
      }
    }
    // A slow editor delays the next call instead of getting a burst of
    // calls to catch up.
    next += period;
    const auto now = Clock::now();
    if (next < now) next = now;
    std::this_thread::sleep_until(next);
  }
  // A run that ended before the screenshot's turn takes it now.
  if (!s.screenshot.empty() && !session.screenshot) session.screenshot = window.capture();
  window.handleEvents();
  session.shown = {window.width(), window.height()};
  session.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
}

void printText(std::ostream& out, const EditorSettings& s, const Session& session) {
  char line[256];
  std::snprintf(line, sizeof line, "editor    %s in a %dx%d window\n", session.name.c_str(),
                session.requested.width, session.requested.height);
  out << line;
  if (session.played) {
    const Playback& p = *session.played;
    out << "played    " << s.playFile << ": " << p.format << ", " << counted(p.channels, "channel")
        << ", " << p.sampleRate << " Hz, " << p.frames << " frames, in a loop in blocks of "
        << s.blockSize << "; " << p.routing << "\n";
    std::snprintf(line, sizeof line, "          %.3f s of audio: %lld blocks, %lld late\n",
                  p.audioSeconds(), static_cast<long long>(p.result.blocks),
                  static_cast<long long>(p.result.lateBlocks));
    out << line;
  }
  std::snprintf(line, sizeof line,
                "closed    after %lld idle calls in %.3f s (%d resizes, now %dx%d); stopped by "
                "%s\n",
                static_cast<long long>(session.idleCalls), session.wallSeconds, session.resizes,
                session.shown.width, session.shown.height, stopReason(session).c_str());
  out << line;
  if (session.screenshot)
    out << "saved     " << session.screenshot->width << "x" << session.screenshot->height
        << " screenshot to " << s.screenshot << "\n";
}

void writePlayback(JsonWriter& json, const EditorSettings& s, const Session& session) {
  json.key("play");
  if (!session.played) return json.null();
  const Playback& p = *session.played;
  json.beginObject();
  json.field("path", s.playFile);
  json.field("format", p.format);
  json.field("channels", p.channels);
  json.field("sampleRate", p.sampleRate);
  json.field("frames", p.frames);
  json.field("routing", p.routing);
  json.field("blockSize", s.blockSize);
  json.field("framesProcessed", p.result.framesProcessed);
  json.field("audioSeconds", p.audioSeconds());
  json.field("blocks", p.result.blocks);
  json.field("lateBlocks", p.result.lateBlocks);
  json.field("passes", p.result.inputPasses);
  json.endObject();
}

void printJson(std::ostream& out, const EditorSettings& s, const Session& session,
               const std::vector<ParameterInfo>& changed) {
  JsonWriter json(out);
  json.beginObject();
  json.field("plugin", s.positionals[0]);
  json.field("name", session.name);
  json.field("width", session.requested.width);
  json.field("height", session.requested.height);
  json.field("finalWidth", session.shown.width);
  json.field("finalHeight", session.shown.height);
  json.field("resizes", session.resizes);
  json.field("idleCalls", session.idleCalls);
  json.field("wallSeconds", session.wallSeconds);
  json.key("screenshot");
  if (session.screenshot)
    json.value(s.screenshot);
  else
    json.null();
  json.field("stoppedBy", stopReason(session));
  writePlayback(json, s, session);
  writeParameterArray(json, "set", changed);
  json.endObject();
  json.finish();
}

}  // namespace

void runEditor(const Arguments& args, std::ostream& out) {
  const auto table = editorOptions();
  EditorSettings s;
  parseCommandLine(args, table, "editor", s);
  if (s.help) return printHelp(out, kUsage, table);
  requireArguments(s.positionals, 1, 1, kUsage);

  // Everything that can fail without the plug-in fails before it loads: the
  // screenshot's folder, the files to read and the X server.
  std::optional<OutputFile> screenshotFile;
  if (!s.screenshot.empty()) screenshotFile.emplace(s.screenshot);
  std::optional<AudioReader> input;
  if (!s.playFile.empty()) input.emplace(s.playFile);
  const std::vector<uint8_t> chunk = readSetupFiles(s.setup);
  X11Display display;

  // Installed before the plug-in is loaded and removed after it is closed,
  // so an interruption at any point in between still closes the editor.
  const StopRequest stop;
  applyEnvironment(s.setup);
  HostContext host;
  host.enableWindowSizing();
  const CrashGuard::Activity activity("running the plug-in's editor");
  const auto plugin = openPlugin(s.positionals[0], host,
                                 input ? input->sampleRate() : kDefaultSampleRate, s.blockSize);
  if ((plugin->effect().flags & vst::effFlagsHasEditor) == 0)
    throw loadError(plugin->path() + " has no editor (its flags lack effFlagsHasEditor)");
  if (input && !plugin->effect().processReplacing)
    throw loadError(plugin->path() + " cannot process in place (no processReplacing)");
  // The editor opens on the state it is asked to show.
  const auto assignments = configurePlugin(*plugin, s.setup, chunk);

  Session session;
  session.name = plugin->text(vst::effGetEffectName);
  const std::optional<WindowSize> asked = editorRect(*plugin);
  session.requested = s.size.value_or(asked.value_or(kFallbackSize));
  {
    HostWindow window(display, session.requested.width, session.requested.height,
                      (session.name.empty() ? plugin->path() : session.name) + " - veldrana-host");
    window.show();
    const OpenEditor editor(*plugin, window);
    // Only an open editor knows its size for some plug-ins; the window
    // follows unless the size was given.
    if (!s.size) {
      const std::optional<WindowSize> now = editorRect(*plugin);
      if (now && (now->width != window.width() || now->height != window.height())) {
        window.resize(now->width, now->height);
        session.requested = *now;
      }
    }
    // Declared after the editor, so the audio thread has ended before the
    // editor closes, also when something throws.
    std::optional<BackgroundPlayback> playback;
    if (input) playback.emplace(*plugin, *input, s.blockSize, stop);
    idleEditor(s, *plugin, host, window, stop, playback ? &*playback : nullptr, session);
    if (playback) {
      Playback& played = session.played.emplace();
      played.result = playback->finish();
      played.format = input->formatName();
      played.channels = input->channels();
      played.sampleRate = input->sampleRate();
      played.frames = input->frames();
      played.routing = ChannelRouting(input->channels(), plugin->numInputs()).describe();
    }
  }

  if (screenshotFile) {
    const std::vector<uint8_t> png = encodePng(*session.screenshot);
    screenshotFile->write(png.data(), png.size());
    screenshotFile->commit();
  }
  if (s.json) return printJson(out, s, session, assignedParameters(*plugin, assignments));
  printAssignments(out, *plugin, assignments);
  printText(out, s, session);
}

}  // namespace vhost
