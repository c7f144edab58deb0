#include "tests/tools/HostTestSupport.h"

#include <smf.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace hosttest {

namespace {

struct SndfileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};
struct SmfDeleter {
  void operator()(smf_t* smf) const { smf_delete(smf); }
};

}  // namespace

std::string Paths::lsp(const std::string& name) {
  const std::string path = "/usr/lib/vst/lsp-plugins/" + name;
  return fileExists(path) ? path : "";
}

ScratchDir::ScratchDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/veldrana-host-test.XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ScratchDir::entries() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_))
    names.push_back(entry.path().filename());
  return names;
}

void writeAudio(const std::string& path, const Audio& audio) {
  SF_INFO info{};
  info.channels = audio.channels;
  info.samplerate = audio.sampleRate;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  const std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(path.c_str(), SFM_WRITE, &info));
  if (!file) throw std::runtime_error("cannot write " + path);
  sf_writef_float(file.get(), audio.samples.data(), static_cast<sf_count_t>(audio.frames()));
}

Audio readAudio(const std::string& path) {
  SF_INFO info{};
  const std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
  Audio audio;
  audio.channels = info.channels;
  audio.sampleRate = info.samplerate;
  audio.samples.resize(static_cast<size_t>(info.frames) * info.channels);
  sf_readf_float(file.get(), audio.samples.data(), info.frames);
  return audio;
}

Audio testSignal(int channels, int sampleRate, size_t frames) {
  Audio audio;
  audio.channels = channels;
  audio.sampleRate = sampleRate;
  audio.samples.resize(frames * channels);
  for (size_t n = 0; n < frames; ++n)
    for (int c = 0; c < channels; ++c)
      audio.samples[n * channels + c] = static_cast<float>(0.5 * std::sin(0.01 * (c + 1) * n) +
                                                           0.3 * ((n * (c + 3)) % 97) / 97.0);
  return audio;
}

void writeMidiFile(const std::string& path, const std::vector<MidiNote>& events) {
  const std::unique_ptr<smf_t, SmfDeleter> smf(smf_new());
  if (smf_set_ppqn(smf.get(), kPulsesPerSecond / 2) != 0) throw std::runtime_error("ppqn");
  smf_track_t* track = smf_track_new();
  smf_add_track(smf.get(), track);
  for (const auto& note : events) {
    std::vector<unsigned char> bytes = note.bytes;
    smf_event_t* event = smf_event_new_from_pointer(bytes.data(), static_cast<int>(bytes.size()));
    if (!event) throw std::runtime_error("bad MIDI event");
    smf_track_add_event_pulses(track, event, note.pulses);
  }
  if (smf_save(smf.get(), path.c_str()) != 0) throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

RunResult runHost(const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& environment,
                  const std::string& directory) {
  std::vector<std::string> argv{Paths::host()};
  argv.insert(argv.end(), args.begin(), args.end());
  return runProgram(argv, environment, directory);
}

Json runHostJson(const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& environment) {
  std::vector<std::string> withJson = args;
  withJson.push_back("--json");
  const RunResult result = runHost(withJson, environment);
  if (result.exitCode != 0)
    throw std::runtime_error("host failed (" + std::to_string(result.exitCode) +
                             "): " + result.err);
  return parseJson(result.out);
}

void expectCleanFailure(const RunResult& result, const std::string& mentioning) {
  EXPECT_EQ(result.signal, 0) << "the host died of a signal; stderr: " << result.err;
  EXPECT_GT(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err.rfind("veldrana-host: ", 0), 0u) << result.err;
  ASSERT_FALSE(result.err.empty());
  EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "more than one line: " << result.err;
  EXPECT_NE(result.err.find(mentioning), std::string::npos)
      << "expected the message to mention '" << mentioning << "': " << result.err;
  EXPECT_TRUE(result.out.empty()) << result.out;
}

}  // namespace hosttest
