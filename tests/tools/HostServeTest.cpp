// `serve`: a plug-in kept running in real time. Veldrana's OSC server is
// talked to over UDP on 127.0.0.1; the gain fixture's log shows how the host
// starts, paces and stops it.
#include <signal.h>

#include <thread>

#include "tests/tools/HostTestSupport.h"
#include "tests/tools/OscTestSupport.h"

namespace hosttest {
namespace {

using namespace std::chrono_literals;

constexpr int kOscOffset = 7;
// Generous: a loaded machine may be slow to start a plug-in, and a server
// that never answers must still fail the test rather than hang it.
constexpr auto kStartLimit = 10s, kExitLimit = 20s;

Args serve(const std::string& plugin, Args options) {
  options.insert(options.begin(), {kHost, "serve", plugin});
  return options;
}

TEST(HostServe, VeldranaAnswersOscWhileServedAndStopsAfterItsSeconds) {
  const VeldranaHome home({kOscOffset});
  const int port = home.basePort() + kOscOffset;
  const UdpSocket client;
  const std::string reply = "osc.udp://127.0.0.1:" + std::to_string(client.port());
  RunningProgram server(
      serve(kVeldrana, {"--seconds", "2", "--osc-offset", std::to_string(kOscOffset), "--json"}),
      home.environment());
  std::optional<OscMessage> pong;
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (!pong && !server.finished() && std::chrono::steady_clock::now() < deadline) {
    client.send(port, {"/ping", {reply, "/pong"}});
    pong = client.receive("/pong", 100ms);
  }
  ASSERT_TRUE(pong) << "no /pong from port " << port;
  ASSERT_EQ(pong->typeTags(), "ss");
  // The server says where it can be reached: the port the host announced.
  EXPECT_EQ(pong->arguments[0].s.substr(pong->arguments[0].s.rfind(':') + 1), std::to_string(port));

  // "Dry Level" (index 1) runs from 0 to 1 in its own unit.
  client.send(port, {"/set", {1, 1.0f}});
  client.send(port, {"/get", {1, reply, "/value"}});
  const auto value = client.receive("/value", 1000ms);
  ASSERT_TRUE(value) << "no reply to /get";
  ASSERT_EQ(value->typeTags(), "if");
  EXPECT_EQ(value->arguments[0].i, 1);
  EXPECT_FLOAT_EQ(value->arguments[1].f, 1.0f);

  const RunResult result = server.wait(kExitLimit);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Json report = parseJson(result.out);
  EXPECT_EQ(report["stoppedBy"].string, "time");
  EXPECT_EQ(report["framesProcessed"].number, 2 * 44100);
  EXPECT_GE(report["wallSeconds"].number, 1.9) << "paced by the clock";
  EXPECT_EQ(report["set"].named("OSC Port Offset")["display"].string, std::to_string(kOscOffset));
}

// The report says where OSC listens, or why not: off without an offset,
// and the port another program holds.
TEST(HostServe, ReportSaysWhereOscListensOrWhyNot) {
  const VeldranaHome home({kOscOffset});
  const RunResult off = runProgram(serve(kVeldrana, {"--seconds", "0.1"}), home.environment());
  ASSERT_EQ(off.exitCode, 0) << off.err;
  EXPECT_NE(off.out.find("osc       off"), std::string::npos) << off.out;
  const UdpSocket holder;
  writeText(home.path("config/Quillworks/Veldrana/preferences"),
            "OSC Base Port=" + std::to_string(holder.port() - kOscOffset) + "\n");
  const RunResult taken =
      runProgram(serve(kVeldrana, {"--seconds", "0.1", "--osc-offset", std::to_string(kOscOffset)}),
                 home.environment());
  EXPECT_NE(taken.out.find("osc       NOT listening: another program holds UDP port " +
                           std::to_string(holder.port())),
            std::string::npos)
      << taken.out;
}

class ServeInterrupted : public ::testing::TestWithParam<int> {};

// The stop handling is in place from before the plug-in is loaded; options
// reach the plug-in before it runs.
TEST_P(ServeInterrupted, ClosesThePluginAndExitsZero) {
  const ScratchDir dir;
  const std::string log = dir.path("log");
  RunningProgram server(serve(kGain, {"--rate", "96000", "--set", "Gain=0.25", "--json"}),
                        {{"VHF_LOG", log}, {"VHF_LATENCY", "0"}});
  for (const auto start = std::chrono::steady_clock::now();
       readLines(log, "process").empty() && !server.finished() &&
       std::chrono::steady_clock::now() - start < kStartLimit;)
    std::this_thread::sleep_for(20ms);
  ASSERT_FALSE(readLines(log, "process").empty()) << "the server never processed";
  ASSERT_EQ(kill(server.pid(), GetParam()), 0);
  const RunResult result = server.wait(kExitLimit);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Json report = parseJson(result.out);
  EXPECT_EQ(report["stoppedBy"].string, GetParam() == SIGINT ? "SIGINT" : "SIGTERM");
  EXPECT_EQ(report["sampleRate"].number, 96000);
  EXPECT_DOUBLE_EQ(report["set"][0]["value"].number, 0.25);
  EXPECT_EQ(readLines(log, "rate "), Args{"rate 96000"});
  const std::string calls = readText(log);
  EXPECT_EQ(calls.substr(calls.find('\n', calls.rfind("process ")) + 1), "stop\nsuspend\nclose\n");
}

INSTANTIATE_TEST_SUITE_P(HostServe, ServeInterrupted, ::testing::Values(SIGINT, SIGTERM));

TEST(HostServe, PlaysTheInputInALoopAtItsRateAndTheGivenBlockSize) {
  const ScratchDir dir;
  // A quarter of a second at 8 kHz, served for a second: four passes.
  writeAudio(dir.path("in.wav"), Audio{2, 8000, std::vector<float>(4000, 0.75f)});
  const Json report = runHostJson(
      {"serve", kGain, "--input", dir.path("in.wav"), "--seconds", "1", "--block", "256"},
      {{"VHF_LOG", dir.path("log")}, {"VHF_LATENCY", "0"}});
  EXPECT_EQ(report["framesProcessed"].number, 8000) << "at the file's rate";
  EXPECT_EQ(report["input"]["passes"].number, 4);
  EXPECT_DOUBLE_EQ(report["outputPeak"].number, 0.375);  // the default gain
  const auto blocks = readLines(dir.path("log"), "process ");
  ASSERT_EQ(blocks.size(), 32u);  // 31 full blocks and the 64 frames left
  EXPECT_EQ(blocks.front() + blocks.back(), "process 256process 64");
}

// A bad plug-in, input or option is refused before anything runs; a bad
// input before the plug-in is even loaded.
TEST(HostServe, BadRequestsFailCleanly) {
  const ScratchDir dir;
  const std::string log = dir.path("log");
  writeText(dir.path("text.wav"), "not audio at all");
  const struct {
    std::string plugin;
    Args options;
    int exitCode;
    std::string mentioning;
  } cases[] = {
      {dir.path("missing.so"), {"--seconds", "1"}, kExitLoad, "missing.so"},
      {kGain, {"--input", dir.path("text.wav"), "--seconds", "1"}, kExitFailure, "text.wav"},
      {kGain, {"--osc-offset", "3", "--seconds", "1"}, kExitFailure, "OSC Port Offset"},
      {kGain, {"--osc-offset", "101"}, kExitUsage, "--osc-offset"},
      {kGain, {"extra"}, kExitUsage, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options[0] + " " + c.mentioning);
    expectCleanFailure(runProgram(serve(c.plugin, c.options), {{"VHF_LOG", log}}), c.mentioning,
                       c.exitCode);
    EXPECT_TRUE(c.options[0] != "--input" || !fileExists(log)) << "the plug-in was loaded";
  }
}

}  // namespace
}  // namespace hosttest
