#include "tools/host/PresetFile.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/VstAbi.h"
#include "tools/host/HostError.h"

namespace vhost {

namespace {

constexpr int32_t kChunkMagic = vst::fourCC('C', 'c', 'n', 'K');
constexpr int32_t kProgramChunk = vst::fourCC('F', 'P', 'C', 'h');
constexpr int32_t kBankChunk = vst::fourCC('F', 'B', 'C', 'h');
constexpr int32_t kProgramValues = vst::fourCC('F', 'x', 'C', 'k');
constexpr int32_t kBankValues = vst::fourCC('F', 'x', 'B', 'k');
constexpr size_t kProgramNameBytes = 28;
constexpr size_t kBankReservedBytes = 124;
// Magic, size, kind, format version, ID, plug-in version, count.
constexpr size_t kCommonHeader = 7 * 4;
constexpr size_t kProgramHeader = kCommonHeader + kProgramNameBytes;
constexpr size_t kBankHeader = kCommonHeader + 4 + kBankReservedBytes;

// Preset files are big-endian whatever the machine.
void put32(std::vector<uint8_t>& out, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(bits >> shift));
}

int32_t get32(const std::vector<uint8_t>& in, size_t offset) {
  uint32_t bits = 0;
  for (size_t i = 0; i < 4; ++i) bits = (bits << 8) | in[offset + i];
  return static_cast<int32_t>(bits);
}

}  // namespace

std::vector<uint8_t> encodePreset(const Preset& preset) {
  const PresetHeader& h = preset.header;
  const size_t header = h.program ? kProgramHeader : kBankHeader;
  std::vector<uint8_t> out;
  out.reserve(header + 4 + preset.chunk.size());
  put32(out, kChunkMagic);
  put32(out, static_cast<int32_t>(header + 4 + preset.chunk.size() - 8));
  put32(out, h.program ? kProgramChunk : kBankChunk);
  // Format version 2 of a bank carries the current program.
  put32(out, h.program ? 1 : 2);
  put32(out, h.pluginId);
  put32(out, h.pluginVersion);
  put32(out, h.count);
  if (h.program) {
    std::string name = h.programName.substr(0, kProgramNameBytes - 1);
    name.resize(kProgramNameBytes, '\0');
    out.insert(out.end(), name.begin(), name.end());
  } else {
    put32(out, h.currentProgram);
    out.insert(out.end(), kBankReservedBytes, 0);
  }
  put32(out, static_cast<int32_t>(preset.chunk.size()));
  out.insert(out.end(), preset.chunk.begin(), preset.chunk.end());
  return out;
}

bool looksLikePreset(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 4 && get32(bytes, 0) == kChunkMagic;
}

Preset decodePreset(const std::vector<uint8_t>& bytes, const std::string& file) {
  auto broken = [&](const std::string& why) {
    return failure("cannot read " + file + " as a preset: " + why);
  };
  if (!looksLikePreset(bytes) || bytes.size() < kCommonHeader)
    throw broken("it is not a .fxp or .fxb file");
  const int32_t kind = get32(bytes, 8);
  if (kind == kProgramValues || kind == kBankValues)
    throw broken("it holds parameter values, not a chunk; only chunk presets can be loaded");
  if (kind != kProgramChunk && kind != kBankChunk)
    throw broken("unknown preset kind '" + uniqueIdText(kind) + "'");

  Preset preset;
  PresetHeader& h = preset.header;
  h.program = kind == kProgramChunk;
  h.pluginId = get32(bytes, 16);
  h.pluginVersion = get32(bytes, 20);
  h.count = get32(bytes, 24);
  const size_t header = h.program ? kProgramHeader : kBankHeader;
  if (bytes.size() < header + 4) throw broken("the file is cut short inside its header");
  if (h.program) {
    const auto* name = reinterpret_cast<const char*>(bytes.data() + kCommonHeader);
    h.programName.assign(name, strnlen(name, kProgramNameBytes));
  } else {
    h.currentProgram = get32(bytes, kCommonHeader);
  }
  const auto size = static_cast<uint32_t>(get32(bytes, header));
  if (size > bytes.size() - header - 4)
    throw broken("its chunk says " + std::to_string(size) + " bytes, " +
                 std::to_string(bytes.size() - header - 4) + " follow");
  if (size == 0) throw broken("its chunk is empty");
  preset.chunk.assign(bytes.begin() + static_cast<std::ptrdiff_t>(header + 4),
                      bytes.begin() + static_cast<std::ptrdiff_t>(header + 4 + size));
  return preset;
}

std::string uniqueIdText(int32_t id) {
  const auto bits = static_cast<uint32_t>(id);
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto c = static_cast<unsigned char>((bits >> shift) & 0xFF);
    if (!std::isprint(c)) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08x", bits);
      return hex;
    }
    text += static_cast<char>(c);
  }
  return text;
}

}  // namespace vhost
