// What the host's tests share: programs run and their output captured, a
// scratch folder per test, audio, MIDI and JSON.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace hosttest {

inline const std::string kHost = VELDRANA_HOST_PATH;
inline const std::string kVeldrana = VELDRANA_SO_PATH;
inline const std::string kGain = FIXTURE_GAIN_PATH;
inline const std::string kDocs = DOCS_DIR;
constexpr int kExitFailure = 1, kExitUsage = 2, kExitLoad = 3, kExitCrash = 4;

using Environment = std::map<std::string, std::string>;
using Args = std::vector<std::string>;

struct RunResult {
  int exitCode = -1;  // -1 when killed by a signal
  int signal = 0;
  std::string out, err;
};

// `environment` is added to this process's; `directory` is the child's.
RunResult runProgram(const Args& argv, const Environment& environment = {},
                     const std::string& directory = "");
RunResult runHost(Args args, const Environment& environment = {},
                  const std::string& directory = "");

// A program beside the test; one still running when this goes is killed.
class RunningProgram {
 public:
  RunningProgram(const Args& argv, const Environment& environment = {},
                 const std::string& directory = "");
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;
  pid_t pid() const { return pid_; }
  bool finished();
  RunResult wait(std::chrono::milliseconds limit);  // then SIGKILL; call once

 private:
  std::unique_ptr<FILE, int (*)(FILE*)> out_{std::tmpfile(), std::fclose};
  std::unique_ptr<FILE, int (*)(FILE*)> err_{std::tmpfile(), std::fclose};
  pid_t pid_ = -1;
  bool done_ = false;
  int status_ = 0;
};

// A strict JSON reader: a test that parses the host's output also validates it.
struct Json {
  enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };
  Type type = Type::kNull;
  bool boolean = false;
  double number = 0.0;
  std::string string;
  std::vector<Json> array;
  std::map<std::string, Json> object;
  const Json& operator[](const std::string& key) const;
  const Json& operator[](size_t index) const { return array.at(index); }
  const Json& named(const std::string& name) const;  // the array item with that "name"
};
Json parseJson(const std::string& text);
Json runHostJson(Args args, const Environment& environment = {});

// A failed run is one prefixed line on stderr, nothing on stdout, an exit
// status (`exitCode` when given) and no signal.
void expectCleanFailure(const RunResult& result, const std::string& mentioning, int exitCode = 0);

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string path(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> entries() const;  // sorted

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
// The same every run, different on each channel and never silent for long.
Audio whiteNoise(int channels, int sampleRate, size_t frames);

// 960 pulses per quarter note: at the default 120 bpm, 1920 a second.
struct MidiEvent {
  int pulses;
  std::vector<unsigned char> bytes;  // meta events (0xFF ...) allowed
};
void writeMidiFile(const std::string& path, const std::vector<MidiEvent>& events);
std::string midiFile(const std::string& track);  // the file around one track's bytes

std::vector<std::string> readLines(const std::string& path, const std::string& prefix = "");
std::string readText(const std::string& path);  // "" for a missing file
void writeText(const std::string& path, const std::string& text);
bool fileExists(const std::string& path);
bool udpPortIsFree(int port);

// A Veldrana user of the test's own, with base port + each of `offsets` free.
class VeldranaHome {
 public:
  explicit VeldranaHome(const std::vector<int>& offsets = {});
  int basePort() const { return basePort_; }
  Environment environment() const;
  std::string path(const std::string& name) const { return dir_.path(name); }

 private:
  ScratchDir dir_;
  int basePort_ = 0;
};

}  // namespace hosttest
