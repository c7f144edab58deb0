// A plug-in's state in a file: a VST preset (.fxp for a program, .fxb for
// a bank) by default, or with `raw` the chunk's bytes alone. Shared by
// `chunk`, `set --save` and the --chunk option of the commands that run a
// plug-in.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/host/PluginInstance.h"

namespace vhost {

struct StateFileInfo {
  bool program = false;
  size_t chunkBytes = 0;
  size_t fileBytes = 0;
  const char* format = "";  // "fxp", "fxb" or "raw"
};

// Takes the plug-in's chunk and writes it; throws when it offers none.
StateFileInfo saveState(PluginInstance& plugin, const std::string& file, bool program, bool raw);

// Checks what can be checked without the plug-in (a preset's structure),
// so a bad file fails before the plug-in loads. `rawOption` names the
// option that marks a raw chunk, for the message.
void checkStateFile(const std::vector<uint8_t>& bytes, const std::string& file, bool raw,
                    const char* rawOption);

// Hands the file's chunk to the plug-in. A preset must carry the plug-in's
// unique ID, and says itself whether it is a program or a bank; `program`
// must not contradict it. A plug-in that does not declare ProgramChunks
// takes no chunk at all.
StateFileInfo restoreState(PluginInstance& plugin, const std::vector<uint8_t>& bytes,
                           const std::string& file, bool program, bool raw, const char* rawOption);

}  // namespace vhost
