// The subcommands. Each takes the arguments after its own name, writes its
// results to `out`, and reports failure by throwing HostError.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vhost {

using Arguments = std::vector<std::string>;

void runInfo(const Arguments& args, std::ostream& out);
void runParams(const Arguments& args, std::ostream& out);
void runSet(const Arguments& args, std::ostream& out);
void runGet(const Arguments& args, std::ostream& out);
void runChunk(const Arguments& args, std::ostream& out);
void runRender(const Arguments& args, std::ostream& out);
void runServe(const Arguments& args, std::ostream& out);
void runEditor(const Arguments& args, std::ostream& out);

struct Command {
  const char* name;
  const char* synopsis;
  void (*run)(const Arguments& args, std::ostream& out);
};

const std::vector<Command>& commands();

}  // namespace vhost
