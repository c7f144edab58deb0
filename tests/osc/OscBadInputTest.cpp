// Hostile and broken datagrams: each is logged and dropped, and the service
// keeps answering.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <future>

#include "OscTestSupport.h"

using namespace osc_test;

namespace {

using Packet = osc::OutboundPacketStream;

// Every word must hold four characters (embedded zeros included).
std::string bytes(std::initializer_list<const char*> words) {
  std::string out;
  for (const char* w : words) out.append(w, 4);
  return out;
}

std::string bigEndian(uint32_t value) {
  const char b[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                     static_cast<char>(value >> 8), static_cast<char>(value)};
  return std::string(b, 4);
}

std::string bundleOf(const std::string& element) {
  return std::string("#bundle\0", 8) + std::string(8, '\0') + bigEndian(element.size()) + element;
}

class BadInput : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(f.ready()); }

  // Sends the datagram; the service must still answer and must have
  // written a line about it.
  void expectDropped(const std::string& datagram, const char* what, const char* logged = "") {
    CapturedStdout out;
    f.client.send(f.port, datagram);
    ASSERT_TRUE(f.client.ping(f.port)) << what;
    const std::string text = out.take();
    EXPECT_FALSE(text.empty()) << what;
    EXPECT_NE(text.find(logged), std::string::npos) << what << ": " << text;
  }

  ServiceFixture f{17};
};

TEST_F(BadInput, MalformedMessagesAreLoggedAndDropped) {
  const std::string set = message("/set", [](Packet& p) { p << int32_t{1} << 0.5f; });
  expectDropped(set.substr(0, set.size() - 4), "truncated argument");
  expectDropped(set.substr(0, 6), "size not a multiple of 4");
  expectDropped(std::string("/set"), "address without terminator");
  expectDropped(bytes({"/set", "\0\0\0\0", ",if\0"}), "arguments missing for the tags");
  expectDropped(bytes({"/set", "\0\0\0\0", ",iii"}), "tags without terminator");
  expectDropped(bytes({"/set", "\0\0\0\0", "if\0\0", "\0\0\0\1"}), "tags without comma");
  expectDropped(bytes({"/set", "\0\0\0\0", ",iq\0", "\0\0\0\1", "\0\0\0\0"}), "unknown tag");
  expectDropped(bytes({"/set", "\0\0\0\0", ",s\0\0", "abcd"}), "string without terminator");
  expectDropped(bytes({"/set", "\0\0\0\0", ",b\0\0", "\x7f\xff\xff\xff", "abcd"}),
                "blob longer than the packet");
  expectDropped(bytes({"/set", "\0\0\0\0", ",b\0\0"}), "blob without its size");
  // A /set with a blob is refused anyway; only the size check says the blob
  // runs past the end, and oscpack itself does not stop reading there.
  for (const char* size : {"\0\0\0\1", "\0\0\0\3", "\0\0\0\4"})
    expectDropped(bytes({"/set", "\0\0\0\0", ",b\0\0", size}), "blob ending past the message",
                  "arguments exceed message size");
  // oscpack reads "\0x" as part of the tags and the rest as their padding.
  expectDropped(bytes({"/set", "\0\0\0\0", ",b\0x", "\0\0\0\1", "?\0\0\0"}),
                "blob hidden behind a zero inside the tags");
  expectDropped(bytes({"/set", "\0\0\0\0", ",[i\0", "\0\0\0\1"}), "unterminated array");
  expectDropped(std::string("#bun"), "bundle head cut short");
  expectDropped(std::string("#bundle\0", 8), "bundle without time tag");
  expectDropped(std::string("#bundle\0", 8) + std::string(8, '\0') + bigEndian(100) + set,
                "bundle element longer than the bundle");
  expectDropped(std::string("#bundle\0", 8) + std::string(8, '\0') + bigEndian(3) + "abcd",
                "bundle element size not a multiple of 4");
  expectDropped(bundleOf(bytes({"/set", "\0\0\0\0", ",s\0\0", "abcd"})),
                "bad message inside a bundle");
  expectDropped(std::string("#nobundle\0\0\0", 12), "not a bundle after all");
}

