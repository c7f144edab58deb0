#include "tests/tools/HostTestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <thread>

namespace hosttest {
namespace {

// Anything that is not JSON throws, with its offset.
struct JsonReader {
  const std::string& t;
  size_t p = 0;

  [[noreturn]] void fail(const std::string& what) const {
    throw std::runtime_error("invalid JSON at offset " + std::to_string(p) + ": " + what);
  }
  bool eat(const std::string& token) {
    while (p < t.size() && std::strchr(" \t\r\n", t[p]) && t[p]) ++p;
    if (t.compare(p, token.size(), token) != 0) return false;
    p += token.size();
    return true;
  }
  void expect(const std::string& token) {
    if (!eat(token)) fail("expected " + token);
  }
  std::string string() {
    expect("\"");
    std::string s;
    for (;;) {
      if (p >= t.size()) fail("unterminated string");
      const char c = t[p++];
      if (c == '"') return s;
      static const std::string escapes = "\"\\/bfnrtu", meanings = "\"\\/\b\f\n\r\t";
      const size_t k = c != '\\' ? 9 : p < t.size() ? escapes.find(t[p++]) : std::string::npos;
      if (static_cast<unsigned char>(c) < 0x20 || k == std::string::npos ||
          (k == 8 && t.find_first_not_of("0123456789abcdefABCDEF", p) < p + 4))
        fail("bad character in string");
      s += k == 9 ? c : k == 8 ? '?' : meanings[k];  // no test reads a \u escape's character
      p += k == 8 ? 4 : 0;
    }
  }
  Json value() {
    static const std::regex number("-?(0|[1-9][0-9]*)(\\.[0-9]+)?([eE][+-]?[0-9]+)?");
    std::smatch match;
    Json json;
    if (eat("{")) {
      json.type = Json::Type::kObject;
      if (eat("}")) return json;
      do {
        const std::string key = string();
        expect(":");
        json.object[key] = value();
      } while (eat(","));
      expect("}");
    } else if (eat("[")) {
      json.type = Json::Type::kArray;
      if (eat("]")) return json;
      do json.array.push_back(value());
      while (eat(","));
      expect("]");
    } else if (t.compare(p, 1, "\"") == 0) {
      json.type = Json::Type::kString;
      json.string = string();
    } else if (eat("true") || eat("false")) {
      json.type = Json::Type::kBool;
      json.boolean = t.compare(p - 4, 4, "true") == 0;
    } else if (std::regex_search(t.begin() + p, t.end(), match, number,
                                 std::regex_constants::match_continuous)) {
      json.type = Json::Type::kNumber;
      json.number = std::strtod(match.str().c_str(), nullptr);
      p += match.length();
    } else if (!eat("null")) {
      fail("expected a value");
    }
    return json;
  }
};

}  // namespace

RunningProgram::RunningProgram(const Args& argv, const Environment& environment,
                               const std::string& directory) {
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  if (!out_ || !err_ || (pid_ = fork()) < 0) throw std::runtime_error("cannot run " + argv[0]);
  if (pid_ == 0) {  // the tests run in one thread: the child may set its environment
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    const int in = open("/dev/null", O_RDONLY);
    dup2(in, STDIN_FILENO);
    dup2(fileno(out_.get()), STDOUT_FILENO);
    dup2(fileno(err_.get()), STDERR_FILENO);
    if (directory.empty() || chdir(directory.c_str()) == 0) execv(args[0], args.data());
    _exit(127);
  }
}

RunningProgram::~RunningProgram() {
  if (!finished()) wait(std::chrono::milliseconds(0));
}

bool RunningProgram::finished() {
  if (!done_ && waitpid(pid_, &status_, WNOHANG) == pid_) done_ = true;
  return done_;
}

RunResult RunningProgram::wait(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!finished() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (!done_) {
    kill(pid_, SIGKILL);
    done_ = waitpid(pid_, &status_, 0) == pid_;
  }
  RunResult result;
  if (WIFEXITED(status_)) result.exitCode = WEXITSTATUS(status_);
  if (WIFSIGNALED(status_)) result.signal = WTERMSIG(status_);
  for (auto [file, text] : {std::pair{out_.get(), &result.out}, {err_.get(), &result.err}}) {
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) *text += static_cast<char>(c);
  }
  return result;
}

RunResult runProgram(const Args& argv, const Environment& environment,
                     const std::string& directory) {
  return RunningProgram(argv, environment, directory).wait(std::chrono::hours(1));
}

RunResult runHost(Args args, const Environment& environment, const std::string& directory) {
  args.insert(args.begin(), kHost);
  return runProgram(args, environment, directory);
}

const Json& Json::operator[](const std::string& key) const {
  const auto it = object.find(key);
  if (type != Type::kObject || it == object.end()) throw std::runtime_error("no key " + key);
  return it->second;
}

