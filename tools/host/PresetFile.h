// The VST 2.4 preset files: a program (.fxp) or a bank (.fxb) that wraps a
// plug-in's opaque chunk with the plug-in's unique ID and version, so a
// preset cannot be mistaken for another plug-in's state or for any file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vhost {

struct PresetHeader {
  bool program = false;  // .fxp; a bank (.fxb) otherwise
  int32_t pluginId = 0;
  int32_t pluginVersion = 0;
  int32_t count = 0;           // parameters of a program, programs of a bank
  int32_t currentProgram = 0;  // banks only
  std::string programName;     // programs only; at most 27 characters are kept
};

struct Preset {
  PresetHeader header;
  std::vector<uint8_t> chunk;
};

std::vector<uint8_t> encodePreset(const Preset& preset);

// Whether the bytes begin as every preset file does ("CcnK").
bool looksLikePreset(const std::vector<uint8_t>& bytes);

// Throws HostError naming `file` for a file that is not a chunk preset or
// whose lengths do not fit.
Preset decodePreset(const std::vector<uint8_t>& bytes, const std::string& file);

// A unique ID as its four characters, most significant first ("QWvd"), or
// in hexadecimal when they are not printable.
std::string uniqueIdText(int32_t id);

}  // namespace vhost