TEST_F(BadInput, WrongArgumentsForEveryCommandAreLogged) {
  for (const char* command :
       {"/ping", "/set", "/get", "/getAll", "/getNumParameters", "/isParameterUsed", "/getInfo",
        "/registerUpdate", "/unregisterUpdate", "/call", "/startNote", "/stopNote"}) {
    expectDropped(message(command, [](Packet& p) { p << osc::Blob("x", 1); }), command);
    expectDropped(message(command), command);
  }
}

TEST_F(BadInput, BundlesNested1000DeepAreRefused) {
  std::string packet = message("/set", [](Packet& p) { p << int32_t{kParamDryLevel} << 0.5f; });
  for (int i = 0; i < 1000; ++i) packet = bundleOf(packet);
  expectDropped(packet, "deep bundle");
  EXPECT_EQ(f.value(kParamDryLevel), 0.0f);
}

TEST_F(BadInput, ShallowNestingStillWorks) {
  std::string packet = message("/set", [](Packet& p) { p << int32_t{kParamDryLevel} << 0.5f; });
  for (int i = 0; i < 8; ++i) packet = bundleOf(packet);
  f.client.send(f.port, packet);
  ASSERT_TRUE(f.client.ping(f.port));
  EXPECT_EQ(f.value(kParamDryLevel), 0.5f);
}

TEST_F(BadInput, LargestDatagramsAreTakenWhole) {
  // A 64 KB "/exec" of a function that does not exist, and one of a big
  // string to a fixed command that does not take it.
  const std::string huge(65000, 'x');
  expectDropped(message(
                    "/exec", [&](Packet& p) { p << huge.c_str(); }, 70000),
                "64 KB /exec");
  expectDropped(message(
                    "/set", [&](Packet& p) { p << huge.c_str(); }, 70000),
                "64 KB /set");
  // Garbage of the largest size UDP carries.
  std::string garbage(65504, '\xff');
  expectDropped(garbage, "64 KB garbage");
}

TEST_F(BadInput, EmptyAndZeroFilledDatagrams) {
  CapturedStdout out;
  f.client.send(f.port, std::string());
  f.client.send(f.port, std::string(64, '\0'));
  EXPECT_TRUE(f.client.ping(f.port));
}

TEST_F(BadInput, NonFiniteAndHugeValuesDoNotHurt) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (int32_t index : {kParamOscPortOffset, kParamFftSize, kParamDryLevel, kParamViewSmoothing}) {
    for (float v : {nan, inf, -inf, 3.0e38f}) {
      if (index == kParamOscPortOffset) continue;  // would move the service away
      f.client.send(f.port, message("/set", [&](Packet& p) { p << index << v; }));
    }
  }
  f.client.send(f.port, message("/startNote", [&](Packet& p) { p << int32_t{-5} << nan; }));
  f.client.send(f.port, message("/stopNote", [&](Packet& p) { p << INT32_MIN << inf; }));
  EXPECT_TRUE(f.client.ping(f.port));
}

TEST_F(BadInput, BrokenQwksAddressesAreLoggedAndDropped) {
  for (const char* address :
       {"/qwks/", "/qwks/1", "/qwks/+", "/qwks/+multi1", "/qwks/+multi1/", "/qwks/+multi1/1/3",
        "/qwks/+multi1/1/3/e", "/qwks/+multi9/1/3", "/qwks/V/x/1", "/qwks/V/", "/qwks/V", "/qwks//",
        "/qwks/1/3/", "/qwks/99999999999/99999999999"}) {
    expectDropped(message(address), address);
  }
}