const Json& Json::named(const std::string& name) const {
  for (const auto& item : array)
    if (item["name"].string == name) return item;
  throw std::runtime_error("nothing named " + name);
}

Json parseJson(const std::string& text) {
  JsonReader reader{text};
  Json json = reader.value();
  if (!reader.eat("") || reader.p != text.size()) reader.fail("trailing characters");
  return json;
}

Json runHostJson(Args args, const Environment& environment) {
  args.push_back("--json");
  const RunResult result = runHost(args, environment);
  if (result.exitCode != 0)
    throw std::runtime_error("host failed (" + std::to_string(result.exitCode) +
                             "): " + result.err);
  return parseJson(result.out);
}

void expectCleanFailure(const RunResult& result, const std::string& mentioning, int exitCode) {
  EXPECT_EQ(result.signal, 0) << result.err;
  EXPECT_GT(result.exitCode, 0) << result.err;
  EXPECT_TRUE(exitCode == 0 || result.exitCode == exitCode) << result.exitCode << " " << result.err;
  EXPECT_EQ(result.err.rfind("veldrana-host: ", 0), 0u) << result.err;
  EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "not one line: " << result.err;
  EXPECT_NE(result.err.find(mentioning), std::string::npos) << mentioning << ": " << result.err;
  EXPECT_TRUE(result.out.empty()) << result.out;
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
  std::sort(names.begin(), names.end());
  return names;
}

void writeAudio(const std::string& path, const Audio& audio) {
  SF_INFO info{0, audio.sampleRate, audio.channels, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
  const std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_WRITE, &info),
                                                         sf_close);
  if (!file) throw std::runtime_error("cannot write " + path);
  sf_writef_float(file.get(), audio.samples.data(), static_cast<sf_count_t>(audio.frames()));
}

Audio readAudio(const std::string& path) {
  SF_INFO info{};
  const std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_READ, &info),
                                                         sf_close);
  if (!file) throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
  Audio audio{info.channels, info.samplerate, {}};
  audio.samples.resize(static_cast<size_t>(info.frames) * info.channels);
  sf_readf_float(file.get(), audio.samples.data(), info.frames);
  return audio;
}

Audio whiteNoise(int channels, int sampleRate, size_t frames) {
  Audio audio{channels, sampleRate, std::vector<float>(frames * channels)};
  uint32_t state = 12345;
  for (float& sample : audio.samples) {
    state = state * 1664525u + 1013904223u;
    sample = static_cast<float>(state >> 8) / static_cast<float>(1u << 24) - 0.5f;
  }
  return audio;
}

std::string midiFile(const std::string& track) {
  const auto size = static_cast<uint32_t>(track.size());
  return std::string("MThd\0\0\0\6\0\0\0\1\3\xC0MTrk", 18) + char(size >> 24) + char(size >> 16) +
         char(size >> 8) + char(size) + track;
}

void writeMidiFile(const std::string& path, const std::vector<MidiEvent>& events) {
  std::string track;
  int last = 0;
  for (const auto& [pulses, bytes] : events) {
    auto delta = static_cast<uint32_t>(pulses - last);
    last = pulses;
    std::string vlq(1, static_cast<char>(delta & 0x7F));
    while (delta >>= 7) vlq.insert(vlq.begin(), static_cast<char>(0x80 | (delta & 0x7F)));
    std::string data(bytes.begin(), bytes.end());
    if (bytes[0] == 0xF0) data.insert(1, 1, static_cast<char>(bytes.size() - 1));  // its length
    track += vlq + data;
  }
  writeText(path, midiFile(track + std::string("\0\xFF\x2F\0", 4)));
}

std::vector<std::string> readLines(const std::string& path, const std::string& prefix) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (line.rfind(prefix, 0) == 0) lines.push_back(line);
  return lines;
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

VeldranaHome::VeldranaHome(const std::vector<int>& offsets) {
  // Spread by process id, so test processes side by side start apart.
  for (int k = 0; k < 1000 && basePort_ == 0; ++k) {
    const int base = 30000 + (getpid() + k) % 1000 * 20;
    if (std::all_of(offsets.begin(), offsets.end(),
                    [&](int offset) { return udpPortIsFree(base + offset); }))
      basePort_ = base;
  }
  if (basePort_ == 0) throw std::runtime_error("no free UDP ports for the OSC server");
  std::filesystem::create_directories(path("config/Quillworks/Veldrana"));
  std::filesystem::create_directories(path("data"));
  writeText(path("config/Quillworks/Veldrana/preferences"),
            "OSC Base Port=" + std::to_string(basePort_) + "\n");
}

Environment VeldranaHome::environment() const {
  // An empty VELDRANA_SCRIPTS_DIR counts as unset and hides the developer's.
  return {{"XDG_CONFIG_HOME", path("config")},
          {"XDG_DATA_HOME", path("data")},
          {"VELDRANA_SCRIPTS_DIR", ""}};
}

}  // namespace hosttest
