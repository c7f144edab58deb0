// `serve`: a plug-in kept running in real time. Veldrana's OSC server is
// talked to over UDP on 127.0.0.1 while it runs; the gain fixture's log
// shows how the host starts, paces and stops it.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <regex>
#include <thread>

#include "tests/tools/HostTestSupport.h"
#include "tests/tools/OscTestSupport.h"
#include "tests/tools/VeldranaHome.h"

namespace hosttest {
namespace {

using namespace std::chrono_literals;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitLoad = 3;
constexpr int kOscOffset = 7;
// Generous: a loaded machine may be slow to start a plug-in, and a server
// that never answers must still fail the test rather than hang it.
constexpr auto kStartLimit = 10s;
constexpr auto kExitLimit = 20s;

std::vector<std::string> serveArgs(const std::string& plugin, std::vector<std::string> extra) {
  std::vector<std::string> args{Paths::host(), "serve", plugin};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

// Waits up to `limit` for a message with `address`, ignoring others.
std::optional<OscMessage> receiveMessage(const UdpSocket& socket, const std::string& address,
                                         std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    const auto packet = socket.receive(100ms);
    if (!packet) continue;
    const auto message = OscMessage::decode(*packet);
    if (message && message->address == address) return message;
  }
  return std::nullopt;
}

std::string replyUrl(const UdpSocket& socket) {
  return "osc.udp://127.0.0.1:" + std::to_string(socket.port());
}

// Pings until the server answers, it exits, or the limit passes.
std::optional<OscMessage> pingUntilAnswered(const UdpSocket& socket, int port,
                                            const RunningProgram& server) {
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  const auto ping = OscMessage{"/ping", {}}.add(replyUrl(socket)).add(std::string("/pong"));
  while (std::chrono::steady_clock::now() < deadline && !server.finished()) {
    socket.send(port, ping.encode());
    if (auto reply = receiveMessage(socket, "/pong", 100ms)) return reply;
  }
  return std::nullopt;
}

std::vector<std::string> readLog(const std::string& path, const std::string& prefix) {
  std::vector<std::string> matching;
  for (const auto& line : readLines(path))
    if (line.rfind(prefix, 0) == 0) matching.push_back(line);
  return matching;
}

TEST(HostServe, VeldranaAnswersOscWhileServedAndStopsAfterItsSeconds) {
  ASSERT_TRUE(fileExists(Paths::veldrana())) << "build the Veldrana target first";
  const VeldranaHome home({kOscOffset});
  const int port = home.basePort() + kOscOffset;
  const UdpSocket client;
  RunningProgram server(serveArgs(Paths::veldrana(), {"--seconds", "2", "--osc-offset",
                                                      std::to_string(kOscOffset), "--json"}),
                        home.environment());

  const auto pong = pingUntilAnswered(client, port, server);
  ASSERT_TRUE(pong) << "no /pong from port " << port;
  ASSERT_EQ(pong->typeTags(), "ss");
  // The server says where it can be reached: the port the host announced.
  const std::string own = pong->arguments[0].s;
  EXPECT_EQ(own.substr(own.rfind(':') + 1), std::to_string(port)) << own;

  // "Dry Level" (index 1) runs from 0 to 1 in its own unit.
  client.send(port, OscMessage{"/set", {}}.add(int32_t{1}).add(1.0f).encode());
  client.send(port, OscMessage{"/get", {}}
                        .add(int32_t{1})
                        .add(replyUrl(client))
                        .add(std::string("/value"))
                        .encode());
  const auto value = receiveMessage(client, "/value", 1000ms);
  ASSERT_TRUE(value) << "no reply to /get";
  ASSERT_EQ(value->typeTags(), "if");
  EXPECT_EQ(value->arguments[0].i, 1);
  EXPECT_FLOAT_EQ(value->arguments[1].f, 1.0f);

  const RunResult result = server.wait(kExitLimit);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Json report = parseJson(result.out);
  EXPECT_EQ(report["stoppedBy"].string, "time");
  EXPECT_EQ(report["osc"]["offset"].number, kOscOffset);
  EXPECT_EQ(report["osc"]["basePort"].number, home.basePort());
  EXPECT_EQ(report["osc"]["port"].number, port);
  EXPECT_TRUE(report["osc"]["listening"].boolean);
  EXPECT_EQ(report["osc"]["state"].string, "listening");
  EXPECT_EQ(report["sampleRate"].number, 44100);
  EXPECT_EQ(report["framesProcessed"].number, 2 * 44100);
  EXPECT_DOUBLE_EQ(report["audioSeconds"].number, 2.0);
  // Paced by the clock, not as fast as possible.
  EXPECT_GE(report["wallSeconds"].number, 1.9);
  ASSERT_EQ(report["set"].array.size(), 1u);
  EXPECT_EQ(report["set"][0]["name"].string, "OSC Port Offset");
  EXPECT_EQ(report["set"][0]["display"].string, std::to_string(kOscOffset));
}

// The docs show what Debian's oscdump prints for Veldrana's replies: a time
// tag, then the message. Checked against the real oscdump, with the docs'
// ports put in for this test's.
TEST(HostServe, DocumentedOscdumpLinesAreWhatOscdumpPrints) {
  constexpr const char* kOscdump = "/usr/bin/oscdump";
  ASSERT_TRUE(fileExists(kOscdump)) << "liblo-tools is missing: tools/setup-deps.sh installs it";
  ASSERT_TRUE(fileExists(Paths::veldrana())) << "build the Veldrana target first";
  const VeldranaHome home({1, 2});
  const int port = home.basePort() + 1;
  const int dumpPort = home.basePort() + 2;
  const std::string dumpFile = home.path("dump.txt");
  RunningProgram dump(
      {"/bin/sh", "-c",
       std::string("exec ") + kOscdump + " -L " + std::to_string(dumpPort) + " > " + dumpFile});
  const auto bound = std::chrono::steady_clock::now() + kStartLimit;
  while (udpPortIsFree(dumpPort) && std::chrono::steady_clock::now() < bound)
    std::this_thread::sleep_for(10ms);
  ASSERT_FALSE(udpPortIsFree(dumpPort)) << "oscdump did not open its port";

  const UdpSocket client;
  RunningProgram server(serveArgs(Paths::veldrana(), {"--seconds", "30", "--osc-offset", "1"}),
                        home.environment());
  ASSERT_TRUE(pingUntilAnswered(client, port, server)) << "no /pong from port " << port;
  const std::string dumpUrl = "127.0.0.1:" + std::to_string(dumpPort);
  client.send(
      port, OscMessage{"/ping", {}}.add("osc.udp://" + dumpUrl).add(std::string("/pong")).encode());
  client.send(port, OscMessage{"/set", {}}.add(int32_t{2}).add(0.5f).encode());
  client.send(
      port,
      OscMessage{"/get", {}}.add(int32_t{2}).add(dumpUrl).add(std::string("/value")).encode());
  client.send(port, OscMessage{"/registerUpdate", {}}
                        .add(int32_t{2})
                        .add(dumpUrl)
                        .add(std::string("/wet"))
                        .encode());
  client.send(port, OscMessage{"/set", {}}.add(int32_t{2}).add(0.25f).encode());

  std::vector<std::string> lines;
  const auto deadline = std::chrono::steady_clock::now() + kExitLimit;
  while ((lines = readLines(dumpFile)).size() < 3 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(20ms);
  kill(server.pid(), SIGTERM);
  EXPECT_EQ(server.wait(kExitLimit).exitCode, 0);
  ASSERT_EQ(lines.size(), 3u);

  const std::string docs = readText(Paths::doc("osc.md")) + readText(Paths::doc("host.md"));
  const std::regex timeTag("^[0-9a-f]{8}\\.[0-9a-f]{8} ");
  for (std::string line : lines) {
    SCOPED_TRACE(line);
    ASSERT_TRUE(std::regex_search(line, timeTag));
    std::string message = line.substr(18);
    const std::string ownPort = ":" + std::to_string(port) + "\"";
    if (const size_t at = message.find(ownPort); at != std::string::npos)
      message.replace(at, ownPort.size(), ":7001\"");
    // In the docs after a time tag of their own, as a line of its own.
    const size_t at = docs.find(" " + message + "\n");
    ASSERT_NE(at, std::string::npos) << "not in docs/osc.md or docs/host.md: " << message;
    ASSERT_GE(at, 17u);
    EXPECT_TRUE(std::regex_search(docs.substr(at - 17, 18), timeTag)) << docs.substr(at - 17, 18);
  }
}

// The report says where OSC listens, that it is off, or which port another
// program holds.
TEST(HostServe, ReportSaysWhereOscListensOrWhyNot) {
  ASSERT_TRUE(fileExists(Paths::veldrana())) << "build the Veldrana target first";
  const VeldranaHome home({kOscOffset});
  const std::string offset = std::to_string(kOscOffset);
  const RunResult on =
      runProgram(serveArgs(Paths::veldrana(), {"--seconds", "0.1", "--osc-offset", offset}),
                 home.environment());
  ASSERT_EQ(on.exitCode, 0) << on.err;
  EXPECT_NE(on.out.find("UDP port " + std::to_string(home.basePort() + kOscOffset)),
            std::string::npos)
      << on.out;
  EXPECT_NE(on.out.find("stopped by time"), std::string::npos) << on.out;
  const RunResult off =
      runProgram(serveArgs(Paths::veldrana(), {"--seconds", "0.1"}), home.environment());
  ASSERT_EQ(off.exitCode, 0) << off.err;
  EXPECT_NE(off.out.find("osc       off"), std::string::npos) << off.out;

  const UdpSocket holder;
  writeText(home.path("config/Quillworks/Veldrana/preferences"),
            "OSC Base Port=" + std::to_string(holder.port() - kOscOffset) + "\n");
  for (const bool json : {false, true}) {
    std::vector<std::string> args{"--seconds", "0.1", "--osc-offset", offset};
    if (json) args.push_back("--json");
    const RunResult result = runProgram(serveArgs(Paths::veldrana(), args), home.environment());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    if (!json) {
      EXPECT_NE(result.out.find("osc       NOT listening: another program holds UDP port " +
                                std::to_string(holder.port())),
                std::string::npos)
          << result.out;
      continue;
    }
    const Json report = parseJson(result.out);
    EXPECT_FALSE(report["osc"]["listening"].boolean);
    EXPECT_EQ(report["osc"]["state"].string, "taken");
    EXPECT_EQ(report["osc"]["port"].number, holder.port());
  }
}

class ServeInterrupted : public ::testing::TestWithParam<int> {};

TEST_P(ServeInterrupted, ClosesThePluginAndExitsZero) {
  const int signal = GetParam();
  ScratchDir dir;
  const std::string log = dir.path("log");
  RunningProgram server(serveArgs(Paths::gainFixture(), {"--json"}),
                        {{"VHF_LOG", log}, {"VHF_LATENCY", "0"}});
  // Once the fixture logs a block, the plug-in runs; the stop handling is
  // in place from before it was loaded.
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (readLog(log, "process").empty() && !server.finished() &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(20ms);
  ASSERT_FALSE(readLog(log, "process").empty()) << "the server never processed";
  ASSERT_EQ(kill(server.pid(), signal), 0);

  const RunResult result = server.wait(kExitLimit);
  ASSERT_EQ(result.signal, 0);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Json report = parseJson(result.out);
  EXPECT_EQ(report["stoppedBy"].string, signal == SIGINT ? "SIGINT" : "SIGTERM");
  EXPECT_GT(report["framesProcessed"].number, 0);

  const auto lines = readLines(log);
  const auto at = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) - lines.begin();
  };
  long lastProcess = -1;
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].rfind("process", 0) == 0) lastProcess = static_cast<long>(i);
  EXPECT_LT(lastProcess, at("stop"));
  EXPECT_LT(at("stop"), at("suspend"));
  EXPECT_LT(at("suspend"), at("close"));
  EXPECT_LT(at("close"), static_cast<long>(lines.size()));
}

