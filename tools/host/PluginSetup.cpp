#include "tools/host/PluginSetup.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/host/CommandSupport.h"
#include "tools/host/HostError.h"
#include "tools/host/PluginState.h"

namespace vhost {

namespace {

constexpr const char* kRawChunkOption = "--raw-chunk";

void checkScriptsFolder(const std::string& folder) {
  // An empty value would make the plug-in fall back to the user's own
  // folder, the opposite of what was asked for.
  if (folder.empty()) throw usageError("--scripts needs a folder");
  struct stat st {};
  if (stat(folder.c_str(), &st) != 0)
    throw failure("cannot read the scripts folder " + folder + ": " + std::strerror(errno));
  if (!S_ISDIR(st.st_mode))
    throw failure("cannot read the scripts folder " + folder + ": it is not a folder");
}

}  // namespace

std::vector<uint8_t> readSetupFiles(const PluginSetup& setup) {
  if (setup.scriptsFolder) checkScriptsFolder(*setup.scriptsFolder);
  if (setup.chunkFile.empty()) return {};
  std::vector<uint8_t> bytes = readChunkFile(setup.chunkFile);
  checkStateFile(bytes, setup.chunkFile, setup.rawChunk, kRawChunkOption);
  return bytes;
}

void applyEnvironment(const PluginSetup& setup) {
  for (const auto& [name, value] : setup.environment)
    if (setenv(name.c_str(), value.c_str(), 1) != 0)
      throw usageError("cannot set the environment variable " + name);
}

std::optional<int32_t> findOscOffsetParameter(const ParameterNames& names) {
  int32_t index = 0;
  if (!names.tryResolve(kOscOffsetParameter, index)) return std::nullopt;
  return index;
}

std::vector<Assignment> configurePlugin(PluginInstance& plugin, const PluginSetup& setup,
                                        const std::vector<uint8_t>& chunk) {
  if (!chunk.empty())
    restoreState(plugin, chunk, setup.chunkFile, setup.chunkIsProgram, setup.rawChunk,
                 kRawChunkOption);
  const ParameterNames names(plugin);
  std::vector<Assignment> assignments = parseAssignments(setup.assignments, names);
  if (setup.oscOffset) {
    const std::optional<int32_t> index = findOscOffsetParameter(names);
    if (!index)
      throw failure(plugin.path() + " has no \"" + kOscOffsetParameter +
                    "\" parameter (--osc-offset is for Veldrana)");
    // Which of the two should win is anyone's guess, so neither does.
    for (const Assignment& assignment : assignments)
      if (assignment.first <= *index && *index <= assignment.last)
        throw usageError(std::string("--osc-offset and --set both change \"") +
                         kOscOffsetParameter + "\": use one of them");
    const float value = static_cast<float>(*setup.oscOffset) / kLargestOscOffset;
    assignments.push_back({*index, *index, value, {}});
  }
  applyAssignments(plugin, assignments);
  return assignments;
}

}  // namespace vhost
