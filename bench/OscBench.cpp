// The OSC service under load on loopback: how many "/set" messages it
// handles per second, and how long a parameter change takes to reach a
// subscriber. The yardstick is a bare UDP datagram sent and received over
// loopback in the same run, so the figures read as multiples of what the
// machine's network stack costs anyway.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/GlobalSettings.h"
#include "core/ParamIds.h"
#include "core/QwkTonalmire.h"
#include "osc/OSCHelper.h"
#include "osc/OscOutboundPacketStream.h"
#include "osc/OscReceivedElements.h"
#include "tests/support/LoopbackUdp.h"

namespace {

intptr_t quietHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

using Socket = LoopbackUdp;

struct Service {
  Service() {
    setenv("VELDRANA_SCRIPTS_DIR", "/nonexistent/veldrana-bench-scripts", 1);
    base = 30000 + static_cast<int32_t>(getpid() % 20000);
    effect = std::make_unique<QwkTonalmire>(&quietHost);
    QW::GlobalSettings::oscBasePort = base;
    effect->setParameterPlain(kParamOscPortOffset, 1.0f, false);
    port = base + 1;
    // Wait until it listens.
    for (int i = 0; i < 100 && !ping(100); ++i) {
    }
  }
  bool ping(int milliseconds = 2000) {
    char buffer[256];
    osc::OutboundPacketStream p(buffer, sizeof buffer);
    p << osc::BeginMessage("/ping") << client.url().c_str() << "/pong" << osc::EndMessage;
    client.send(port, p.Data(), p.Size());
    char reply[1024];
    while (client.receive(reply, sizeof reply, milliseconds) > 0)
      if (std::strncmp(reply, "/pong", 5) == 0) return true;
    return false;
  }

  int32_t base = 0;
  int32_t port = 0;
  std::unique_ptr<QwkTonalmire> effect;
  Socket client;
};

Service& service() {
  static Service s;
  return s;
}

// Yardstick: one datagram of a "/set" message's size from one loopback
// socket to another and read there.
void LoopbackDatagram(benchmark::State& state) {
  Socket a, b;
  char message[20] = "/set";
  char buffer[64];
  for (auto _ : state) {
    a.send(b.port(), message, sizeof message);
    benchmark::DoNotOptimize(b.receive(buffer, sizeof buffer));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(LoopbackDatagram)->UseRealTime();

// "/set" messages handled: a batch of 100 sent back to back, then a "/ping"
// whose reply proves the batch has been handled. No subscribers.
void SetMessagesHandled(benchmark::State& state) {
  Service& s = service();
  std::vector<std::string> batch;
  for (int i = 0; i < 100; ++i) {
    char buffer[64];
    osc::OutboundPacketStream p(buffer, sizeof buffer);
    p << osc::BeginMessage("/set") << int32_t{kParamDryLevel} << i / 100.0f << osc::EndMessage;
    batch.emplace_back(p.Data(), p.Size());
  }
  for (auto _ : state) {
    for (const std::string& m : batch) s.client.send(s.port, m.data(), m.size());
    if (!s.ping()) state.SkipWithError("service stopped answering");
  }
  state.SetItemsProcessed(state.iterations() * 101);
}
BENCHMARK(SetMessagesHandled)->UseRealTime();

// From setParameter on the effect to the notification arriving at a
// subscriber; the median of all iterations is reported as median_us.
void ChangeToNotification(benchmark::State& state) {
  Service& s = service();
  Socket subscriber;
  {
    char buffer[256];
    osc::OutboundPacketStream p(buffer, sizeof buffer);
    p << osc::BeginMessage("/registerUpdate") << int32_t{kParamWetLevel} << subscriber.url().c_str()
      << "/wet" << osc::EndMessage;
    s.client.send(s.port, p.Data(), p.Size());
    s.ping();
  }
  std::vector<double> delays;
  char reply[256];
  int n = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    s.effect->setParameterPlain(kParamWetLevel, (n++ % 100) / 100.0f, false);
    if (subscriber.receive(reply, sizeof reply) < 0) {
      state.SkipWithError("no notification");
      break;
    }
    delays.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
  }
  if (!delays.empty()) {
    std::nth_element(delays.begin(), delays.begin() + delays.size() / 2, delays.end());
    state.counters["median_us"] = delays[delays.size() / 2];
  }
}
BENCHMARK(ChangeToNotification)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
