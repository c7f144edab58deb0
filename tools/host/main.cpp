// veldrana-host: a command-line VST 2.4 host.
#include <exception>
#include <iostream>
#include <string>

#include "tools/host/Commands.h"
#include "tools/host/CrashGuard.h"
#include "tools/host/HostError.h"
#include "tools/host/StdoutRedirect.h"

namespace vhost {

const std::vector<Command>& commands() {
  static const std::vector<Command> kCommands = {
      {"info", "PLUGIN                     what the plug-in says about itself", runInfo},
      {"params", "PLUGIN [--match TEXT]    every parameter with its value and display", runParams},
      {"set", "PLUGIN NAME=VALUE...        change parameters (normalized 0..1)", runSet},
      {"get", "PLUGIN NAME...              read parameters", runGet},
      {"chunk", "save|load PLUGIN FILE     save or restore the plug-in's state chunk", runChunk},
      {"render", "PLUGIN IN OUT            process an audio file offline", runRender},
      {"serve", "PLUGIN [--seconds S]      run the plug-in in real time, e.g. to try OSC",
       runServe},
      {"editor",
       "PLUGIN [--seconds S]     show the plug-in's editor in a window, or save it as PNG",
       runEditor},
  };
  return kCommands;
}

namespace {

void printUsage(std::ostream& out) {
  out << "usage: veldrana-host COMMAND ARGS... [--json]\n\ncommands:\n";
  for (const auto& command : commands())
    out << "  " << command.name << " " << command.synopsis << "\n";
  out << "\n'veldrana-host COMMAND --help' describes a command's options.\n";
}

int run(int argc, char** argv) {
  if (argc < 2) {
    printUsage(std::cerr);
    return kExitUsage;
  }
  const std::string name = argv[1];
  if (name == "help" || name == "--help" || name == "-h") {
    printUsage(std::cout);
    return kExitOk;
  }
  if (name == "--version" || name == "version") {
    std::cout << "veldrana-host " << VELDRANA_HOST_VERSION << "\n";
    return kExitOk;
  }
  Arguments args(argv + 2, argv + argc);
  // -h asks for a command's help as --help does; after "--" it is a name.
  for (std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "-h") arg = "--help";
  }
  for (const auto& command : commands()) {
    if (name != command.name) continue;
    command.run(args, std::cout);
    std::cout.flush();
    return kExitOk;
  }
  throw usageError("unknown command '" + name + "' (try 'veldrana-host help')");
}

}  // namespace
}  // namespace vhost

int main(int argc, char** argv) {
  vhost::CrashGuard::install();
  const vhost::StdoutRedirect redirect;
  try {
    return vhost::run(argc, argv);
  } catch (const vhost::HostError& error) {
    std::cerr << "veldrana-host: " << error.what() << std::endl;
    return error.code();
  } catch (const std::exception& error) {
    std::cerr << "veldrana-host: " << error.what() << std::endl;
    return vhost::kExitFailure;
  }
}