INSTANTIATE_TEST_SUITE_P(HostServe, ServeInterrupted, ::testing::Values(SIGINT, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == SIGINT ? "Sigint" : "Sigterm");
                         });

TEST(HostServe, PlaysTheInputInALoopAtItsRateAndTheGivenBlockSize) {
  ScratchDir dir;
  // A quarter of a second at 8 kHz, served for a second: four passes.
  Audio input = testSignal(2, 8000, 2000);
  float peak = 0.0f;
  for (const float sample : input.samples) peak = std::max(peak, std::fabs(sample));
  writeAudio(dir.path("in.wav"), input);
  const RunResult result = runProgram(
      serveArgs(Paths::gainFixture(),
                {"--input", dir.path("in.wav"), "--seconds", "1", "--block", "256", "--json"}),
      {{"VHF_LOG", dir.path("log")}, {"VHF_LATENCY", "0"}});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Json report = parseJson(result.out);
  EXPECT_EQ(report["sampleRate"].number, 8000);
  EXPECT_EQ(report["framesProcessed"].number, 8000);
  EXPECT_EQ(report["input"]["frames"].number, 2000);
  EXPECT_EQ(report["input"]["passes"].number, 4);
  // The fixture's default gain is 0.5; silence would give 0.
  EXPECT_NEAR(report["outputPeak"].number, 0.5 * peak, 1e-6);

  EXPECT_EQ(readLog(dir.path("log"), "rate "), std::vector<std::string>{"rate 8000"});
  EXPECT_EQ(readLog(dir.path("log"), "block "), std::vector<std::string>{"block 256"});
  const auto blocks = readLog(dir.path("log"), "process ");
  ASSERT_EQ(blocks.size(), 32u);  // 31 full blocks and the 64 frames left
  EXPECT_EQ(blocks.front(), "process 256");
  EXPECT_EQ(blocks.back(), "process 64");
}

