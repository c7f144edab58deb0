// Hostile and broken datagrams: each is logged and dropped, and the service
// keeps answering.
#include <cstring>

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
  void expectDropped(const std::string& datagram, const char* what) {
    CapturedStdout out;
    f.client.send(f.port, datagram);
    ASSERT_TRUE(f.client.ping(f.port)) << what;
    EXPECT_FALSE(out.take().empty()) << what;
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

}  // namespace