// The audio thread keeps processing while 100 000 "/set" messages arrive
// and the notify thread sends each change to a subscriber: nothing crashes
// or deadlocks, and the value set last is the one that stays.
TEST_F(BadInput, FloodOfSetsWhileAudioRuns) {
  Client subscriber;
  f.client.send(f.port, message("/registerUpdate", [&](Packet& p) {
                  p << int32_t{kParamDryLevel} << subscriber.url().c_str() << "/dry";
                }));
  ASSERT_TRUE(f.client.ping(f.port));

  // Audio runs on its own thread for the whole flood; the guard stops it
  // however the test ends.
  struct AudioThread {
    explicit AudioThread(QwkTonalmire& effect)
        : thread([this, &effect] {
            std::vector<float> in(256, 0.1f), out(256);
            float* inputs[2] = {in.data(), in.data()};
            float* outputs[2] = {out.data(), out.data()};
            while (running) {
              effect.processReplacing(inputs, outputs, 256);
              blocks.fetch_add(1);
            }
          }) {}
    ~AudioThread() {
      running = false;
      thread.join();
    }
    std::atomic<bool> running{true};
    std::atomic<int> blocks{0};
    std::thread thread;
  };
  auto audio = std::make_unique<AudioThread>(*f.effect);
  // The notify thread falls behind such a flood; its overflow lines are
  // expected and would only fill the test log.
  testing::internal::CaptureStderr();
  struct StderrRelease {
    ~StderrRelease() { testing::internal::GetCapturedStderr(); }
  } releaseStderr;

  constexpr int kMessages = 100000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kMessages; ++i) {
    const float value = static_cast<float>(i % 1000) / 1000.0f;
    f.client.send(f.port,
                  message("/set", [&](Packet& p) { p << int32_t{kParamDryLevel} << value; }));
    // Let the service catch up now and then: beyond the socket's buffer
    // the kernel drops datagrams, which would test only the kernel.
    if (i % 200 == 199) {
      ASSERT_TRUE(f.client.waitForService(f.port, 5000)) << i;
    }
  }
  f.client.send(f.port, message("/set", [](Packet& p) { p << int32_t{kParamDryLevel} << 0.625f; }));
  ASSERT_TRUE(f.client.waitForService(f.port, 5000));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const int blocks = audio->blocks.load();
  audio.reset();
  EXPECT_GT(blocks, 0);
  EXPECT_EQ(f.value(kParamDryLevel), 0.625f);
  EXPECT_LT(elapsed, std::chrono::seconds(60));
  // The subscriber heard changes, the last one among them.
  bool heardLast = false;
  while (auto m = subscriber.receive(500)) {
    if (m->address == "/dry" && std::get<float>(m->arguments[1]) == 0.625f) heardLast = true;
  }
  EXPECT_TRUE(heardLast);
}

// The host's standard input is a pipe nobody writes to, as under many
// hosts; a script reading "its" standard input must not wait for it.
TEST_F(BadInput, ScriptsReadingStandardInputGetNothingAtOnce) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const int savedStdin = dup(0);
  dup2(pipeFds[0], 0);
  struct Restore {
    int saved, writer, reader;
    ~Restore() {
      close(writer);  // ends a read that did wait
      dup2(saved, 0);
      close(saved);
      close(reader);
    }
  } restore{savedStdin, pipeFds[1], pipeFds[0]};

  ASSERT_EQ(runLua(*f.effect, R"(
    function readAll() io.read() io.stdin:read("*a") for _ in io.lines() do end debug.debug() end
    function stdinResults()
      return tostring(io.read()), io.stdin:read("*a"), select("#", dofile()), type(loadfile())
    end)"),
            "");
  for (const char* function : {"dofile", "loadfile", "readAll"}) {
    f.client.send(f.port, message("/exec", [&](Packet& p) { p << function; }));
    ASSERT_TRUE(f.client.ping(f.port)) << function;
  }
  f.client.send(f.port, message("/call", [&](Packet& p) {
                  p << "stdinResults" << f.client.url().c_str() << "/stdin";
                }));
  const auto reply = f.client.receiveAt("/stdin");
  ASSERT_TRUE(reply);
  ASSERT_EQ(reply->arguments.size(), 4u);
  EXPECT_EQ(std::get<std::string>(reply->arguments[0]), "nil");
  EXPECT_EQ(std::get<std::string>(reply->arguments[1]), "");
  EXPECT_EQ(std::get<float>(reply->arguments[2]), 0.0f);
  EXPECT_EQ(std::get<std::string>(reply->arguments[3]), "function");
}

