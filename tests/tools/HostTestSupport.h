// What the host's tests share: where the programs and fixtures are, a
// scratch folder per test, and audio and MIDI files to feed the host.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/tools/MiniJson.h"
#include "tests/tools/Subprocess.h"

namespace hosttest {

struct Paths {
  static std::string host() { return VELDRANA_HOST_PATH; }
  static std::string veldrana() { return VELDRANA_SO_PATH; }
  static std::string gainFixture() { return FIXTURE_GAIN_PATH; }
  static std::string mainOnlyFixture() { return FIXTURE_MAIN_ONLY_PATH; }
  static std::string noEntryFixture() { return FIXTURE_NO_ENTRY_PATH; }
  static std::string nullEntryFixture() { return FIXTURE_NULL_ENTRY_PATH; }
  static std::string badMagicFixture() { return FIXTURE_BAD_MAGIC_PATH; }
  static std::string demoSignal() { return DEMO_SIGNAL_PATH; }
  static std::string spectrumPlot() { return SPECTRUM_PLOT_PATH; }
  static std::string demoCheck() { return DEMO_CHECK_PATH; }
  // A file of docs/.
  static std::string doc(const std::string& name) { return std::string(DOCS_DIR) + "/" + name; }
  // An LSP plug-in from Debian's lsp-plugins-vst, or "" when not installed.
  static std::string lsp(const std::string& name);
};

#define SKIP_WITHOUT_LSP(path)                                 \
  if ((path).empty())                                          \
  GTEST_SKIP() << "Debian's lsp-plugins-vst is not installed " \
                  "(/usr/lib/vst/lsp-plugins/); third-party checks skipped"

// A fresh folder, removed with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string path(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> entries() const;

 private:
  std::string path_;
};

struct Audio {
  int channels = 0;
  int sampleRate = 0;
  std::vector<float> samples;  // interleaved
  size_t frames() const { return channels ? samples.size() / channels : 0; }
  float at(size_t frame, int channel) const { return samples[frame * channels + channel]; }
};

void writeAudio(const std::string& path, const Audio& audio);
Audio readAudio(const std::string& path);
// A deterministic test signal: a different ramp-and-sine mix per channel, so
// swapped or shifted channels are noticed.
Audio testSignal(int channels, int sampleRate, size_t frames);

// Times are in pulses at 960 per quarter note; at the file's default 120
// beats per minute that is 1920 pulses per second.
constexpr int kPulsesPerSecond = 1920;
struct MidiNote {
  int pulses;
  std::vector<unsigned char> bytes;  // meta events (0xFF ...) allowed
};
void writeMidiFile(const std::string& path, const std::vector<MidiNote>& events);

std::vector<std::string> readLines(const std::string& path);
void writeText(const std::string& path, const std::string& text);
std::string readText(const std::string& path);  // "" for a missing file
bool fileExists(const std::string& path);

RunResult runHost(const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& environment = {},
                  const std::string& directory = "");
// Runs the host with --json appended, expects success and parses stdout.
Json runHostJson(const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& environment = {});

// A failed run must be one line on stderr, prefixed, with a non-zero exit.
void expectCleanFailure(const RunResult& result, const std::string& mentioning);

}  // namespace hosttest
