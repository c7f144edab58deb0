// What `render` and `serve` do to a plug-in before it processes: variables
// in its environment, a state chunk, parameter changes and Veldrana's OSC
// port offset. The options are shared rows, so both commands spell and
// apply them the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/host/CommandLine.h"
#include "tools/host/Parameters.h"
#include "tools/host/PluginInstance.h"

namespace vhost {

// Veldrana's parameter that turns its OSC server on, at base port + offset.
constexpr const char* kOscOffsetParameter = "OSC Port Offset";
constexpr int kLargestOscOffset = 100;

struct PluginSetup {
  std::vector<std::string> assignments;
  std::string chunkFile;
  bool chunkIsProgram = false;
  bool rawChunk = false;
  std::optional<std::string> scriptsFolder;
  std::optional<int> oscOffset;
  bool strict = false;
  // Variables set in this process before the plug-in is loaded, for options
  // that configure a plug-in through its environment.
  std::vector<std::pair<std::string, std::string>> environment;
};

// The rows for a command whose settings hold a PluginSetup named `setup`.
template <class Settings>
OptionTable<Settings> pluginSetupOptions() {
  using S = Settings;
  return {
      {"--set", "NAME=VALUE",
       "set a parameter (normalized 0..1) or a range FIRST..LAST before processing; repeatable",
       [](S& s, const std::string& v) { s.setup.assignments.push_back(v); }},
      {"--chunk", "FILE", "restore a .fxp/.fxb preset first (before any --set)",
       [](S& s, const std::string& v) { s.setup.chunkFile = v; }},
      {"--program-chunk", "", "the raw --chunk file holds a program chunk, not a bank",
       [](S& s, const std::string&) { s.setup.chunkIsProgram = true; }},
      {"--raw-chunk", "", "the --chunk file is a raw chunk, not a .fxp/.fxb preset",
       [](S& s, const std::string&) { s.setup.rawChunk = true; }},
      {"--scripts", "DIR",
       "Veldrana: load user scripts from DIR instead of the user's Scripts folder",
       [](S& s, const std::string& v) {
         s.setup.scriptsFolder = v;
         s.setup.environment.emplace_back("VELDRANA_SCRIPTS_DIR", v);
       }},
      {"--osc-offset", "N",
       "Veldrana: set \"OSC Port Offset\" to N (0..100; its OSC server listens on base port + N)",
       [](S& s, const std::string& v) {
         s.setup.oscOffset = parseInteger(v, "--osc-offset", 0, kLargestOscOffset);
       }},
  };
}

// --strict and --verbose, for the commands that run a plug-in's scripts
// unattended (render, serve).
template <class Settings>
OptionTable<Settings> scriptCheckOptions() {
  using S = Settings;
  // Veldrana reports spectral scripts' errors only when asked to.
  static const std::pair<std::string, std::string> kReportErrors{"VELDRANA_SCRIPT_ERRORS", "1"};
  return {
      {"--strict", "",
       "fail (exit 1, no output file) when a script fails to load or a spectral script fails",
       [](S& s, const std::string&) {
         s.setup.strict = true;
         s.setup.environment.push_back(kReportErrors);
       }},
      {"--verbose", "", "Veldrana: also print each spectral script's first error",
       [](S& s, const std::string&) { s.setup.environment.push_back(kReportErrors); }},
  };
}

// Everything that can be checked before the plug-in is loaded: reads the
// chunk file (empty when there is none) and checks the scripts folder.
// Throws HostError.
std::vector<uint8_t> readSetupFiles(const PluginSetup& setup);

// Must run before the plug-in is loaded: plug-ins read their environment
// while they start.
void applyEnvironment(const PluginSetup& setup);

// Restores the chunk, then makes the --set changes and the OSC offset.
// Every name is checked before anything is set. Returns what was set, in
// order, for the report.
std::vector<Assignment> configurePlugin(PluginInstance& plugin, const PluginSetup& setup,
                                        const std::vector<uint8_t>& chunk);

// The "OSC Port Offset" parameter, or nullopt when the plug-in has none.
std::optional<int32_t> findOscOffsetParameter(const ParameterNames& names);

}  // namespace vhost
