// `editor PLUGIN`: opens the plug-in's editor in a window of our own, as a
// DAW on X11 would, and can save what it shows as a PNG, so the editor can
// be looked at (and checked) without a DAW.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "tools/host/CommandLine.h"
#include "tools/host/CommandSupport.h"
#include "tools/host/Commands.h"
#include "tools/host/CrashGuard.h"
#include "tools/host/HostError.h"
#include "tools/host/HostWindow.h"
#include "tools/host/JsonWriter.h"
#include "tools/host/OutputFile.h"
#include "tools/host/StopRequest.h"

namespace vhost {

namespace {

constexpr const char* kUsage =
    "editor PLUGIN [--seconds S] [--screenshot FILE.png] [--size WxH] [--frames N] [--json]";
constexpr double kLongestRun = 1e7;  // seconds; about four months
constexpr int kIdleCallsPerSecond = 30;
constexpr int kDefaultFrames = 30;
constexpr int kLargestFrames = 1000000;
constexpr int kLargestSide = 16384;
constexpr HostContext::WindowSize kFallbackSize{640, 480};

using WindowSize = HostContext::WindowSize;

struct EditorSettings : CommonSettings {
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
  return withCommonOptions<S>({
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
         s.screenshot = v;
       }},
      {"--size", "WxH", "the window's size (default: what the editor asks for, else 640x480)",
       [](S& s, const std::string& v) { s.size = parseSize(v); }},
      {"--frames", "N",
       "take the screenshot after N idle calls, 30 a second (default 30; with --seconds and "
       "no --frames, at the end)",
       [](S& s, const std::string& v) {
         s.frames = parseInteger(v, "--frames", 1, kLargestFrames);
       }},
  });
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

enum class StopCause { kTime, kScreenshot, kWindowClosed, kSignal };

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
};

std::string stopReason(const Session& session) {
  switch (session.cause) {
    case StopCause::kTime:
      return "time";
    case StopCause::kScreenshot:
      return "screenshot";
    case StopCause::kWindowClosed:
      return "window";
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
  return kDefaultFrames;
}

// Idles the editor about 30 times a second until something ends the run.
void idleEditor(const EditorSettings& s, PluginInstance& plugin, HostContext& host,
                HostWindow& window, const StopRequest& stop, Session& session) {
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
    if (stop.requested()) {
      session.cause = StopCause::kSignal;
      session.signal = stop.signal();
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

void printJson(std::ostream& out, const EditorSettings& s, const Session& session) {
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
  // screenshot's folder and the X server.
  std::optional<OutputFile> screenshotFile;
  if (!s.screenshot.empty()) screenshotFile.emplace(s.screenshot);
  X11Display display;

  // Installed before the plug-in is loaded and removed after it is closed,
  // so an interruption at any point in between still closes the editor.
  const StopRequest stop;
  HostContext host;
  host.enableWindowSizing();
  const CrashGuard::Activity activity("running the plug-in's editor");
  const auto plugin = openPlugin(s.positionals[0], host);
  if ((plugin->effect().flags & vst::effFlagsHasEditor) == 0)
    throw loadError(plugin->path() + " has no editor (its flags lack effFlagsHasEditor)");

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
    idleEditor(s, *plugin, host, window, stop, session);
  }

  if (screenshotFile) {
    const std::vector<uint8_t> png = encodePng(*session.screenshot);
    screenshotFile->write(png.data(), png.size());
    screenshotFile->commit();
  }
  if (s.json) return printJson(out, s, session);
  printText(out, s, session);
}

}  // namespace vhost