TEST(HostServe, SetAndRateReachThePluginBeforeItRuns) {
  ScratchDir dir;
  const RunResult result = runProgram(
      serveArgs(Paths::gainFixture(),
                {"--seconds", "0.05", "--rate", "96000", "--set", "Gain=0.25", "--json"}),
      {{"VHF_LOG", dir.path("log")}});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Json report = parseJson(result.out);
  EXPECT_EQ(report["sampleRate"].number, 96000);
  ASSERT_EQ(report["set"].array.size(), 1u);
  EXPECT_DOUBLE_EQ(report["set"][0]["value"].number, 0.25);
  EXPECT_EQ(readLog(dir.path("log"), "rate "), std::vector<std::string>{"rate 96000"});
  EXPECT_EQ(report["osc"].type, Json::Type::kNull);
  EXPECT_EQ(report["input"].type, Json::Type::kNull);
  EXPECT_EQ(report["outputPeak"].number, 0.0);
}

// A bad plug-in, input or option is refused before anything runs; a bad
// input before the plug-in is even loaded.
TEST(HostServe, BadRequestsFailCleanly) {
  ScratchDir dir;
  const std::string log = dir.path("log");
  writeText(dir.path("text.wav"), "not audio at all");
  const struct {
    std::string plugin;
    std::vector<std::string> options;
    int exitCode;
    std::string mentioning;
  } cases[] = {
      {dir.path("missing.so"), {"--seconds", "1"}, kExitLoad, "missing.so"},
      {Paths::gainFixture(),
       {"--input", dir.path("none.wav"), "--seconds", "1"},
       kExitFailure,
       "none.wav"},
      {Paths::gainFixture(),
       {"--input", dir.path("text.wav"), "--seconds", "1"},
       kExitFailure,
       "text.wav"},
      {Paths::gainFixture(),
       {"--osc-offset", "3", "--seconds", "1"},
       kExitFailure,
       "OSC Port Offset"},
      {Paths::gainFixture(), {"--seconds", "0"}, kExitUsage, "--seconds"},
      {Paths::gainFixture(), {"--seconds", "-1"}, kExitUsage, "--seconds"},
      {Paths::gainFixture(), {"--seconds", "soon"}, kExitUsage, "--seconds"},
      {Paths::gainFixture(), {"--osc-offset", "101"}, kExitUsage, "--osc-offset"},
      {Paths::gainFixture(), {"--block", "0"}, kExitUsage, "--block"},
      {Paths::gainFixture(), {"--rate", "0"}, kExitUsage, "--rate"},
      {Paths::gainFixture(), {"extra"}, kExitUsage, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options[0] + " " + c.mentioning);
    const RunResult result = runProgram(serveArgs(c.plugin, c.options), {{"VHF_LOG", log}});
    expectCleanFailure(result, c.mentioning);
    EXPECT_EQ(result.exitCode, c.exitCode);
    if (c.options[0] == "--input") {
      EXPECT_FALSE(fileExists(log)) << "the plug-in was loaded";
    }
  }
}

}  // namespace
}  // namespace hosttest
