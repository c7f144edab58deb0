#include "tools/host/CommandSupport.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tools/host/HostError.h"
#include "tools/host/OutputFile.h"

namespace vhost {

namespace {

// Long usages are wrapped for --help, but an error is always one line.
std::string oneLine(const std::string& text) {
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n') {
      line += text[i];
      continue;
    }
    line += ' ';
    while (i + 1 < text.size() && text[i + 1] == ' ') ++i;
  }
  return line;
}

}  // namespace

std::unique_ptr<PluginInstance> openPlugin(const std::string& path, HostContext& host,
                                           double sampleRate, int32_t blockSize) {
  auto plugin = std::make_unique<PluginInstance>(path, host);
  plugin->setSampleRate(sampleRate);
  plugin->setBlockSize(blockSize);
  return plugin;
}

void requireArguments(const std::vector<std::string>& positionals, size_t minimum, size_t maximum,
                      const std::string& usage) {
  if (positionals.size() < minimum || positionals.size() > maximum)
    throw usageError("usage: veldrana-host " + oneLine(usage));
}

std::vector<uint8_t> readChunkFile(const std::string& path) {
  // A folder opens as a stream, and reading it then fails with the C++
  // library's own words.
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw failure("cannot read " + path + ": it is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw failure("cannot read " + path + ": " + std::strerror(errno));
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw failure("cannot read " + path + ": " + std::strerror(errno));
  if (data.empty()) throw failure(path + " is empty");
  return data;
}

void writeChunkFile(const std::string& path, const std::vector<uint8_t>& data) {
  OutputFile file(path);
  file.write(data.data(), data.size());
  file.commit();
}

std::vector<uint8_t> takeChunk(PluginInstance& plugin, bool program) {
  std::vector<uint8_t> data = plugin.chunk(program);
  if (data.empty()) {
    const bool flagged = (plugin.effect().flags & vst::effFlagsProgramChunks) != 0;
    throw failure(plugin.path() + " gave no " + (program ? "program" : "bank") + " chunk" +
                  (flagged ? "" : " (it does not declare ProgramChunks)"));
  }
  return data;
}

}  // namespace vhost
