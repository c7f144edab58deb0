#include "tools/host/TruncatedWav.h"

#include <cstring>
#include <fstream>

namespace vhost {
namespace {

uint32_t little32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

std::optional<Truncation> findTruncatedWav(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return std::nullopt;
  const auto size = static_cast<uint64_t>(file.tellg());
  file.seekg(0);
  unsigned char header[12];
  if (!file.read(reinterpret_cast<char*>(header), sizeof header) ||
      std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0)
    return std::nullopt;
  uint64_t offset = sizeof header;
  // Chunks before "data" (fmt, fact, LIST, ...) are skipped by their sizes.
  while (offset + 8 <= size) {
    unsigned char chunk[8];
    file.seekg(static_cast<std::streamoff>(offset));
    if (!file.read(reinterpret_cast<char*>(chunk), sizeof chunk)) return std::nullopt;
    const uint64_t length = little32(chunk + 4);
    const uint64_t body = offset + 8;
    if (std::memcmp(chunk, "data", 4) == 0) {
      if (body + length <= size) return std::nullopt;
      return Truncation{length, size - body};
    }
    offset = body + length + (length & 1);
  }
  return std::nullopt;
}

}  // namespace vhost
