#include "tools/host/PluginState.h"

#include <iostream>

#include "tools/host/CommandSupport.h"
#include "tools/host/HostError.h"
#include "tools/host/PresetFile.h"

namespace vhost {

namespace {

const char* presetFormat(bool program) {
  return program ? "fxp" : "fxb";
}

Preset presetIn(const std::vector<uint8_t>& bytes, const std::string& file, const char* rawOption) {
  if (!looksLikePreset(bytes))
    throw failure(file + " is not a .fxp or .fxb preset (a raw chunk needs " + rawOption + ")");
  return decodePreset(bytes, file);
}

}  // namespace

StateFileInfo saveState(PluginInstance& plugin, const std::string& file, bool program, bool raw) {
  Preset preset;
  preset.chunk = takeChunk(plugin, program);
  StateFileInfo info{program, preset.chunk.size(), preset.chunk.size(), "raw"};
  if (raw) {
    writeChunkFile(file, preset.chunk);
    return info;
  }
  PresetHeader& h = preset.header;
  h.program = program;
  h.pluginId = plugin.effect().uniqueID;
  h.pluginVersion = plugin.effect().version;
  h.count = program ? plugin.numParams() : plugin.effect().numPrograms;
  h.currentProgram = static_cast<int32_t>(plugin.dispatch(vst::effGetProgram));
  h.programName = plugin.text(vst::effGetProgramName);
  const std::vector<uint8_t> bytes = encodePreset(preset);
  writeChunkFile(file, bytes);
  info.fileBytes = bytes.size();
  info.format = presetFormat(program);
  return info;
}

void checkStateFile(const std::vector<uint8_t>& bytes, const std::string& file, bool raw,
                    const char* rawOption) {
  if (!raw) presetIn(bytes, file, rawOption);
}

StateFileInfo restoreState(PluginInstance& plugin, const std::vector<uint8_t>& bytes,
                           const std::string& file, bool program, bool raw, const char* rawOption) {
  if ((plugin.effect().flags & vst::effFlagsProgramChunks) == 0)
    throw failure(plugin.path() + " takes no state chunk (it does not declare ProgramChunks), so " +
                  file + " cannot be loaded");
  if (raw) {
    plugin.setChunk(bytes, program);
    return {program, bytes.size(), bytes.size(), "raw"};
  }
  const Preset preset = presetIn(bytes, file, rawOption);
  const PresetHeader& h = preset.header;
  const int32_t id = plugin.effect().uniqueID;
  if (h.pluginId != id)
    throw failure(file + " is a preset of the plug-in with ID " + uniqueIdText(h.pluginId) +
                  ", not of " + plugin.path() + " (ID " + uniqueIdText(id) + ")");
  if (program && !h.program) throw usageError(file + " holds a bank preset, not a program");
  if (h.pluginVersion != plugin.effect().version)
    std::cerr << "veldrana-host: warning: " << file << " was saved by version " << h.pluginVersion
              << " of the plug-in; this is version " << plugin.effect().version << "\n";
  plugin.setChunk(preset.chunk, h.program);
  return {h.program, preset.chunk.size(), bytes.size(), presetFormat(h.program)};
}

}  // namespace vhost