// An OSC call holds the Lua lock while a slow C function runs (here: it
// waits on a FIFO the test controls). Audio meanwhile runs without the
// spectral script and keeps the MIDI for later, instead of waiting.
TEST_F(BadInput, AudioDoesNotWaitForASlowCallInAnotherThread) {
  char fifo[] = "/tmp/veldrana-osc-fifo-XXXXXX";
  ASSERT_NE(mkdtemp(fifo), nullptr);
  const std::string path = std::string(fifo) + "/hold";
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  ASSERT_EQ(runLua(*f.effect, "function hold(path) io.open(path):read('*l') end"), "");
  f.effect->setParameterPlain(kParamScriptIndex, 1.0f, false);  // "Shift"
  f.effect->setParameterPlain(kParamDryLevel, 0.0f, false);
  f.client.send(f.port, message("/exec", [&](Packet& p) { p << "hold" << path.c_str(); }));

  int writer = -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (writer < 0 && std::chrono::steady_clock::now() < deadline) {
    writer = open(path.c_str(), O_WRONLY | O_NONBLOCK);  // succeeds once hold() has opened it
    if (writer < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  struct Cleanup {
    int& writer;
    std::string path, dir;
    ~Cleanup() {
      if (writer >= 0 && ::write(writer, "\n", 1) >= 0) close(writer);
      unlink(path.c_str());
      rmdir(dir.c_str());
    }
  } cleanup{writer, path, fifo};
  ASSERT_GE(writer, 0) << "the call never reached the FIFO";

  vst::VstMidiEvent controller{};
  controller.type = vst::kVstMidiType;
  controller.byteSize = sizeof controller;
  controller.midiData[0] = static_cast<char>(0xB0);
  controller.midiData[1] = 2;  // "Dry Level" in the built-in map
  controller.midiData[2] = 127;
  struct {
    vst::VstEvents head;
    vst::VstEvent* more[1];
  } events{};
  events.head.numEvents = 1;
  events.head.events[0] = reinterpret_cast<vst::VstEvent*>(&controller);
  std::vector<float> in(2048, 0.1f), out(2048);
  float* inputs[2] = {in.data(), in.data()};
  float* outputs[2] = {out.data(), out.data()};
  auto audio = std::async(std::launch::async, [&] {
    f.effect->processEvents(&events.head);
    for (int block = 0; block < 4; ++block) f.effect->processReplacing(inputs, outputs, 2048);
  });
  const bool finished = audio.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  EXPECT_TRUE(finished) << "the audio thread waited for the OSC call";
  QW::LuaMIDIHelper& lua = *f.effect->luaHelper();
  EXPECT_GT(lua.SkippedSpectralRuns(), 0u);
  EXPECT_EQ(lua.DeferredMessageCount(), 1u);
  EXPECT_EQ(f.value(kParamDryLevel), 0.0f);  // not yet

  ASSERT_EQ(::write(writer, "\n", 1), 1);
  close(writer);
  writer = -1;
  ASSERT_TRUE(f.client.ping(f.port));  // the call has returned
  audio.wait();
  f.effect->processReplacing(inputs, outputs, 256);
  EXPECT_EQ(f.value(kParamDryLevel), 1.0f);  // the kept controller, in the next block
  EXPECT_EQ(lua.DroppedMessageCount(), 0u);
}

}  // namespace
