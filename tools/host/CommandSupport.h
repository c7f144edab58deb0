// Steps several commands share: opening a plug-in the way a DAW would before
// asking it anything, checking argument counts, and the state-chunk files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/host/HostContext.h"
#include "tools/host/PluginInstance.h"

namespace vhost {

constexpr double kDefaultSampleRate = 44100.0;
constexpr int32_t kDefaultBlockSize = 512;
constexpr int32_t kLargestBlock = 1 << 20;

// Loads, opens and tells the plug-in a sample rate and block size.
std::unique_ptr<PluginInstance> openPlugin(const std::string& path, HostContext& host,
                                           double sampleRate = kDefaultSampleRate,
                                           int32_t blockSize = kDefaultBlockSize);

void requireArguments(const std::vector<std::string>& positionals, size_t minimum, size_t maximum,
                      const std::string& usage);

// Throws HostError for a missing or empty file.
std::vector<uint8_t> readChunkFile(const std::string& path);
// Through a temporary file, so a failed save leaves no partial file.
void writeChunkFile(const std::string& path, const std::vector<uint8_t>& data);
// Reads the plug-in's chunk; throws when it offers none.
std::vector<uint8_t> takeChunk(PluginInstance& plugin, bool program);

}  // namespace vhost
